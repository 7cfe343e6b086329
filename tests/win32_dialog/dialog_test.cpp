// The Insert-at dialog's Windows view, driven for real. The dialog runs its
// modal loop on the main thread; a second thread plays the user with window
// messages and keyboard input (SendInput), and the main thread then checks
// the per-thread result record the form left behind.
//
//   dialog_test.exe [--screenshots DIR] [--expect-dpi N] [--headless]
//
// --screenshots saves each language's dialog as DIR\insert_at_<block>.bmp;
// --expect-dpi checks that the screen really has that DPI (so a run at a
// second DPI cannot silently fall back to 96); --headless runs only the case
// for a session without a display, where no dialog can be shown.
#include <windows.h>
// The port's member, not the ANSI/wide macro.
#undef MessageBox

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "adapters/win32/insert_at_view.h"
#include "core/strings.h"
#include "insertion/insert_at_dialog.h"
#include "insertion/web_query.h"
#include "standins/spreadsheet.h"
#include "tests/insert_at_record.h"
#include "tests/win32/harness.h"

namespace varnoke {
namespace {

using hostapi::InsertAtControl;
using namespace adapters::win32;

// Checks come from the main thread and from the thread playing the user.
wintest::Harness h;

// ---- Windows, as another thread sees them ------------------------------------

std::u16string TextOf(HWND window) {
    wchar_t text[1024];
    const int length = GetWindowTextW(window, text, 1024);
    return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length > 0 ? length : 0));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64];
    const int length = GetClassNameW(window, name, 64);
    return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)); }
DWORD ExStyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)); }

struct DialogSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<DialogSearch*>(lParam);
    if (IsWindowVisible(window) && ClassOf(window) == L"#32770" && GetWindow(window, GW_OWNER) == search.owner) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog-class window of `thread` with exactly this owner.
HWND FindDialog(DWORD thread, HWND owner) {
    DialogSearch search{owner, nullptr};
    EnumThreadWindows(thread, &MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Effects of posted input show up asynchronously: poll for them. A hang
// guard only; no case depends on how fast anything happens.
template <typename Predicate>
bool WaitFor(Predicate done, DWORD milliseconds = 5000) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() > end) return false;
        Sleep(10);
    }
    return true;
}

// ---- The keyboard ------------------------------------------------------------

void Keys(std::initializer_list<std::pair<WORD, bool>> strokes) {
    std::vector<INPUT> inputs;
    for (const auto& [key, up] : strokes) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void Press(WORD key) { Keys({{key, false}, {key, true}}); }
void Chord(WORD modifier, WORD key) { Keys({{modifier, false}, {key, false}, {key, true}, {modifier, true}}); }
// Lower-case letters and digits: no shift needed.
void Type(std::string_view text) {
    for (char c : text) Press(static_cast<WORD>(LOBYTE(VkKeyScanW(static_cast<wchar_t>(c)))));
}

// ---- The session a script plays ---------------------------------------------

constexpr InsertAtControl kCaptionOrder[] = {InsertAtControl::Form,     InsertAtControl::Label1,
                                             InsertAtControl::optCell,  InsertAtControl::optNewSheet,
                                             InsertAtControl::OKButton, InsertAtControl::CancelButton};
using Captions = std::array<std::u16string, 6>;  // in kCaptionOrder

const Captions kDesignTime = {
    u"Insert Stock Price", u"Insert Stock Price Web Query:", u"Starting at cell ", u"On a new sheet", u"確定", u"取消"};

Captions LanguageCaptions(int32_t block) {
    Captions captions;
    for (int i = 0; i < 6; ++i) captions[i] = LoadLocalString(block + kDialogTitleOffset + i).value_or(u"?");
    return captions;
}

struct Options {
    std::string screenshots;  // a Windows folder; empty: none
    int expectedDpi = 0;
    bool headless = false;
};
Options options;

struct Session {
    DWORD thread;   // the dialog's
    int32_t block;  // the language block, 0 for the design-time texts
    Captions captions;
    std::u16string proposal;
    HWND dialog = nullptr;

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::u16string Row(int offset) const { return LoadLocalString(block + offset).value_or(u"?"); }
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
    }
    bool Checked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool WaitFocus(int id, const std::string& what) const {
        return h.Check(WaitFor([&] { return Focus() == Item(id); }), what);
    }
    bool Open() const { return IsWindow(dialog) && IsWindowVisible(dialog); }
    HWND MessageBoxWindow() const { return FindDialog(thread, dialog); }
};

using Script = std::function<void(Session&)>;

// Shows with `show` on this thread while `script` plays the user on another.
void DriveWhileShown(Session session, const Script& script, const std::function<void()>& show) {
    session.thread = GetCurrentThreadId();
    std::thread user([&session, &script] {
        Session& s = session;
        WaitFor([&] { return (s.dialog = FindDialog(s.thread, nullptr)) != nullptr; });
        if (!h.Check(s.dialog != nullptr, "the dialog opens")) return;
        // Keyboard input goes to the foreground window.
        h.Check(WaitFor([&] { return GetForegroundWindow() == s.dialog; }), "the dialog is the foreground window");
        script(s);
        if (!h.Check(WaitFor([&] { return !IsWindow(s.dialog); }), "the dialog has closed when the user is done"))
            PostMessageW(s.dialog, WM_CLOSE, 0, 0);
    });
    show();
    user.join();
}

// ---- What every dialog shows when it opens ------------------------------------

void CheckOpened(Session& s, bool cellOption = true) {
    const int ids[] = {0, kLabel1Id, kOptCellId, kOptNewSheetId, kOKButtonId, kCancelButtonId};
    const char* names[] = {"title", "Label1", "optCell", "optNewSheet", "OKButton", "CancelButton"};
    for (int i = 0; i < 6; ++i)
        h.Equal(TextOf(ids[i] ? s.Item(ids[i]) : s.dialog), s.captions[i], std::string("caption of ") + names[i]);
    h.Equal(TextOf(s.Item(kCellRangeId)), s.proposal, "text box");
    h.Equal(s.Checked(kOptCellId), cellOption, "optCell checked");
    h.Equal(s.Checked(kOptNewSheetId), !cellOption, "optNewSheet checked");
    h.Check(s.Focus() == s.Item(kOKButtonId), "the focus is on OK");
}

// Each distinct non-ASCII character drawn alone with the dialog's font. A
// missing glyph draws the font's one placeholder box (or nothing), so real
// glyphs give images that are all different and not blank.
void CheckGlyphsRender(const Session& s, HFONT font) {
    std::set<char16_t> characters;
    for (const auto& caption : s.captions)
        for (char16_t c : caption)
            if (c > 0x7F) characters.insert(c);
    if (characters.size() < 2) return;  // nothing a placeholder could hide
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 32, 32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, font);
    std::set<std::vector<uint8_t>> images;
    const std::vector<uint8_t> blank(32 * 32 * 4, 0xFF);
    int blanks = 0;
    for (char16_t character : characters) {
        PatBlt(dc, 0, 0, 32, 32, WHITENESS);
        const wchar_t text[] = {static_cast<wchar_t>(character)};
        TextOutW(dc, 4, 4, text, 1);
        GdiFlush();
        std::vector<uint8_t> image(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + 32 * 32 * 4);
        if (image == blank) ++blanks;
        images.insert(std::move(image));
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    h.Equal(blanks, 0, "CJK characters drawn blank");
    h.Equal(images.size(), characters.size(), "distinct glyph images for distinct CJK characters");
}

// The window as it is on the screen, frame included, to a 24-bit BMP.
void SaveScreenshot(const Session& s, const std::string& path) {
    RedrawWindow(s.dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);  // lets the display catch up with the painting
    RECT r;
    GetWindowRect(s.dialog, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD size = stride * static_cast<DWORD>(height);
    const auto* pixels = static_cast<const uint8_t*>(bits);
    bool uniform = true;
    for (int row = 0; row < height && uniform; ++row)
        for (int column = 0; column < width * 3 && uniform; ++column)
            uniform = pixels[static_cast<DWORD>(row) * stride + static_cast<DWORD>(column)] == pixels[column % 3];
    h.Check(!uniform, "the screenshot shows something (not one flat colour)");
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + size;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        std::fwrite(bits, 1, size, out);
        h.Check(std::fclose(out) == 0, "screenshot written to " + path);
    } else {
        h.Check(false, "screenshot written to " + path);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

// ---- The layout ---------------------------------------------------------------

struct ControlSpec {
    const char* name;
    int id;
    const wchar_t* windowClass;
    DWORD type;  // BS_ / SS_ type, or ES_MULTILINE's absence for the edit
    bool group, tabStop;
    int left, top, width, height;  // twips
    RECT at96;                     // the same in pixels at 96 DPI
};

// In Z order, which is the tab order.
const ControlSpec kControls[] = {
    {"OKButton", kOKButtonId, L"Button", BS_PUSHBUTTON, true, true, 3840, 120, 1215, 375, {256, 8, 337, 33}},
    {"CancelButton", kCancelButtonId, L"Button", BS_PUSHBUTTON, false, true, 3840, 600, 1215, 375, {256, 40, 337, 65}},
    {"Label1", kLabel1Id, L"Static", SS_LEFT, true, false, 360, 240, 2535, 255, {24, 16, 193, 33}},
    {"optCell", kOptCellId, L"Button", BS_AUTORADIOBUTTON, true, true, 600, 600, 2415, 375, {40, 40, 201, 65}},
    {"optNewSheet",
     kOptNewSheetId,
     L"Button",
     BS_AUTORADIOBUTTON,
     false,
     false,
     600,
     1560,
     1695,
     375,
     {40, 104, 153, 129}},
    {"edtCellRange", kCellRangeId, L"Edit", 0, true, true, 1440, 1080, 1575, 375, {96, 72, 201, 97}},
};

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

void CheckLayout(Session& s) {
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (options.expectedDpi) {
        h.Equal(dpiX, options.expectedDpi, "horizontal screen DPI");
        h.Equal(dpiY, options.expectedDpi, "vertical screen DPI");
    }
    const auto x = [dpiX](int twips) { return MulDiv(twips, dpiX, 1440); };
    const auto y = [dpiY](int twips) { return MulDiv(twips, dpiY, 1440); };

    // The window.
    h.Check(ClassOf(s.dialog) == L"#32770", "dialog class");
    const DWORD style = StyleOf(s.dialog);
    h.Check((style & (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU)) ==
                (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU),
            "dialog style has DS_MODALFRAME, WS_POPUP, WS_CAPTION and WS_SYSMENU");
    h.Check(!(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)),
            "no minimize or maximize box, no sizing border");
    h.Check(!(ExStyleOf(s.dialog) & WS_EX_APPWINDOW), "not WS_EX_APPWINDOW");
    h.Check(GetWindow(s.dialog, GW_OWNER) == nullptr, "no owner window");
    RECT client;
    GetClientRect(s.dialog, &client);
    const RECT clientExpected{0, 0, x(5295), y(2175)};
    h.Check(EqualRect(&client, &clientExpected),
            "client area " + Describe(client) + ", expected " + Describe(clientExpected) + " (5295 x 2175 twips)");
    if (dpiX == 96 && dpiY == 96)
        h.Check(client.right == 353 && client.bottom == 145, "client area 353 x 145 at 96 DPI");
    RECT window;
    GetWindowRect(s.dialog, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(s.dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT inside;
    IntersectRect(&inside, &window, &monitor.rcWork);
    h.Check(EqualRect(&inside, &window), "the whole window is on the work area");

    // The children, in Z order.
    HWND child = GetWindow(s.dialog, GW_CHILD);
    HFONT font = nullptr;
    for (const ControlSpec& want : kControls) {
        const std::string name = want.name;
        if (!h.Check(child == s.Item(want.id), name + " is next in Z order")) child = s.Item(want.id);
        h.Check(ClassOf(child) == want.windowClass, name + " window class");
        const DWORD childStyle = StyleOf(child);
        if (want.id == kCellRangeId) {
            h.Check(!(childStyle & ES_MULTILINE), name + " is single-line");
            h.Equal(static_cast<unsigned long>(SendMessageW(child, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEul,
                    name + " has no length limit");
        } else if (want.id == kLabel1Id) {
            h.Equal(childStyle & SS_TYPEMASK, want.type, name + " static type");
            h.Check(!(childStyle & SS_NOPREFIX), name + " shows access keys");
        } else {
            h.Equal(childStyle & BS_TYPEMASK, want.type, name + " button type");
        }
        h.Equal(static_cast<bool>(childStyle & WS_GROUP), want.group, name + " WS_GROUP");
        h.Equal(static_cast<bool>(childStyle & WS_TABSTOP), want.tabStop, name + " WS_TABSTOP");
        h.Check(want.id != IDOK && want.id != IDCANCEL, name + " is neither IDOK nor IDCANCEL");

        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, s.dialog, reinterpret_cast<POINT*>(&r), 2);
        const RECT expected{x(want.left), y(want.top), x(want.left) + x(want.width), y(want.top) + y(want.height)};
        h.Check(EqualRect(&r, &expected), name + " at " + Describe(r) + ", expected " + Describe(expected));
        if (dpiX == 96 && dpiY == 96)
            h.Check(EqualRect(&r, &want.at96), name + " at " + Describe(want.at96) + " at 96 DPI");

        const auto controlFont = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
        if (h.Check(controlFont != nullptr, name + " has a font")) {
            if (!font) font = controlFont;
            h.Check(controlFont == font, name + " uses the one dialog font");
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    h.Check(child == nullptr, "no other child windows");

    // Neither button is the default.
    for (int id : {kOKButtonId, kCancelButtonId}) {
        const auto code = SendMessageW(s.Item(id), WM_GETDLGCODE, 0, 0);
        h.Check((code & DLGC_UNDEFPUSHBUTTON) && !(code & DLGC_DEFPUSHBUTTON),
                "button " + std::to_string(id) + " is not the default button");
    }

    // The font: 8.25 points of the dialog face, regular.
    LOGFONTW logFont{};
    if (h.Check(font && GetObjectW(font, sizeof logFont, &logFont) == sizeof logFont, "the font's LOGFONT")) {
        h.Equal(static_cast<int>(logFont.lfHeight), -MulDiv(825, dpiY, 7200), "font height (8.25 points)");
        if (dpiY == 96) h.Equal(static_cast<int>(logFont.lfHeight), -11, "font height at 96 DPI");
        h.Equal(static_cast<int>(logFont.lfWeight), FW_NORMAL, "font weight");
        h.Check(!logFont.lfItalic && !logFont.lfUnderline && !logFont.lfStrikeOut,
                "no italic, underline or strike-out");
        h.Equal(std::u16string(reinterpret_cast<const char16_t*>(logFont.lfFaceName)), std::u16string(u"MS Shell Dlg"),
                "font face");
        CheckGlyphsRender(s, font);
    }

    // Tab order follows the tab index; the static and the unchecked option
    // button are skipped; the two option buttons form one group.
    const int tabOrder[] = {kOKButtonId, kCancelButtonId, kOptCellId, kCellRangeId, kOKButtonId};
    for (int i = 0; i + 1 < 5; ++i)
        h.Check(GetNextDlgTabItem(s.dialog, s.Item(tabOrder[i]), FALSE) == s.Item(tabOrder[i + 1]),
                "Tab from " + std::to_string(tabOrder[i]) + " goes to " + std::to_string(tabOrder[i + 1]));
    h.Check(GetNextDlgTabItem(s.dialog, s.Item(kOKButtonId), TRUE) == s.Item(kCellRangeId), "Shift+Tab from OK");
    h.Check(GetNextDlgGroupItem(s.dialog, s.Item(kOptCellId), FALSE) == s.Item(kOptNewSheetId), "optCell's group");
    h.Check(GetNextDlgGroupItem(s.dialog, s.Item(kOptNewSheetId), FALSE) == s.Item(kOptCellId),
            "the option group has two members");
}

// ---- The form, as the web query shows it ---------------------------------------

struct Outcome {
    int32_t cancelled;
    int16_t startAtCell;
    std::u16string row, column;
    std::u16string text;  // the view's, after it closed
    bool cellOption;
};

struct FormScenario {
    const char* name;
    Script user;
    Outcome outcome;
};

void OpensAsDesigned(Session& s) {
    CheckOpened(s);
    CheckLayout(s);
    if (!options.screenshots.empty())
        SaveScreenshot(s, options.screenshots + "\\insert_at_" + std::to_string(s.block) + ".bmp");
    PostMessageW(s.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void EnterInTheTextBox(Session& s) {
    CheckOpened(s);
    // Tab walks OK, Cancel, optCell, the text box.
    for (int id : {kCancelButtonId, kOptCellId, kCellRangeId}) {
        Press(VK_TAB);
        if (!s.WaitFocus(id, "Tab reaches " + std::to_string(id))) return;
    }
    Type("c7");  // replaces the selected proposal
    Press(VK_RETURN);
    Type("5");  // arrives after Enter was handled
    h.Check(WaitFor([&] { return TextOf(s.Item(kCellRangeId)) == u"c75"; }), "typing into the text box");
    h.Check(s.Open(), "Enter in the text box leaves the dialog open");
    h.Check(s.MessageBoxWindow() == nullptr, "Enter in the text box pressed nothing");
    for (int id : {kOptCellId, kCancelButtonId, kOKButtonId}) {
        Keys({{VK_SHIFT, false}, {VK_TAB, false}, {VK_TAB, true}, {VK_SHIFT, true}});
        if (!s.WaitFocus(id, "Shift+Tab reaches " + std::to_string(id))) return;
    }
    Press(VK_RETURN);  // on the focused OK
}

void AccessKeysAndEsc(Session& s) {
    CheckOpened(s);
    Chord(VK_MENU, 'N');
    h.Check(WaitFor([&] { return s.Checked(kOptNewSheetId); }), "Alt+N checks optNewSheet");
    h.Check(!s.Checked(kOptCellId), "Alt+N unchecks optCell");
    s.WaitFocus(kOptNewSheetId, "Alt+N focuses optNewSheet");
    h.Check(GetNextDlgTabItem(s.dialog, s.Item(kCancelButtonId), FALSE) == s.Item(kOptNewSheetId),
            "the tab stop moves to the checked option");
    Chord(VK_MENU, 'S');
    h.Check(WaitFor([&] { return s.Checked(kOptCellId); }), "Alt+S checks optCell");
    h.Check(!s.Checked(kOptNewSheetId), "Alt+S unchecks optNewSheet");
    Chord(VK_MENU, 'N');
    h.Check(WaitFor([&] { return s.Checked(kOptNewSheetId); }), "Alt+N again");
    s.WaitFocus(kOptNewSheetId, "the focus on optNewSheet");
    Press(VK_ESCAPE);
    Press(VK_TAB);  // arrives after Esc was handled
    s.WaitFocus(kCellRangeId, "Tab from optNewSheet reaches the text box");
    h.Check(s.Open(), "Esc leaves the dialog open");
    h.Equal(TextOf(s.Item(kCellRangeId)), s.proposal, "the text box is untouched");
    for (int id : {kOptNewSheetId, kCancelButtonId, kOKButtonId}) {
        Keys({{VK_SHIFT, false}, {VK_TAB, false}, {VK_TAB, true}, {VK_SHIFT, true}});
        if (!s.WaitFocus(id, "Shift+Tab reaches " + std::to_string(id))) return;
    }
    Press(VK_SPACE);  // on the focused OK
}

void RejectedReference(Session& s) {
    CheckOpened(s);
    SendMessageW(s.Item(kCellRangeId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"IW1"));
    PostMessageW(s.Item(kOKButtonId), BM_CLICK, 0, 0);
    HWND box = nullptr;
    if (!h.Check(WaitFor([&] { return (box = s.MessageBoxWindow()) != nullptr; }), "a message box opens")) return;
    h.Equal(TextOf(box), s.Row(kMsgTitleOffset), "message box title");
    int buttons = 0, icons = 0;
    std::u16string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        const DWORD style = StyleOf(child);
        if (ClassOf(child) == L"Button") ++buttons;
        if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
            if (SendMessageW(child, STM_GETICON, 0, 0)) ++icons;
        } else if (ClassOf(child) == L"Static" && !TextOf(child).empty()) {
            text = TextOf(child);
        }
    }
    h.Equal(text, s.Row(kInvalidRefMsgOffset), "message box text");
    h.Equal(buttons, 1, "message box buttons");
    h.Equal(icons, 0, "message box icons");
    h.Check(!IsWindowEnabled(s.dialog), "the dialog is disabled under its message box");
    h.Check(WaitFor([&] { return GetForegroundWindow() == box; }), "the message box is in the foreground");
    Press(VK_RETURN);
    h.Check(WaitFor([&] { return !IsWindow(box); }), "Enter closes the message box");
    h.Check(WaitFor([&] { return IsWindowEnabled(s.dialog) && GetForegroundWindow() == s.dialog; }),
            "the dialog is back in the foreground");
    h.Check(s.Open(), "the dialog stays open");
    h.Equal(TextOf(s.Item(kCellRangeId)), std::u16string(u"IW1"), "the text box keeps the rejected text");
    h.Check(s.Checked(kOptCellId), "optCell stays checked");
    PostMessageW(s.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(s.Item(kCancelButtonId)), TRUE);
    if (!s.WaitFocus(kCancelButtonId, "focus on Cancel")) return;
    Press(VK_RETURN);  // on the focused Cancel
}

void ClickCancel(Session& s) {
    CheckOpened(s);
    PostMessageW(s.Item(kCancelButtonId), BM_CLICK, 0, 0);
}

void ClickOK(Session& s) {
    CheckOpened(s);
    PostMessageW(s.Item(kOKButtonId), BM_CLICK, 0, 0);
}

void EnterAtOpen(Session& s) {
    CheckOpened(s);
    Press(VK_RETURN);  // the focus is on OK when the dialog opens
}

void AltF4(Session& s) {
    CheckOpened(s);
    Chord(VK_MENU, VK_F4);
}

const std::u16string kOldRow = u"old-row", kOldColumn = u"old-column";

const FormScenario kFormScenarios[] = {
    {"opens as designed; the close command cancels", OpensAsDesigned, {-1, 7, kOldRow, kOldColumn, u"B6", true}},
    {"Enter in the text box does nothing; Enter on OK accepts the typed cell",
     EnterInTheTextBox,
     {0, -1, u"75", u"c", u"c75", true}},
    {"access keys pick the options; Esc does nothing; space on OK accepts a new sheet",
     AccessKeysAndEsc,
     {0, 0, kOldRow, kOldColumn, u"B6", false}},
    {"a rejected reference: a message box over the open dialog; then Enter on Cancel",
     RejectedReference,
     {-1, -1, kOldRow, kOldColumn, u"IW1", true}},
    {"a click on Cancel", ClickCancel, {-1, 7, kOldRow, kOldColumn, u"B6", true}},
    {"a click on OK accepts the proposal", ClickOK, {0, -1, u"6", u"B", u"B6", true}},
    {"Enter on OK, focused at open, accepts the proposal", EnterAtOpen, {0, -1, u"6", u"B", u"B6", true}},
    {"Alt+F4 is the close command", AltF4, {-1, 7, kOldRow, kOldColumn, u"B6", true}},
};

struct Language {
    int32_t locale;
    const char* name;
};
const Language kLanguages[] = {{1033, "English"}, {1028, "Traditional Chinese"}, {2052, "Simplified Chinese"}};

void RunFormScenario(const Language& language, const FormScenario& scenario) {
    const int32_t block = StringBlockForLocale(language.locale);
    h.Section(std::string(language.name) + ": " + scenario.name);
    Session session{0, block, LanguageCaptions(block), u"B6"};
    test::ResetInsertAtRecord();
    Win32InsertAtViewFactory factory;
    {
        frmInsertAt form(factory.NewView());
        // As the web query fills it.
        for (int i = 0; i < 6; ++i) form.View().SetCaption(kCaptionOrder[i], session.captions[i]);
        form.View().SetCellText(session.proposal);
        strInvalidRefMsg() = session.Row(kInvalidRefMsgOffset);
        strMsgTitle() = session.Row(kMsgTitleOffset);
        DriveWhileShown(session, scenario.user, [&form] { form.Show(); });
        const Outcome& o = scenario.outcome;
        h.Equal(bDialogCancelled(), o.cancelled, "bDialogCancelled");
        h.Equal(bStartAtCell(), o.startAtCell, "bStartAtCell");
        h.Equal(strInsertRow(), o.row, "strInsertRow");
        h.Equal(strInsertColumn(), o.column, "strInsertColumn");
        h.Equal(form.View().CellText(), o.text, "the view's text after closing");
        h.Equal(form.View().CellOptionSelected(), o.cellOption, "the view's option after closing");
    }
    h.Equal(bDialogCancelled(), -1, "bDialogCancelled once the form is gone");
}

// ---- The view alone, with recorded events -----------------------------------------

class Recorder final : public hostapi::IInsertAtEvents {
public:
    explicit Recorder(hostapi::IInsertAtView& view) : view_(view) {}
    void OKButton_Click() override {
        ++ok;
        textAtOK = view_.CellText();
        cellOptionAtOK = view_.CellOptionSelected();
        if (onOK) onOK(view_);
    }
    void CancelButton_Click() override {
        ++cancel;
        view_.Hide();
    }
    void Form_Unload() override { ++unload; }

    std::function<void(hostapi::IInsertAtView&)> onOK = [](hostapi::IInsertAtView& view) { view.Hide(); };
    std::atomic<int> ok = 0, cancel = 0, unload = 0;
    std::u16string textAtOK;
    bool cellOptionAtOK = true;

private:
    hostapi::IInsertAtView& view_;
};

Session DesignTimeSession(const std::string& name) {
    h.Section("view: " + name);
    return Session{0, 0, kDesignTime, u"Text1"};
}

void CheckCounts(const Recorder& r, int ok, int cancel, int unload) {
    h.Equal(r.ok.load(), ok, "OKButton_Click calls");
    h.Equal(r.cancel.load(), cancel, "CancelButton_Click calls");
    h.Equal(r.unload.load(), unload, "Form_Unload calls");
}

void ViewScenarios() {
    Win32InsertAtViewFactory factory;
    {
        // A fresh view in its design-time state; OK reads the live controls.
        Session s = DesignTimeSession("design-time state; OK reads the live controls");
        auto view = factory.NewView();
        Recorder events(*view);
        DriveWhileShown(
            s,
            [](Session& s) {
                CheckOpened(s);
                CheckLayout(s);
                SendMessageW(s.Item(kCellRangeId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"D4"));
                PostMessageW(s.Item(kOptNewSheetId), BM_CLICK, 0, 0);
                h.Check(WaitFor([&] { return s.Checked(kOptNewSheetId); }), "a click checks optNewSheet");
                PostMessageW(s.Item(kOKButtonId), BM_CLICK, 0, 0);
            },
            [&] { view->ShowModal(events); });
        CheckCounts(events, 1, 0, 0);
        h.Equal(events.textAtOK, std::u16string(u"D4"), "CellText while shown");
        h.Equal(events.cellOptionAtOK, false, "CellOptionSelected while shown");
        h.Equal(view->CellText(), std::u16string(u"D4"), "CellText after Hide");
        h.Equal(view->CellOptionSelected(), false, "CellOptionSelected after Hide");
    }
    {
        // The form decides when to hide; the close command always closes.
        Session s = DesignTimeSession("OK without Hide stays open; the close command unloads once");
        auto view = factory.NewView();
        Recorder events(*view);
        events.onOK = [](hostapi::IInsertAtView& view) {
            view.SetCellText(u"E5");
            view.SetCaption(InsertAtControl::Form, u"Changed while shown");
            view.SetCaption(InsertAtControl::OKButton, u"&Again");
        };
        DriveWhileShown(
            s,
            [&events](Session& s) {
                CheckOpened(s);
                PostMessageW(s.Item(kOKButtonId), BM_CLICK, 0, 0);
                h.Check(WaitFor([&] { return events.ok.load() == 1; }), "the click reaches the form");
                h.Check(WaitFor([&] { return TextOf(s.Item(kCellRangeId)) == u"E5"; }), "SetCellText while shown");
                h.Equal(TextOf(s.dialog), std::u16string(u"Changed while shown"), "SetCaption(Form) while shown");
                h.Equal(TextOf(s.Item(kOKButtonId)), std::u16string(u"&Again"), "SetCaption(OK) while shown");
                h.Check(s.Open(), "the dialog stays open");
                PostMessageW(s.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            },
            [&] { view->ShowModal(events); });
        CheckCounts(events, 1, 0, 1);
        h.Equal(view->CellText(), std::u16string(u"E5"), "CellText after closing");
    }
    {
        // Shown twice, the view shows what the user left the first time.
        Session s = DesignTimeSession("shown again after closing");
        auto view = factory.NewView();
        Recorder events(*view);
        DriveWhileShown(
            s,
            [](Session& s) {
                CheckOpened(s);
                SendMessageW(s.Item(kCellRangeId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Z9"));
                PostMessageW(s.Item(kOptNewSheetId), BM_CLICK, 0, 0);
                h.Check(WaitFor([&] { return s.Checked(kOptNewSheetId); }), "a click checks optNewSheet");
                PostMessageW(s.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            },
            [&] { view->ShowModal(events); });
        s.proposal = u"Z9";
        DriveWhileShown(
            s,
            [](Session& s) {
                CheckOpened(s, false);
                h.Check(GetNextDlgTabItem(s.dialog, s.Item(kCancelButtonId), FALSE) == s.Item(kOptNewSheetId),
                        "the tab stop is on the checked option");
                PostMessageW(s.Item(kCancelButtonId), BM_CLICK, 0, 0);
            },
            [&] { view->ShowModal(events); });
        CheckCounts(events, 0, 1, 1);
    }
}

// ---- The whole web query, with the stand-in spreadsheet ---------------------------

struct WebQueryCase {
    int32_t locale;
    const char* name;
    Script user;
    std::size_t sheets;
    std::u16string sheet, destination;  // empty: no query table
};

void NewSheetThenClickOK(Session& s) {
    CheckOpened(s);
    Chord(VK_MENU, 'N');
    h.Check(WaitFor([&] { return s.Checked(kOptNewSheetId); }), "Alt+N checks optNewSheet");
    PostMessageW(s.Item(kOKButtonId), BM_CLICK, 0, 0);
}

const WebQueryCase kWebQueryCases[] = {
    {1033, "Enter on OK: below the target on the active sheet", EnterAtOpen, 1, u"Sheet1", u"8,B"},
    {1028, "Alt+N and OK: on a new sheet", NewSheetThenClickOK, 2, u"Sheet2", u"1,1"},
    {2052, "Cancel: the workbook is untouched", ClickCancel, 1, u"", u""},
};

void RunWebQueryCase(const WebQueryCase& test) {
    const int32_t block = StringBlockForLocale(test.locale);
    h.Section("web query " + std::to_string(test.locale) + ": " + test.name);
    Session session{0, block, LanguageCaptions(block), u"B8"};
    standins::Workbook book;
    book.language = test.locale;
    book.targetAddress = u"B5:C7";
    standins::StandInHost host(book);
    Win32InsertAtViewFactory factory;
    WebQueryInsertion insertion(host, factory);
    test::ResetInsertAtRecord();
    DriveWhileShown(session, test.user,
                    [&] { insertion.InsertWebQuery(u"https://w.example/q?s=2330", &host.cellTarget); });
    h.Equal(book.sheets.size(), test.sheets, "sheets");
    if (test.destination.empty()) {
        h.Equal(book.queryTables.size(), std::size_t{0}, "query tables");
        return;
    }
    if (!h.Equal(book.queryTables.size(), std::size_t{1}, "query tables")) return;
    h.Equal(book.queryTables[0].sheet, test.sheet, "query table's sheet");
    h.Equal(book.queryTables[0].destination, test.destination, "query table's destination");
    h.Equal(book.queryTables[0].refreshes, 1, "refreshes");
}

// ---- No display --------------------------------------------------------------------

void Headless() {
    h.Section("no display");
    Win32InsertAtViewFactory factory;
    auto view = factory.NewView();
    Recorder events(*view);
    view->ShowModal(events);  // returns: nothing can be shown
    CheckCounts(events, 0, 0, 1);
    test::ResetInsertAtRecord();
    {
        frmInsertAt form(factory.NewView());
        form.Show();
        h.Equal(bDialogCancelled(), -1, "bDialogCancelled after a failed show");
        h.Equal(bStartAtCell(), int16_t{7}, "bStartAtCell untouched");
    }
}

DWORD WINAPI Watchdog(LPVOID) {
    Sleep(240000);
    wintest::Harness::Print("FAIL [watchdog] the run hung; stopped");
    ExitProcess(3);
}

}  // namespace
}  // namespace varnoke

int main(int argc, char** argv) {
    using namespace varnoke;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--screenshots" && i + 1 < argc)
            options.screenshots = argv[++i];
        else if (arg == "--expect-dpi" && i + 1 < argc)
            options.expectedDpi = std::atoi(argv[++i]);
        else if (arg == "--headless")
            options.headless = true;
        else {
            std::printf("unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    // Like the spreadsheet host, aware of the system DPI: the screen's real
    // DPI is what the view converts twips with.
    SetProcessDPIAware();
    CreateThread(nullptr, 0, &Watchdog, nullptr, 0, nullptr);
    if (options.headless) {
        Headless();
        return h.Finish();
    }
    ViewScenarios();
    for (const Language& language : kLanguages)
        for (const FormScenario& scenario : kFormScenarios) RunFormScenario(language, scenario);
    for (const WebQueryCase& test : kWebQueryCases) RunWebQueryCase(test);
    return h.Finish();
}
