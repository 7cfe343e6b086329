// The Windows spreadsheet adapter under the portable web query, against the
// stand-in object model: what the host is asked, in which order and with
// which argument types; that every failure ends the insertion silently
// where it happens; and that every reference is given back.
#include <objbase.h>

#include <algorithm>

#include "adapters/win32/host_objects.h"
#include "adapters/win32/spreadsheet_dispatch.h"
#include "core/strings.h"
#include "core/unicode.h"
#include "insertion/insert_at_dialog.h"
#include "insertion/web_query.h"
#include "standins/spreadsheet.h"
#include "tests/insert_at_record.h"
#include "tests/spreadsheet_standin/expected_calls.h"
#include "tests/spreadsheet_standin/standin.h"
#include "tests/win32/harness.h"

namespace varnoke::spreadsheet_standin {

using wintest::Harness;

void StandInTests(Harness& h);  // standin_test.cpp

namespace {

using com::com_ptr;
using hostapi::InsertAtControl;
using standins::ScriptedDialog;
using Step = ScriptedDialog::Step;

using namespace standins::steps;
using test::ResetInsertAtRecord;

constexpr std::u16string_view kUrl = u"https://quotes.example/q?s=2330&f=l1";

Calls Through(const Calls& calls, const std::string& last) {
    const auto end = std::find(calls.begin(), calls.end(), last);
    return Calls(calls.begin(), end == calls.end() ? end : end + 1);
}

std::string TypeDescription(const Argument& a) { return TypeName(a.type) + (a.value.empty() ? "" : " " + a.value); }

struct Session {
    Workbook book;
    adapters::win32::DispatchSpreadsheetHost host;
    standins::ScriptedDialogs dialogs;
    std::u16string target = u"B5";

    // Verb 4 at a fresh range; the target is released when it returns.
    void Run(std::vector<Step> script, std::u16string_view url = kUrl) {
        const com_ptr<IDispatch> range = book.NewTarget(target);
        RunAt(range.get(), std::move(script), url);
    }
    void RunAt(IDispatch* object, std::vector<Step> script, std::u16string_view url = kUrl) {
        ResetInsertAtRecord();
        dialogs.script = std::move(script);
        adapters::win32::HostObject hostObject(object);
        WebQueryInsertion insertion(host, dialogs);
        insertion.InsertWebQuery(url, &hostObject);
    }

    // The calls made, and nothing left alive.
    void Check(Harness& h, const Calls& expected, const std::string& what) const {
        if (!h.Equal(book.Operations(), expected, what + ": calls")) Harness::Print(book.Log());
        h.Check(book.Live() == 0 && book.Created() > 0 && book.Misuses() == 0,
                what + ": released, " + std::to_string(book.Live()) + " of " + std::to_string(book.Created()) +
                    " objects live, " + std::to_string(book.Misuses()) + " used after release");
    }
};

void Proposals(Harness& h) {
    h.Section("proposal");
    const struct {
        const char16_t* target;
        const char16_t* proposal;
    } cases[] = {{u"B5", u"B6"}, {u"B5:C7", u"B8"}, {u"AA10:AB12", u"AA13"}, {u"IV65535", u"IV65536"}};
    for (const auto& c : cases) {
        Session s;
        s.target = c.target;
        s.Run({ClickCancel()});
        h.Equal(s.dialogs.record.cellText, std::u16string(c.proposal), Utf16ToUtf8(c.target) + ": proposed");
        // Cancelled: nothing after the language.
        s.Check(h, kBeforeDialog, Utf16ToUtf8(c.target));
        h.Equal(s.dialogs.record.shows, 1, Utf16ToUtf8(c.target) + ": shown");
    }
}

void Cancelled(Harness& h) {
    h.Section("cancel");
    const struct {
        const char* what;
        Step step;
    } cases[] = {{"Cancel", ClickCancel()}, {"the close command", CloseWindow()}};
    for (const auto& c : cases) {
        Session s;
        s.Run({Type(u"C9"), c.step});
        s.Check(h, kBeforeDialog, c.what);
        h.Check(s.book.queryTables.empty() && s.book.sheets == std::vector<std::u16string>{u"Sheet1"} &&
                    s.book.activeSheet == u"Sheet1",
                std::string(c.what) + ": workbook untouched");
    }
}

void NewSheet(Harness& h) {
    h.Section("new sheet");
    Session s;
    s.Run({ChooseNewSheet(), ClickOK()});
    s.Check(h, Sequence(true), "new sheet");
    h.Equal(s.book.sheetsAdded, 1, "sheets added");
    h.Equal(s.book.sheets, std::vector<std::u16string>{u"Sheet2", u"Sheet1"}, "sheets");
    if (!h.Equal(s.book.queryTables.size(), std::size_t{1}, "query tables")) return;
    const QueryTableRecord& q = s.book.queryTables[0];
    h.Equal(q.sheet, std::u16string(u"Sheet2"), "on the new sheet");
    const CellRecord& d = q.destination;
    h.Check(
        d.sheet == u"Sheet2" && d.rowType == VT_I2 && d.columnType == VT_I2 && d.rowNumber == 1 && d.columnNumber == 1,
        "destination: the new sheet's first cell, by VT_I2 numbers");
    h.Equal(q.refreshes, 1, "refreshed");
}

void TypedCells(Harness& h) {
    h.Section("typed cell");
    const struct {
        const char16_t* typed;
        const char16_t* row;  // as the host receives it; nullptr: the host refuses the cell
        const char16_t* column;
        int32_t rowNumber, columnNumber;
    } cases[] = {
        {u"=c3", u"3", u"c", 3, 3},   {u"b007", u"007", u"b", 7, 2},   {u"iv65536", u"65536", u"iv", 65536, 256},
        {u"A1:C3", u"1", u"A", 1, 1}, {u"A0", nullptr, nullptr, 0, 0}, {u"=d00", nullptr, nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string what = Utf16ToUtf8(c.typed);
        Session s;
        s.book.sheets = {u"Data", u"Prices"};
        s.book.activeSheet = u"Prices";
        s.Run({Type(c.typed), ClickOK()});
        h.Check(s.dialogs.record.messageBoxes.empty(), what + ": no message");
        h.Equal(s.book.sheetsAdded, 0, what + ": no sheet added");
        if (!c.row) {
            // The host refuses the cell: the insertion ends there, silently.
            s.Check(h, Through(Sequence(false), "Cells._Default"), what);
            h.Check(s.book.queryTables.empty(), what + ": no query table");
            continue;
        }
        s.Check(h, Sequence(false), what);
        if (!h.Equal(s.book.queryTables.size(), std::size_t{1}, what + ": query tables")) continue;
        const QueryTableRecord& q = s.book.queryTables[0];
        const CellRecord& d = q.destination;
        h.Equal(q.sheet, std::u16string(u"Prices"), what + ": on the active sheet");
        h.Check(d.sheet == u"Prices" && d.rowType == VT_BSTR && d.columnType == VT_BSTR && d.row == c.row &&
                    d.column == c.column && d.rowNumber == c.rowNumber && d.columnNumber == c.columnNumber,
                what + ": destination row \"" + Utf16ToUtf8(d.row) + "\" column \"" + Utf16ToUtf8(d.column) + "\"");
    }
}

void Connections(Harness& h) {
    h.Section("connection");
    const struct {
        std::u16string_view url;
        bool inserted;  // else the host is asked nothing at all
    } cases[] = {
        {kUrl, true},
        {u"http://x.example/", true},
        {u"https://株価.example/q?s=2330TW&x=%20", true},
        {u"https://株価.example/q?s=2330 TW", false},
        {u"https://x.example/\u0085", false},
        {u"file:///C:/Windows/notepad.exe", false},
        {u"C:\\Users\\x\\x.txt", false},
    };
    for (const auto& c : cases) {
        const std::string what = Utf16ToUtf8(c.url);
        Session s;
        s.Run({ClickOK()}, c.url);
        if (!c.inserted) {
            s.Check(h, {}, what);
            h.Equal(s.dialogs.record.shows, 0, what + ": no dialog");
            continue;
        }
        s.Check(h, Sequence(false), what);
        if (h.Equal(s.book.queryTables.size(), std::size_t{1}, what + ": query tables"))
            h.Equal(s.book.queryTables[0].connection, u"URL;" + std::u16string(c.url), what + ": connection");
    }
}

void Settings(Harness& h) {
    h.Section("settings");
    const struct {
        const char* what;
        std::vector<Step> script;
    } cases[] = {{"at a cell", {ClickOK()}}, {"on a new sheet", {ChooseNewSheet(), ClickOK()}}};
    for (const auto& c : cases) {
        Session s;
        s.Run(c.script);
        if (!h.Equal(s.book.queryTables.size(), std::size_t{1}, std::string(c.what) + ": query tables")) continue;
        const QueryTableRecord& q = s.book.queryTables[0];
        h.Check(q.settings == kSettings, std::string(c.what) + ": the seven settings, in order, with their types");
        h.Equal(q.refreshes, 1, std::string(c.what) + ": one refresh");
        // Nothing after the refresh.
        h.Equal(s.book.Operations().back(), std::string("QueryTable.Refresh"), std::string(c.what) + ": last call");
    }
}

// The wire protocol of a whole insertion, call by call.
void Protocol(Harness& h) {
    h.Section("protocol");
    struct Expected {
        const char* operation;
        WORD flags;
        std::vector<std::string> arguments;  // positional in call order, then named by ID
    };
    const WORD get = DISPATCH_PROPERTYGET, call = DISPATCH_METHOD, getOrCall = get | call, put = DISPATCH_PROPERTYPUT;
    const std::vector<Expected> head = {
        {"Range.Address", getOrCall, {"[0] VT_BOOL 0", "[1] VT_BOOL 0"}},
        {"Range.Application", get, {}},
        {"Application.LanguageSettings", get, {}},
        {"LanguageSettings.LanguageID", get, {"VT_I4 2"}},
    };
    const std::vector<Expected> tail = {
        {"Worksheet.QueryTables", get, {}},
        {"QueryTables.Add",
         call,
         {"[0] VT_BSTR \"URL;https://quotes.example/q?s=2330&f=l1\"", "[1] VT_DISPATCH|VT_BYREF object"}},
        {"QueryTable.FieldNames", put, {"[put] VT_BOOL -1"}},
        {"QueryTable.RowNumbers", put, {"[put] VT_BOOL 0"}},
        {"QueryTable.FillAdjacentFormulas", put, {"[put] VT_BOOL 0"}},
        {"QueryTable.PreserveFormatting", put, {"[put] VT_BOOL 0"}},
        {"QueryTable.RefreshOnFileOpen", put, {"[put] VT_BOOL 0"}},
        {"QueryTable.BackgroundQuery", put, {"[put] VT_BOOL -1"}},
        {"QueryTable.RefreshStyle", put, {"[put] VT_I4 1"}},
        {"QueryTable.Refresh", call, {}},
    };
    const struct {
        const char* what;
        std::vector<Step> script;
        std::vector<Expected> middle;
    } cases[] = {
        {"at a cell",
         {Type(u"=c3"), ClickOK()},
         {{"Application.ActiveSheet", get, {}},
          {"Worksheet.Cells", get, {}},
          {"Cells._Default", getOrCall, {"VT_BSTR \"3\"", "VT_BSTR \"c\""}}}},
        {"on a new sheet",
         {ChooseNewSheet(), ClickOK()},
         {{"Application.Worksheets", get, {}},
          {"Sheets.Add", call, {}},
          {"Worksheet.Cells", get, {}},
          {"Cells._Default", getOrCall, {"VT_I2 1", "VT_I2 1"}}}},
    };
    for (const auto& c : cases) {
        Session s;
        s.Run(c.script);
        std::vector<Expected> expected = head;
        expected.insert(expected.end(), c.middle.begin(), c.middle.end());
        expected.insert(expected.end(), tail.begin(), tail.end());
        if (!h.Equal(s.book.calls.size(), expected.size(), std::string(c.what) + ": number of calls")) {
            Harness::Print(s.book.Log());
            continue;
        }
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const CallRecord& actual = s.book.calls[i];
            std::vector<Argument> named;
            std::vector<std::string> arguments;
            for (const Argument& a : actual.arguments) {
                if (a.name)
                    named.push_back(a);
                else
                    arguments.push_back(TypeDescription(a));
            }
            // Named arguments may come in any order.
            std::sort(named.begin(), named.end(),
                      [](const Argument& a, const Argument& b) { return *a.name < *b.name; });
            for (const Argument& a : named)
                arguments.push_back("[" +
                                    (*a.name == DISPID_PROPERTYPUT ? std::string("put") : std::to_string(*a.name)) +
                                    "] " + TypeDescription(a));
            const std::string what = std::string(c.what) + ": " + expected[i].operation;
            h.Equal(actual.operation, std::string(expected[i].operation), what + ": operation");
            h.Equal(actual.flags, expected[i].flags, what + ": flags");
            h.Equal(arguments, expected[i].arguments, what + ": arguments");
            h.CheckHr(actual.result, S_OK, what + ": succeeded");
            // The adding of sheets is asked for in locale 1033, everything else in the user's.
            h.Equal(actual.locale, LCID(actual.operation == "Sheets.Add" ? 1033 : LOCALE_USER_DEFAULT),
                    what + ": locale");
        }
        s.Check(h, s.book.Operations(), c.what);
    }
}

// Destination goes by reference: whatever the host leaves in the variable
// is released once, and the range itself is not released on its behalf.
void Destination(Harness& h) {
    h.Section("destination by reference");
    for (const bool replaced : {false, true}) {
        const std::string what = replaced ? "replaced by the host" : "left as it was";
        Session s;
        s.book.replacesDestination = replaced;
        s.Run({Type(u"D4"), ClickOK()});
        s.Check(h, Sequence(false), what);
        if (h.Equal(s.book.queryTables.size(), std::size_t{1}, what + ": query tables"))
            h.Check(s.book.queryTables[0].destination.row == u"4" && s.book.queryTables[0].destination.column == u"D",
                    what + ": at the cell asked for");
    }
}

void Languages(Harness& h) {
    h.Section("language");
    const struct {
        int32_t language;
        VARTYPE type;  // in which the host answers
        int32_t block;
    } cases[] = {{2052, VT_I4, 300}, {1028, VT_I2, 200}, {3076, VT_BSTR, 200}, {1033, VT_R8, 100},
                 {1028, VT_I4, 200}, {3076, VT_I4, 200}, {1033, VT_I4, 100},   {1041, VT_I4, 100}};
    for (const auto& c : cases) {
        const std::string what = std::to_string(c.language) + " as type " + std::to_string(c.type);
        Session s;
        s.book.languages[2] = c.language;
        // The installation's language differs, so asking for it would show.
        s.book.languages[1] = c.language == 2052 ? 1033 : 2052;
        s.book.languageType = c.type;
        s.Run({ClickCancel()});
        s.Check(h, kBeforeDialog, what);
        const auto& captions = s.dialogs.record.captions;
        const std::pair<InsertAtControl, int32_t> controls[] = {
            {InsertAtControl::Form, 5},        {InsertAtControl::Label1, 6},   {InsertAtControl::optCell, 7},
            {InsertAtControl::optNewSheet, 8}, {InsertAtControl::OKButton, 9}, {InsertAtControl::CancelButton, 10}};
        for (const auto& [control, offset] : controls) {
            const auto caption = captions.find(control);
            h.Check(caption != captions.end() && caption->second == LoadLocalString(c.block + offset),
                    what + ": caption of control " + std::to_string(static_cast<int>(control)));
        }
        h.Check(strInvalidRefMsg() == LoadLocalString(c.block + 11) && strMsgTitle() == LoadLocalString(c.block + 12),
                what + ": message texts");
    }
}

void NotARange(Harness& h) {
    h.Section("not a range");
    for (const Kind kind : {Kind::Foreign, Kind::Application, Kind::Worksheet, Kind::QueryTable}) {
        Session s;
        {
            const com_ptr<IDispatch> object = s.book.New(kind);
            s.RunAt(object.get(), {ClickOK()});
        }
        s.Check(h, {}, KindName(kind));
        h.Equal(s.dialogs.record.shows, 0, std::string(KindName(kind)) + ": no dialog");
    }
    // Targets that are no host object at all.
    adapters::win32::DispatchSpreadsheetHost host;
    struct Other : hostapi::IHostObject {
    } other;
    h.Check(host.AsRange(nullptr) == nullptr && host.AsRange(&other) == nullptr, "no target, another kind of target");
    adapters::win32::HostObject empty(nullptr);
    h.Check(host.AsRange(&empty) == nullptr, "a target holding nothing");
}

// Each operation failing, or answering with a result of the wrong kind,
// ends the insertion right there, silently, keeping what was done.
void Failures(Harness& h) {
    h.Section("failures");
    using F = Fault;
    const std::vector<Fault> all = {F::Fails, F::Empty, F::NullObject, F::Text, F::Uncastable};
    const char* setters[] = {"QueryTable.FieldNames",           "QueryTable.RowNumbers",
                             "QueryTable.FillAdjacentFormulas", "QueryTable.PreserveFormatting",
                             "QueryTable.RefreshOnFileOpen",    "QueryTable.BackgroundQuery",
                             "QueryTable.RefreshStyle",         "QueryTable.Refresh"};
    struct Row {
        bool newSheet;
        std::string operation;
        std::vector<Fault> faults;
        bool stops;  // the insertion ends at this operation
    };
    std::vector<Row> rows = {
        {false, "Range.Address", {F::Fails, F::Empty, F::NullObject}, true},
        {false, "Range.Application", all, true},
        {false, "Application.LanguageSettings", all, true},
        {false, "LanguageSettings.LanguageID", {F::Fails, F::Text, F::NullObject}, true},
        {false, "Application.ActiveSheet", all, true},
        {false, "Worksheet.Cells", {F::Fails, F::Empty, F::NullObject, F::Text}, true},
        {false, "Cells._Default", all, true},
        {false, "Worksheet.QueryTables", all, true},
        {false, "QueryTables.Add", all, true},
        {true, "Application.Worksheets", all, true},
        {true, "Sheets.Add", all, true},
        {true, "Worksheet.Cells", {F::Fails}, true},
        {true, "Cells._Default", {F::Fails}, true},
        {true, "QueryTables.Add", {F::Fails, F::Uncastable}, true},
        // Taken as they come: a VT_EMPTY language converts to 0 (English);
        // the cell collection is used without a cast.
        {false, "LanguageSettings.LanguageID", {F::Empty}, false},
        {false, "Worksheet.Cells", {F::Uncastable}, false},
    };
    for (const char* op : setters) {
        rows.push_back({false, op, {F::Fails}, true});
        rows.push_back({false, op, {F::Text, F::NullObject}, false});  // a setter's answer goes unread
    }
    struct Case {
        bool newSheet;
        std::string operation;
        Fault fault;
        bool stops;
    };
    std::vector<Case> cases;
    for (const Row& row : rows)
        for (Fault f : row.faults) cases.push_back({row.newSheet, row.operation, f, row.stops});

    const char* faultNames[] = {"Fails", "Empty", "NullObject", "Text", "Uncastable"};
    for (const Case& c : cases) {
        const std::string what =
            c.operation + " " + faultNames[static_cast<int>(c.fault)] + (c.newSheet ? " (new sheet)" : " (at a cell)");
        Session s;
        s.book.faults[c.operation] = c.fault;
        if (c.newSheet)
            s.Run({ChooseNewSheet(), ClickOK()});
        else
            s.Run({ClickOK()});
        const Calls full = Sequence(c.newSheet);
        const Calls expected = c.stops ? Through(full, c.operation) : full;
        s.Check(h, expected, what);
        const auto done = [&](const std::string& op) {
            return std::find(expected.begin(), expected.end(), op) != expected.end() &&
                   !(op == c.operation && c.fault == Fault::Fails);
        };
        h.Check(s.dialogs.record.messageBoxes.empty(), what + ": no message");
        h.Equal(s.dialogs.record.shows, expected.size() > kBeforeDialog.size() ? 1 : 0, what + ": dialog shown");
        h.Equal(s.book.sheetsAdded, done("Sheets.Add") ? 1 : 0, what + ": sheets added");
        if (!h.Equal(s.book.queryTables.size(), std::size_t{done("QueryTables.Add") ? 1u : 0u},
                     what + ": query tables"))
            continue;
        if (s.book.queryTables.empty()) continue;
        const auto& q = s.book.queryTables[0];
        std::size_t puts = 0;
        while (puts < kSettings.size() && done(setters[puts])) ++puts;
        h.Check(q.settings == std::vector<SettingRecord>(kSettings.begin(), kSettings.begin() + puts),
                what + ": settings put up to the failure");
        h.Equal(q.refreshes, done("QueryTable.Refresh") ? 1 : 0, what + ": refreshes");
    }
}

}  // namespace

void AdapterTests(Harness& h) {
    Proposals(h);
    Cancelled(h);
    NewSheet(h);
    TypedCells(h);
    Connections(h);
    Settings(h);
    Protocol(h);
    Destination(h);
    Languages(h);
    NotARange(h);
    Failures(h);
}

}  // namespace varnoke::spreadsheet_standin

int main() {
    // The adapter runs on the host's single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    varnoke::wintest::Harness h;
    varnoke::spreadsheet_standin::AdapterTests(h);
    varnoke::spreadsheet_standin::StandInTests(h);
    CoUninitialize();
    return h.Finish();
}
