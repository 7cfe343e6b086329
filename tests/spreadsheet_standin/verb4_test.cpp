// Verb 4 end to end: the registered Varnoke.dll, created by ProgID, inserts a
// web query into the stand-in spreadsheet through its real modal Insert-at
// dialog, which a second thread of this program finds and answers with
// window messages, as a user would with the mouse.
//
//   verb4_test.exe DLL SMARTTAGLIB.TLB
//       The folder of DLL holds varnokeL.xml and acturl.xml from data/.
//       Needs a display. Exit status 0 only when every check passed.
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "adapters/win32/com/com_ptr.h"
#include "adapters/win32/insert_at_view.h"
#include "core/unicode.h"
#include "smarttaglib.h"
#include "tests/spreadsheet_standin/expected_calls.h"
#include "tests/spreadsheet_standin/standin.h"
#include "tests/win32/fakes.h"
#include "tests/win32/harness.h"
#include "tests/win32/host_library.h"

namespace varnoke::spreadsheet_standin {
namespace {

using adapters::win32::kCancelButtonId;
using adapters::win32::kCellRangeId;
using adapters::win32::kOKButtonId;
using adapters::win32::kOptCellId;
using adapters::win32::kOptNewSheetId;
using com::com_ptr;
using wintest::FakeBag;
using wintest::Harness;
using wintest::Hex;
using wintest::HostLibraryForRun;
using wintest::MakeFake;
using wintest::Utf8;

Harness h;

const wchar_t kActionProgId[] = L"VarnokeST.STAction";
const wchar_t kDialogTitle[] = L"Insert Stock Price";

std::u16string Wide16(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

using NoArgumentFn = HRESULT(__stdcall*)();

// The fifth ActionUrl's URL (verb IDs count from 0) in the component's own
// action table, so the test follows the shipped data file.
std::wstring VerbFourBaseUrl(const std::wstring& folder) {
    const std::wstring path = folder + L"\\acturl.xml";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    std::size_t at = 0;
    for (int entry = 0; entry < 5; ++entry) {
        at = bytes.find("<ActionUrl>", at);
        if (at == std::string::npos) return {};
        at += 1;
    }
    const std::size_t open = bytes.find("<URL>", at);
    const std::size_t close = bytes.find("</URL>", open);
    if (open == std::string::npos || close == std::string::npos) return {};
    const std::string url = bytes.substr(open + 5, close - open - 5);
    return std::wstring(url.begin(), url.end());  // the shipped addresses are ASCII
}

// refused: the address is no web address, so no dialog may appear at all.
enum class Answer { ok, newSheetOk, cancel, refused };

// What the user's thread saw and did; read after it was joined.
struct UserReport {
    bool found = false;
    std::wstring cellText;
    bool cellOptionChecked = false;
    bool newSheetChecked = false;  // after choosing it, for the new-sheet answer
    bool answered = false;
};

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[256] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

bool Checked(HWND dialog, int id) {
    DWORD_PTR state = 0;
    return SendMessageTimeoutW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state) &&
           state == BST_CHECKED;
}

bool Click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    DWORD_PTR ignored = 0;
    return button && SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored) != 0;
}

// The user: waits for the dialog (up to 10 s, or until the verb returned),
// reads it and answers.
void User(Answer answer, UserReport& report, const std::atomic<bool>& returned) {
    HWND dialog = nullptr;
    for (int tries = 0; tries < 200 && !dialog && !returned; ++tries) {
        dialog = FindWindowW(L"#32770", kDialogTitle);
        if (!dialog) Sleep(50);
    }
    if (!dialog) return;
    report.found = true;
    report.cellText = ItemText(dialog, kCellRangeId);
    report.cellOptionChecked = Checked(dialog, kOptCellId);
    switch (answer) {
        case Answer::ok: report.answered = Click(dialog, kOKButtonId); break;
        case Answer::newSheetOk:
            Click(dialog, kOptNewSheetId);
            report.newSheetChecked = Checked(dialog, kOptNewSheetId) && !Checked(dialog, kOptCellId);
            report.answered = Click(dialog, kOKButtonId);
            break;
        case Answer::cancel:
        case Answer::refused: report.answered = Click(dialog, kCancelButtonId); break;
    }
}

void RunCase(const char* name, Answer answer, const std::wstring& baseUrl, const wchar_t* productId = L"2330") {
    h.Section(name);
    const std::string what = name;
    Workbook book;
    UserReport report;
    std::atomic<bool> returned = false;
    HRESULT hr = E_UNEXPECTED;
    com_ptr<FakeBag> bag = MakeFake<FakeBag>(FakeBag::Use::action);
    bag->properties = {{L"ProductID", productId}};
    {
        com_ptr<ISmartTagAction> action = Create<ISmartTagAction>(h, kActionProgId, what);
        if (!action) return;
        com_ptr<IDispatch> target = book.NewTarget(u"B5");
        BSTR app = SysAllocString(L"Excel");
        BSTR text = SysAllocString(L"");
        BSTR xml = SysAllocString(L"");
        std::thread user(User, answer, std::ref(report), std::cref(returned));
        hr = action->InvokeVerb(4, app, target.get(), bag.get(), text, xml);
        returned = true;
        user.join();
        SysFreeString(app);
        SysFreeString(text);
        SysFreeString(xml);
    }
    h.CheckHr(hr, S_OK, what + ": InvokeVerb");
    if (answer == Answer::refused) {
        h.Check(!report.found, what + ": no dialog");
        if (!h.Equal(book.Operations(), Calls{}, what + ": no calls")) Harness::Print(book.Log());
        h.Check(book.queryTables.empty() && book.sheetsAdded == 0, what + ": workbook untouched");
        return;
    }
    if (!h.Check(report.found, what + ": the dialog titled \"Insert Stock Price\" appeared within 10 s")) {
        Harness::Print(book.Log());
        return;
    }
    h.Equal(Wide16(report.cellText), std::u16string(u"B6"), what + ": the proposed cell");
    h.Check(report.cellOptionChecked, what + ": the cell option is chosen when the dialog opens");
    h.Check(report.answered, what + ": the button click was delivered");
    if (answer == Answer::newSheetOk) h.Check(report.newSheetChecked, what + ": the new-sheet option took the click");

    const std::vector<std::wstring> oneRead = {L"ProductID"};
    h.Check(bag->readKeys == oneRead, what + ": the bag is read once, for ProductID");
    h.Equal(bag->References(), ULONG{1}, what + ": bag references kept");
    h.Check(wintest::Unexpected().empty(), what + ": no unexpected calls on the bag");
    wintest::Unexpected().clear();

    const Calls expected = answer == Answer::cancel ? kBeforeDialog : Sequence(answer == Answer::newSheetOk);
    if (!h.Equal(book.Operations(), expected, what + ": calls")) Harness::Print(book.Log());
    h.Check(book.Live() == 0 && book.Created() > 0 && book.Misuses() == 0,
            what + ": released, " + std::to_string(book.Live()) + " of " + std::to_string(book.Created()) +
                " objects live, " + std::to_string(book.Misuses()) + " used after release");

    if (answer == Answer::cancel) {
        h.Check(book.queryTables.empty() && book.sheetsAdded == 0 &&
                    book.sheets == std::vector<std::u16string>{u"Sheet1"} && book.activeSheet == u"Sheet1",
                what + ": workbook untouched");
        return;
    }
    const bool newSheet = answer == Answer::newSheetOk;
    h.Equal(book.sheetsAdded, newSheet ? 1 : 0, what + ": sheets added");
    if (!h.Equal(book.queryTables.size(), std::size_t{1}, what + ": query tables")) return;
    const QueryTableRecord& q = book.queryTables[0];
    h.Equal(q.connection, u"URL;" + Wide16(baseUrl) + u"2330", what + ": connection");
    h.Check(q.settings == kSettings, what + ": the seven settings, in order, with their types");
    h.Equal(q.refreshes, 1, what + ": one refresh");
    const CellRecord& d = q.destination;
    if (newSheet) {
        h.Equal(book.sheets.size(), std::size_t{2}, what + ": sheets");
        h.Check(q.sheet != u"Sheet1" && d.sheet == q.sheet, what + ": on the new sheet");
        h.Check(d.rowType == VT_I2 && d.columnType == VT_I2 && d.rowNumber == 1 && d.columnNumber == 1,
                what + ": destination (1,1) by VT_I2 numbers, got (" + std::to_string(d.rowNumber) + "," +
                    std::to_string(d.columnNumber) + ")");
    } else {
        h.Equal(book.sheets, std::vector<std::u16string>{u"Sheet1"}, what + ": sheets");
        h.Equal(q.sheet, std::u16string(u"Sheet1"), what + ": on the active sheet");
        h.Check(d.sheet == u"Sheet1" && d.rowType == VT_BSTR && d.columnType == VT_BSTR && d.row == u"6" &&
                    d.column == u"B" && d.rowNumber == 6 && d.columnNumber == 2,
                what + ": destination row \"" + Utf16ToUtf8(d.row) + "\" column \"" + Utf16ToUtf8(d.column) + "\"");
    }
}

int RunAll(const std::wstring& dll, const std::wstring& tlb) {
    h.Section("setup");
    const std::wstring folder = dll.substr(0, dll.find_last_of(L'\\'));
    const std::wstring baseUrl = VerbFourBaseUrl(folder);
    if (!h.Check(baseUrl.rfind(L"http", 0) == 0,
                 "verb 4's base URL in " + Utf8(folder) + "\\acturl.xml: \"" + Utf8(baseUrl) + "\""))
        return h.Finish();

    h.CheckHr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK, "CoInitializeEx");
    HostLibraryForRun hostLibrary(h, tlb);

    HMODULE module = LoadLibraryW(dll.c_str());
    if (!h.Check(module != nullptr, "LoadLibrary(" + Utf8(dll) + "), error " + std::to_string(GetLastError())))
        return h.Finish();
    const auto registerServer =
        reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    const auto unregisterServer =
        reinterpret_cast<NoArgumentFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    if (!h.Check(registerServer && unregisterServer, "the registration exports")) return h.Finish();
    h.CheckHr(registerServer(), S_OK, "DllRegisterServer");

    RunCase("OK at the proposed cell", Answer::ok, baseUrl);
    RunCase("OK on a new sheet", Answer::newSheetOk, baseUrl);
    RunCase("Cancel", Answer::cancel, baseUrl);
    RunCase("a line separator in the ProductID", Answer::refused, baseUrl, L"2330\u2028x");

    h.Section("teardown");
    h.CheckHr(unregisterServer(), S_OK, "DllUnregisterServer");
    hostLibrary.End();
    CoUninitialize();
    return h.Finish();
}

}  // namespace
}  // namespace varnoke::spreadsheet_standin

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        varnoke::wintest::Harness::Print("usage: verb4_test DLL SMARTTAGLIB.TLB");
        return 2;
    }
    return varnoke::spreadsheet_standin::RunAll(argv[1], argv[2]);
}
