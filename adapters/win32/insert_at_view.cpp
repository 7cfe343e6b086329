#include "adapters/win32/insert_at_view.h"

#include <windows.h>

#include "adapters/win32/wide.h"
// The port's member, not the ANSI/wide macro.
#undef MessageBox

#include <array>
#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace varnoke::adapters::win32 {

using namespace hostapi;  // the ports this file implements
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kClientWidthTwips = 5295;
constexpr int kClientHeightTwips = 2175;

// What EndDialog hands back to ShowModal; -1 is the dialog manager's failure.
constexpr INT_PTR kHidden = 1;
constexpr INT_PTR kClosed = 2;
constexpr INT_PTR kFailed = 3;

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

struct ControlLayout {
    int id;
    WORD windowClass;
    DWORD style;
    DWORD exStyle;
    int left, top, width, height;  // twips, in the client area
};

// In tab-index order, which is also the creation and so the Z order the
// dialog manager walks for Tab. The Label1 group ends the buttons' group; the
// text box's group ends the option buttons' group.
constexpr std::array<ControlLayout, 6> kLayout = {{
    {kOKButtonId, kButtonClass, WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON, 0, 3840, 120, 1215, 375},
    {kCancelButtonId, kButtonClass, WS_TABSTOP | BS_PUSHBUTTON, 0, 3840, 600, 1215, 375},
    {kLabel1Id, kStaticClass, WS_GROUP | SS_LEFT, 0, 360, 240, 2535, 255},
    // Only the checked option button keeps WS_TABSTOP: the button control
    // moves it along with the check.
    {kOptCellId, kButtonClass, WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 0, 600, 600, 2415, 375},
    {kOptNewSheetId, kButtonClass, BS_AUTORADIOBUTTON, 0, 600, 1560, 1695, 375},
    {kCellRangeId, kEditClass, WS_GROUP | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 1440, 1080, 1575,
     375},
}};

constexpr DWORD kDialogStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// The template's sizes are placeholders: WM_INITDIALOG sets every size in
// pixels from twips, whatever the dialog units would have made of them.
class TemplateWriter {
public:
    void Word(WORD value) { words_.push_back(value); }
    void DWord(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const wchar_t* text) {
        while (*text) Word(static_cast<WORD>(*text++));
        Word(0);
    }
    void AlignDWord() {
        if (words_.size() % 2) Word(0);
    }
    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    std::vector<WORD> words_;
};

TemplateWriter BuildTemplate() {
    TemplateWriter out;
    out.DWord(kDialogStyle);
    out.DWord(0);  // extended style: no WS_EX_APPWINDOW
    out.Word(static_cast<WORD>(kLayout.size()));
    for (int i = 0; i < 4; ++i) out.Word(0);  // x, y, cx, cy
    out.Word(0);                              // no menu
    out.Word(0);                              // the dialog class
    out.Text(L"");                            // title: set from the view's state
    for (const ControlLayout& control : kLayout) {
        out.AlignDWord();
        out.DWord(WS_CHILD | WS_VISIBLE | control.style);
        out.DWord(control.exStyle);
        for (int i = 0; i < 4; ++i) out.Word(0);
        out.Word(static_cast<WORD>(control.id));
        out.Word(0xFFFF);
        out.Word(control.windowClass);
        out.Text(L"");
        out.Word(0);  // no creation data
    }
    return out;
}

std::u16string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()),
                          static_cast<std::size_t>(copied > 0 ? copied : 0));
}

// The module holding this code, which owns the dialog.
HINSTANCE ThisModule() {
    static const int anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&anchor), &module);
    return module;
}

int ControlId(InsertAtControl control) {
    switch (control) {
        case InsertAtControl::Label1: return kLabel1Id;
        case InsertAtControl::optCell: return kOptCellId;
        case InsertAtControl::optNewSheet: return kOptNewSheetId;
        case InsertAtControl::OKButton: return kOKButtonId;
        case InsertAtControl::CancelButton: return kCancelButtonId;
        case InsertAtControl::Form: break;
    }
    return 0;
}

}  // namespace

class Win32InsertAtView final : public IInsertAtView {
public:
    void SetCaption(InsertAtControl control, std::u16string_view caption) override;
    void SetCellText(std::u16string_view text) override;
    std::u16string CellText() override;
    bool CellOptionSelected() override;
    void ShowModal(IInsertAtEvents& events) override;
    void Hide() override;
    void MessageBox(std::u16string_view text, std::u16string_view title) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    bool OnCommand(int id);
    // A handler's exception must not unwind through the dialog manager: it
    // ends the dialog and leaves ShowModal.
    template <typename Handler>
    void Raise(Handler handler) {
        try {
            handler();
        } catch (...) {
            failure_ = std::current_exception();
            EndDialog(window_, kFailed);
        }
    }
    HWND Control(InsertAtControl control) const {
        return control == InsertAtControl::Form ? window_ : GetDlgItem(window_, ControlId(control));
    }

    // The design-time state, kept while no window shows it.
    std::array<std::u16string, 6> captions_{u"Insert Stock Price",
                                            u"Insert Stock Price Web Query:",
                                            u"Starting at cell ",
                                            u"On a new sheet",
                                            u"確定",
                                            u"取消"};
    std::u16string cellText_ = u"Text1";
    bool cellOption_ = true;

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    IInsertAtEvents* events_ = nullptr;
    std::exception_ptr failure_;
};

void Win32InsertAtView::SetCaption(InsertAtControl control, std::u16string_view caption) {
    captions_[static_cast<std::size_t>(control)] = caption;
    if (window_) SetWindowTextW(Control(control), Wide(caption).c_str());
}

void Win32InsertAtView::SetCellText(std::u16string_view text) {
    cellText_ = text;
    if (window_) SetDlgItemTextW(window_, kCellRangeId, Wide(text).c_str());
}

std::u16string Win32InsertAtView::CellText() {
    return window_ ? WindowText(GetDlgItem(window_, kCellRangeId)) : cellText_;
}

bool Win32InsertAtView::CellOptionSelected() {
    return window_ ? IsDlgButtonChecked(window_, kOptCellId) == BST_CHECKED : cellOption_;
}

void Win32InsertAtView::ShowModal(IInsertAtEvents& events) {
    if (window_) return;  // already shown: one modal loop per view
    static const TemplateWriter dialogTemplate = BuildTemplate();
    events_ = &events;
    const INT_PTR result = DialogBoxIndirectParamW(ThisModule(), dialogTemplate.Template(), nullptr, &DialogProc,
                                                   reinterpret_cast<LPARAM>(this));
    events_ = nullptr;
    window_ = nullptr;
    if (font_) DeleteObject(font_);
    font_ = nullptr;
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    // No window could be made (no display, no memory): as if closed at once.
    if (result == -1) events.Form_Unload();
}

void Win32InsertAtView::Hide() {
    if (window_) EndDialog(window_, kHidden);
}

void Win32InsertAtView::MessageBox(std::u16string_view text, std::u16string_view title) {
    MessageBoxW(window_, Wide(text).c_str(), Wide(title).c_str(), MB_OK);
}

BOOL Win32InsertAtView::OnInitDialog() {
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto pixelsX = [dpiX](int twips) { return MulDiv(twips, dpiX, kTwipsPerInch); };
    const auto pixelsY = [dpiY](int twips) { return MulDiv(twips, dpiY, kTwipsPerInch); };

    // 8.25 points, the toolkit's default size for the dialog face.
    font_ = CreateFontW(-MulDiv(825, dpiY, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                        L"MS Shell Dlg");
    for (const ControlLayout& layout : kLayout) {
        HWND control = GetDlgItem(window_, layout.id);
        MoveWindow(control, pixelsX(layout.left), pixelsY(layout.top), pixelsX(layout.width), pixelsY(layout.height),
                   FALSE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
    SendDlgItemMessageW(window_, kCellRangeId, EM_SETLIMITTEXT, 0, 0);

    const InsertAtControl controls[] = {InsertAtControl::Form,     InsertAtControl::Label1,
                                        InsertAtControl::optCell,  InsertAtControl::optNewSheet,
                                        InsertAtControl::OKButton, InsertAtControl::CancelButton};
    for (InsertAtControl control : controls)
        SetWindowTextW(Control(control), Wide(captions_[static_cast<std::size_t>(control)]).c_str());
    SetDlgItemTextW(window_, kCellRangeId, Wide(cellText_).c_str());
    CheckRadioButton(window_, kOptCellId, kOptNewSheetId, cellOption_ ? kOptCellId : kOptNewSheetId);

    // The client area is exactly the form's size; the frame comes on top.
    RECT frame{0, 0, pixelsX(kClientWidthTwips), pixelsY(kClientHeightTwips)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    // Centred on the work area of the monitor under the pointer, where the
    // user chose the action.
    POINT pointer{};
    GetCursorPos(&pointer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT area{0, 0, width, height};
    if (GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &monitor)) area = monitor.rcWork;
    SetWindowPos(window_, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    SetFocus(GetDlgItem(window_, kOKButtonId));
    return FALSE;  // the focus is set
}

bool Win32InsertAtView::OnCommand(int id) {
    switch (id) {
        case kOKButtonId: Raise([this] { events_->OKButton_Click(); }); return true;
        case kCancelButtonId: Raise([this] { events_->CancelButton_Click(); }); return true;
        case IDOK: {
            // Enter with no default button: it presses only a focused push
            // button; in the text box or on an option it does nothing.
            HWND focus = GetFocus();
            if (focus == GetDlgItem(window_, kOKButtonId)) return OnCommand(kOKButtonId);
            if (focus == GetDlgItem(window_, kCancelButtonId)) return OnCommand(kCancelButtonId);
            return true;
        }
        case IDCANCEL: return true;  // Esc: there is no cancel button
        default: return false;
    }
}

INT_PTR CALLBACK Win32InsertAtView::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* view = reinterpret_cast<Win32InsertAtView*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        view->window_ = window;
        return view->OnInitDialog();
    }
    auto* view = reinterpret_cast<Win32InsertAtView*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!view) return FALSE;
    switch (message) {
        case WM_COMMAND:
            // Only clicks: the buttons' other notifications pass.
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            return view->OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
        case WM_CLOSE:
            view->Raise([view] { view->events_->Form_Unload(); });
            EndDialog(window, kClosed);
            return TRUE;
        case WM_DESTROY:
            // The view outlives its window: what the user left is read after.
            view->cellText_ = WindowText(GetDlgItem(window, kCellRangeId));
            view->cellOption_ = IsDlgButtonChecked(window, kOptCellId) == BST_CHECKED;
            view->window_ = nullptr;
            SetWindowLongPtrW(window, DWLP_USER, 0);
            return FALSE;
        default: return FALSE;
    }
}

std::unique_ptr<IInsertAtView> Win32InsertAtViewFactory::NewView() { return std::make_unique<Win32InsertAtView>(); }

}  // namespace varnoke::adapters::win32
