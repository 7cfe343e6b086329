// The Insert-at dialog's logic and the web query sequence, against the
// stand-in spreadsheet and a scripted dialog window.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/strings.h"
#include "core/unicode.h"
#include "insertion/insert_at_dialog.h"
#include "insertion/web_query.h"
#include "standins/spreadsheet.h"
#include "tests/insert_at_record.h"

namespace varnoke {
namespace {

using hostapi::InsertAtControl;
using hostapi::QueryTableSetting;
using standins::ScriptedDialog;
using Step = ScriptedDialog::Step;

using namespace standins::steps;
using test::ResetInsertAtRecord;

struct DialogCase {
    const char* name;
    std::vector<Step> script;
    int32_t cancelled;
    int16_t startAtCell;
    std::u16string row, column;
    int messageBoxes;
    bool stillShown;  // the script ran out with the dialog open
    friend void PrintTo(const DialogCase& c, std::ostream* os) { *os << c.name; }
};

class InsertAtDialog : public ::testing::TestWithParam<DialogCase> {};

TEST_P(InsertAtDialog, Case) {
    const DialogCase& c = GetParam();
    ResetInsertAtRecord();
    ScriptedDialog::Record record;
    auto view = std::make_unique<ScriptedDialog>(record, c.script);
    ScriptedDialog* window = view.get();
    record.cellText = u"B6";
    {
        frmInsertAt form(std::move(view));
        form.Show();
        EXPECT_EQ(window->Shown(), c.stillShown);
        EXPECT_EQ(bDialogCancelled(), c.cancelled);
        EXPECT_EQ(bStartAtCell(), c.startAtCell);
        EXPECT_EQ(strInsertRow(), c.row);
        EXPECT_EQ(strInsertColumn(), c.column);
        ASSERT_EQ(static_cast<int>(record.messageBoxes.size()), c.messageBoxes);
        for (const auto& [text, title] : record.messageBoxes) EXPECT_EQ(title, u"Title");
    }
    EXPECT_EQ(bDialogCancelled(), -1);  // the instance's end cancels
}

INSTANTIATE_TEST_SUITE_P(
    Table, InsertAtDialog,
    ::testing::Values(
        DialogCase{"OK on a valid cell", {ClickOK()}, 0, -1, u"6", u"B", 0, false},
        DialogCase{"OK on a range keeps the top-left cell", {Type(u"=c9:A3"), ClickOK()}, 0, -1, u"3", u"A", 0, false},
        DialogCase{"OK on a new sheet ignores an invalid text",
                   {Type(u"not a cell"), ChooseNewSheet(), ClickOK()},
                   0,
                   0,
                   u"old-row",
                   u"old-column",
                   0,
                   false},
        DialogCase{"an empty text is rejected and the dialog stays",
                   {Type(u""), ClickOK()},
                   7,
                   -1,
                   u"old-row",
                   u"old-column",
                   1,
                   true},
        DialogCase{"after a rejection, a new sheet is accepted",
                   {Type(u""), ClickOK(), ChooseNewSheet(), ClickOK()},
                   0,
                   0,
                   u"old-row",
                   u"old-column",
                   1,
                   false},
        DialogCase{"after a rejection, Cancel",
                   {Type(u"IW1"), ClickOK(), ClickCancel()},
                   -1,
                   -1,
                   u"old-row",
                   u"old-column",
                   1,
                   false},
        DialogCase{"after a rejection, a corrected cell",
                   {Type(u"A0x"), ClickOK(), Type(u"A0"), ClickOK()},
                   0,
                   -1,
                   u"0",
                   u"A",
                   1,
                   false},
        DialogCase{"an overflow shows its description and keeps the dialog",
                   {Type(u"A99999999999"), ClickOK()},
                   7,
                   -1,
                   u"old-row",
                   u"old-column",
                   1,
                   true},
        DialogCase{"Cancel", {ClickCancel()}, -1, 7, u"old-row", u"old-column", 0, false},
        DialogCase{"the close command", {CloseWindow()}, -1, 7, u"old-row", u"old-column", 0, false},
        DialogCase{"choosing options alone changes nothing",
                   {ChooseNewSheet(), ChooseCell()},
                   7,
                   7,
                   u"old-row",
                   u"old-column",
                   0,
                   true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(InsertAtDialogMessages, TextsComeFromTheRecord) {
    ResetInsertAtRecord();
    ScriptedDialog::Record record;
    record.cellText = u"A99999999999";
    frmInsertAt form(std::make_unique<ScriptedDialog>(record, std::vector<Step>{ClickOK(), Type(u""), ClickOK()}));
    form.Show();
    ASSERT_EQ(record.messageBoxes.size(), 2u);
    EXPECT_EQ(record.messageBoxes[0].first, u"Overflow");
    EXPECT_EQ(record.messageBoxes[1].first, u"Invalid!");
}

// The whole insertion against the stand-in workbook.
struct WebQueryFixture {
    standins::Workbook book;
    standins::StandInHost host{book};
    standins::ScriptedDialogs dialogs;
    WebQueryInsertion insertion{host, dialogs};

    void Run(std::vector<Step> script, std::u16string_view url = u"https://w.example/q?id=2330") {
        ResetInsertAtRecord();
        dialogs.script = std::move(script);
        insertion.InsertWebQuery(url, &host.cellTarget);
    }
};

TEST(WebQuery, ProposesTheCellBelowTheTarget) {
    const struct {
        std::u16string_view address, proposal;
    } cases[] = {{u"B5", u"B6"}, {u"B5:C7", u"B8"}, {u"Z41", u"Z42"}, {u"A65536", u"A65537"}, {u"IV9", u"IV10"}};
    for (const auto& c : cases) {
        WebQueryFixture f;
        f.book.targetAddress = c.address;
        f.Run({ClickCancel()});
        EXPECT_EQ(f.dialogs.record.cellText, c.proposal) << Utf16ToUtf8(c.address);
    }
}

TEST(WebQuery, DialogLanguageFollowsTheUserInterface) {
    const struct {
        int32_t language;
        int32_t base;
    } cases[] = {{2052, 300}, {1028, 200}, {3076, 200}, {1033, 100}, {4100, 100}, {1041, 100}};
    for (const auto& c : cases) {
        WebQueryFixture f;
        f.book.language = c.language;
        f.Run({ClickCancel()});
        const auto& captions = f.dialogs.record.captions;
        EXPECT_EQ(captions.at(InsertAtControl::Form), LoadLocalString(c.base + 5)) << c.language;
        EXPECT_EQ(captions.at(InsertAtControl::Label1), LoadLocalString(c.base + 6)) << c.language;
        EXPECT_EQ(captions.at(InsertAtControl::optCell), LoadLocalString(c.base + 7)) << c.language;
        EXPECT_EQ(captions.at(InsertAtControl::optNewSheet), LoadLocalString(c.base + 8)) << c.language;
        EXPECT_EQ(captions.at(InsertAtControl::OKButton), LoadLocalString(c.base + 9)) << c.language;
        EXPECT_EQ(captions.at(InsertAtControl::CancelButton), LoadLocalString(c.base + 10)) << c.language;
        EXPECT_EQ(strInvalidRefMsg(), LoadLocalString(c.base + 11)) << c.language;
        EXPECT_EQ(strMsgTitle(), LoadLocalString(c.base + 12)) << c.language;
    }
}

TEST(WebQuery, AtTheTypedCellOfTheActiveSheet) {
    WebQueryFixture f;
    f.book.activeSheet = u"Prices";
    f.Run({Type(u"=c3"), ClickOK()});
    ASSERT_EQ(f.book.queryTables.size(), 1u);
    const auto& q = f.book.queryTables[0];
    EXPECT_EQ(q.sheet, u"Prices");
    EXPECT_EQ(q.destination, u"3,c");  // passed on as typed
    EXPECT_EQ(q.connection, u"URL;https://w.example/q?id=2330");
    EXPECT_EQ(q.settings, test::kQuerySettings);
    EXPECT_EQ(q.refreshes, 1);
    EXPECT_EQ(f.book.sheets.size(), 1u);
}

TEST(WebQuery, OnANewSheetAtItsFirstCell) {
    WebQueryFixture f;
    f.Run({ChooseNewSheet(), ClickOK()});
    ASSERT_EQ(f.book.sheets.size(), 2u);
    ASSERT_EQ(f.book.queryTables.size(), 1u);
    EXPECT_EQ(f.book.queryTables[0].sheet, f.book.sheets[1]);
    EXPECT_EQ(f.book.queryTables[0].destination, u"1,1");
}

TEST(WebQuery, FailuresEndSilentlyKeepingWhatWasDone) {
    {
        WebQueryFixture f;  // cancelled: the workbook is untouched
        f.Run({ClickCancel()});
        EXPECT_TRUE(f.book.queryTables.empty());
        EXPECT_EQ(f.book.sheets.size(), 1u);
        EXPECT_EQ(std::count(f.book.calls.begin(), f.book.calls.end(), "ActiveSheet"), 0);
    }
    {
        WebQueryFixture f;  // closed through the window
        f.Run({CloseWindow()});
        EXPECT_TRUE(f.book.queryTables.empty());
    }
    {
        WebQueryFixture f;  // the new sheet stays when the query table cannot be added
        f.book.fail["AddQueryTable"] = true;
        f.Run({ChooseNewSheet(), ClickOK()});
        EXPECT_EQ(f.book.sheets.size(), 2u);
        EXPECT_TRUE(f.book.queryTables.empty());
        EXPECT_TRUE(f.dialogs.record.messageBoxes.empty());
    }
    {
        WebQueryFixture f;  // the host refuses row 0
        f.Run({Type(u"A0"), ClickOK()});
        EXPECT_TRUE(f.book.queryTables.empty());
    }
    {
        WebQueryFixture f;  // a failing setting leaves the table as far as it got, unrefreshed
        f.book.fail["Put"] = true;
        f.Run({ClickOK()});
        ASSERT_EQ(f.book.queryTables.size(), 1u);
        EXPECT_TRUE(f.book.queryTables[0].settings.empty());
        EXPECT_EQ(f.book.queryTables[0].refreshes, 0);
    }
    for (const char* failing : {"Address", "Application", "Language"}) {
        WebQueryFixture f;  // before the dialog: nothing is shown
        f.book.fail[failing] = true;
        f.Run({ClickOK()});
        EXPECT_EQ(f.dialogs.record.shows, 0) << failing;
        EXPECT_TRUE(f.book.queryTables.empty()) << failing;
    }
    for (std::u16string_view url : {u"file:///C:/Windows/x.exe", u"C:\\Users\\x\\x.txt", u"2330", u"",
                                    u"https://w.example/q?id=2330 x", u"https://w.example/q?id=\u202E2330"}) {
        WebQueryFixture f;  // no web address: neither the host nor the user is asked anything
        f.Run({ClickOK()}, url);
        EXPECT_EQ(f.dialogs.record.shows, 0) << Utf16ToUtf8(url);
        EXPECT_TRUE(f.book.calls.empty()) << Utf16ToUtf8(url);
        EXPECT_TRUE(f.book.queryTables.empty()) << Utf16ToUtf8(url);
    }
    {
        WebQueryFixture f;  // not a cell range: another host's target
        ResetInsertAtRecord();
        f.insertion.InsertWebQuery(u"https://x/", nullptr);
        EXPECT_EQ(f.dialogs.record.shows, 0);
        EXPECT_TRUE(f.book.calls.empty());
    }
}

}  // namespace
}  // namespace varnoke
