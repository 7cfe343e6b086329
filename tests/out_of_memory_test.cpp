// Each operation that handles running out of memory, run once per
// allocation it makes with that allocation failing (tests/failing_alloc.h):
// whichever one fails, the operation ends in its defined outcome, with
// nothing half done; the sanitized build sees that nothing leaks.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "actions/data_file_update.h"
#include "actions/manifest.h"
#include "actions/st_action.h"
#include "adapters/platform.h"
#include "core/data_paths.h"
#include "core/unicode.h"
#include "insertion/cell_reference.h"
#include "insertion/insert_at_dialog.h"
#include "insertion/web_query.h"
#include "recognizer/st_recognizer.h"
#include "standins/recording_shell.h"
#include "standins/recording_site.h"
#include "standins/spreadsheet.h"
#include "tests/failing_alloc.h"
#include "tests/insert_at_record.h"
#include "tests/refresh_fixture.h"
#include "tests/signed_fixture.h"
#include "tests/stock_fixture.h"
#include "tests/temp_dir.h"
#include "standins/served_fetch.h"

namespace varnoke {
namespace {

using hostapi::QueryTableSetting;
using standins::CommittedTag;
using standins::ScriptedDialog;
using namespace standins::steps;

enum class Escape { none, bad_alloc, other };

// Descriptors this process has open.
int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// One run of a row's operation, with its failAt-th allocation failing (0:
// none). The row's setup and checks allocate freely: only what runs inside
// Watched() is counted and made to fail.
class Attempt {
public:
    explicit Attempt(std::size_t failAt) : failAt_(failAt) {}

    // Also checks that the operation left no descriptor open.
    template <class Operation>
    Escape Watched(Operation&& operation) {
        const int descriptors = OpenDescriptors();
        const Escape escaped = Run(operation);
        EXPECT_EQ(OpenDescriptors(), descriptors) << "a descriptor left open";
        return escaped;
    }

    std::size_t Count() const { return count_; }
    // Whether an allocation failed in this run.
    bool Failed() const { return failed_; }

private:
    template <class Operation>
    Escape Run(Operation& operation) {
        test::AllocationWatch watch(failAt_);
        Escape escaped = Escape::none;
        try {
            operation();
        } catch (const std::bad_alloc&) {
            escaped = Escape::bad_alloc;
        } catch (...) {
            escaped = Escape::other;
        }
        count_ = watch.Count();
        failed_ = watch.Failed();
        return escaped;
    }

    const std::size_t failAt_;
    std::size_t count_ = 0;
    bool failed_ = false;
};

// --- The stock list load ---

const std::vector<stockInfo> kOldStocks = {
    {u"Kestria Old Harbour", u"OLD-HARBOUR-1"},
    {u"峻磐舊港股份有限公司", u"OLD-JUNPAN-22"},
    {u"Kestria Old Mill", u"OLD-MILL-0333"},
};
const std::vector<stockInfo> kNewStocks = {
    {u"Kestria New Foundry", u"NEW-FOUNDRY-1"},
    {u"峻磐新礦股份有限公司", u"NEW-JUNPAN-22"},
    {u"Kestria New Wharf", u"NEW-WHARF-0333"},
};
// Every name of both lists once.
const std::u16string kText = [] {
    std::u16string text = u"Today: ";
    for (const auto* stocks : {&kOldStocks, &kNewStocks})
        for (const stockInfo& s : *stocks) text += s.strStockName + u"; ";
    return text;
}();

// What recognizing kText commits over `stocks`: each name where it stands in
// the text, in list order.
std::vector<CommittedTag> TagsOf(const std::vector<stockInfo>& stocks) {
    std::vector<CommittedTag> tags;
    for (const stockInfo& s : stocks) {
        const auto at = kText.find(s.strStockName);
        tags.push_back({std::u16string(hostapi::kSmartTagType),
                        static_cast<int32_t>(at) + 1,
                        static_cast<int32_t>(s.strStockName.size()),
                        {{std::u16string(hostapi::kProductIdKey), s.strStockID}}});
    }
    return tags;
}

std::vector<std::pair<std::u16string, std::u16string>> Entries(const std::vector<stockInfo>& stocks) {
    std::vector<std::pair<std::u16string, std::u16string>> entries;
    for (const stockInfo& s : stocks) entries.emplace_back(s.strStockName, s.strStockID);
    return entries;
}

// Loaded, the recognizer holds exactly `stocks` and finds exactly them;
// not loaded, it finds nothing.
void ExpectServes(const STRecognizer& r, const std::vector<stockInfo>& stocks) {
    standins::RecordingSite site;
    EXPECT_EQ(r.ISmartTagRecognizer_Recognize(kText, 0, 1033, site), Status::ok);
    if (r.ListState() == -1) {
        EXPECT_TRUE(site.tags.empty()) << site.tags.size() << " tags from a list that is not loaded";
        return;
    }
    EXPECT_EQ(r.ListState(), 0);
    EXPECT_EQ(r.StockCount(), static_cast<int32_t>(stocks.size()));
    EXPECT_EQ(Entries(r.StockList()), Entries(stocks));
    EXPECT_EQ(site.tags, TagsOf(stocks));
}

// A load of the new list into an object that has loaded `before`, or none
// when it is empty.
void StockListLoad(Attempt& attempt, const std::vector<stockInfo>& before) {
    test::StockFixture fixture;
    auto r = before.empty() ? fixture.NewRecognizer() : fixture.Recognizer(before);
    ASSERT_EQ(r->ListState(), 0);
    const std::u16string path = fixture.Dir().Write("new.xml", test::StockListXml(kNewStocks));
    Status status = Status::ok;
    const Escape escaped = attempt.Watched([&] { status = r->LoadStockSymbolFromXMLFile(path); });
    if (escaped == Escape::bad_alloc) {
        // Only while the document object was being made: nothing was read,
        // and an old list serves on.
        EXPECT_EQ(r->ListState(), 0);
        EXPECT_EQ(r->StockList().size(), before.size());
        ExpectServes(*r, before);
        return;
    }
    ASSERT_EQ(escaped, Escape::none);
    EXPECT_EQ(status, Status::ok);
    if (!attempt.Failed()) {
        EXPECT_EQ(r->ListState(), 0);
    }
    // A failed load recognizes nothing from then on: neither the old list
    // nor a part of the new one, nor the new one through the old matcher.
    ExpectServes(*r, kNewStocks);
}

void StockListFirstLoad(Attempt& attempt) { StockListLoad(attempt, {}); }
void StockListReload(Attempt& attempt) { StockListLoad(attempt, kOldStocks); }

// --- The refresh of the data files ---

using standins::ServedFetch;

constexpr std::u16string_view kRemote = u"https://r.example/v/";

struct RefreshCase {
    std::string localKey;  // the local table's <publickey>
    std::string table, list;
    std::optional<std::string> manifest, signature;
    UpdateOutcome outcome = UpdateOutcome::refreshed;  // with memory enough
};

// A local pair of checkpoint 5, due, refreshed from kRemote.
class RefreshRun {
public:
    explicit RefreshRun(RefreshCase c) : case_(std::move(c)) {
        localTable_ =
            test::Table("5", std::to_string(now_ - 61), "60", Utf16ToUtf8(kRemote) + "acturl.xml", "", case_.localKey);
        local_.Write("acturl.xml", localTable_);
        local_.Write("varnokeL.xml", localList_);
        fetch_.served[std::u16string(kRemote) + u"acturl.xml"] = case_.table;
        fetch_.served[std::u16string(kRemote) + u"varnokeL.xml"] = case_.list;
        if (case_.manifest)
            fetch_.served[std::u16string(kRemote) + std::u16string(kManifestFileName)] = *case_.manifest;
        if (case_.signature)
            fetch_.served[std::u16string(kRemote) + std::u16string(kSignatureFileName)] = *case_.signature;
        action_.Construct(local_.Folder());
        before_ = test::Snapshot(local_.path());
    }

    void Run(Attempt& attempt) {
        ASSERT_EQ(attempt.Watched([&] { update_.Run(action_); }), Escape::none);
        const UpdateOutcome outcome = update_.LastOutcome();
        if (!attempt.Failed()) {
            EXPECT_EQ(outcome, case_.outcome) << Describe(outcome);
        }
        if (outcome == UpdateOutcome::refreshed) return ExpectInstalled();
        if (test::Snapshot(local_.path()) == before_) {
            EXPECT_NE(outcome, UpdateOutcome::not_run);
            return;
        }
        // Else the data files are as they were, but for the one state between
        // the two moves: the list replaced whole, the table not yet.
        const bool halfway = test::Read(Path(kStockFileName)) != localList_;
        if (halfway) {
            EXPECT_EQ(outcome, UpdateOutcome::save_failed) << Describe(outcome);
            EXPECT_EQ(test::Read(Path(kStockFileName)), case_.list);
        }
        EXPECT_EQ(test::Read(Path(kActionFileName)), localTable_);
        // Anything else is a temporary, which the next refresh clears away
        // before it completes what this one left.
        for (const auto& e : std::filesystem::directory_iterator(local_.path())) {
            const std::string name = e.path().filename().string();
            if (name == "varnokeL.xml" || name == "acturl.xml") continue;
            EXPECT_TRUE(name.starts_with("varnokeL.xml.update-") || name.starts_with("acturl.xml.update-")) << name;
        }
        DataFileUpdate next{{*xml_, clock_, *files_, fetch_, *crypto_}};
        STAction action(ActionPorts{*xml_, shell_, nullptr, &next});
        action.Construct(local_.Folder());
        next.Run(action);
        EXPECT_EQ(next.LastOutcome(), case_.outcome) << Describe(next.LastOutcome());
        if (case_.outcome == UpdateOutcome::refreshed) return ExpectInstalled();
        EXPECT_EQ(test::Snapshot(local_.path()), before_);
    }

private:
    std::filesystem::path Path(std::u16string_view name) const { return local_.path() / Utf16ToUtf8(name); }

    // Both replaced, each whole; the next objects load the new pair.
    void ExpectInstalled() {
        EXPECT_EQ(test::Read(Path(kStockFileName)), case_.list);
        STAction later(ActionPorts{*xml_, shell_});
        later.Construct(local_.Folder());
        EXPECT_EQ(later.LastCheckpoint(), 6);
        EXPECT_EQ(later.LastUpdate(), now_);
        STRecognizer stocks(*xml_);
        stocks.Construct(local_.Folder());
        EXPECT_EQ(stocks.ListState(), 0);
        EXPECT_EQ(stocks.StockCount(), 1);
        // What a signed pair was installed under, written last: each file
        // whole or not at all, and nothing else beside them.
        int files = 2;
        for (const auto& [name, served] :
             {std::pair{kManifestFileName, &case_.manifest}, std::pair{kSignatureFileName, &case_.signature}}) {
            if (!std::filesystem::exists(Path(name))) continue;
            EXPECT_EQ(std::optional(test::Read(Path(name))), *served);
            ++files;
        }
        EXPECT_EQ(test::FilesIn(local_.path()), files);
    }

    const RefreshCase case_;
    test::TempDir local_;
    test::FixedClock clock_;
    const int32_t now_ = MinuteCount(clock_.now);
    std::unique_ptr<hostapi::IXmlDocumentFactory> xml_ = adapters::NewXmlDocumentFactory();
    std::unique_ptr<hostapi::IFiles> files_ = adapters::NewFiles();
    std::unique_ptr<hostapi::ICrypto> crypto_ = adapters::NewCrypto();
    ServedFetch fetch_;
    standins::RecordingShell shell_;
    DataFileUpdate update_{{*xml_, clock_, *files_, fetch_, *crypto_}};
    STAction action_{ActionPorts{*xml_, shell_, nullptr, &update_}};
    std::string localTable_;
    const std::string localList_ = test::StockList("OLD");
    std::map<std::string, std::string> before_;
};

std::string RemoteTable() { return test::Table("6", "1", "99", Utf16ToUtf8(kRemote) + "next/acturl.xml", "NEW"); }

void Refresh(Attempt& attempt) {
    RefreshRun({"", RemoteTable(), test::StockList("NEW"), std::nullopt, std::nullopt}).Run(attempt);
}

void SignedRefresh(Attempt& attempt) {
    namespace f = test::signed_fixture;
    RefreshRun({std::string(f::kKey1), std::string(f::kTable), std::string(f::kList), std::string(f::kOkManifest),
                std::string(f::kOkSignature)})
        .Run(attempt);
}

// Fetched and written beside the data files, then refused: the written
// files go again.
void RefreshOfAnUnusableList(Attempt& attempt) {
    const std::string noId = "<StockData><KestriaStockList><StockName>NEW</StockName></KestriaStockList></StockData>";
    RefreshRun({"", RemoteTable(), noId, std::nullopt, std::nullopt, UpdateOutcome::list_invalid}).Run(attempt);
}

// --- The web query and its dialog ---

const auto& kSettings = test::kQuerySettings;

template <class T>
bool IsPrefix(const std::vector<T>& part, const std::vector<T>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// At the typed cell of the active sheet; after an OK that ran out of
// memory, the user cancels.
void WebQuery(Attempt& attempt) {
    standins::Workbook book;
    standins::StandInHost host{book};
    standins::ScriptedDialogs dialogs;
    WebQueryInsertion insertion{host, dialogs};
    test::ResetInsertAtRecord();
    dialogs.script = {Type(u"=IV65536:A1"), ClickOK(), ClickCancel()};
    EXPECT_EQ(attempt.Watched([&] { insertion.InsertWebQuery(u"https://w.example/q?id=2330", &host.cellTarget); }),
              Escape::none);

    // The host's calls of the whole insertion, in order.
    std::vector<std::string> whole = {"Address", "Application", "Language", "ActiveSheet", "Cell", "AddQueryTable"};
    whole.insert(whole.end(), kSettings.size(), "Put");
    whole.push_back("Refresh");
    const auto& messages = dialogs.record.messageBoxes;
    if (!attempt.Failed()) {
        EXPECT_EQ(book.calls, whole);
        ASSERT_EQ(book.queryTables.size(), 1u);
        EXPECT_EQ(book.queryTables[0].connection, u"URL;https://w.example/q?id=2330");
        EXPECT_EQ(book.queryTables[0].destination, u"1,A");
        EXPECT_EQ(book.queryTables[0].settings, kSettings);
        EXPECT_EQ(book.queryTables[0].refreshes, 1);
        EXPECT_TRUE(messages.empty());
        return;
    }
    // It ended where memory ran out: what the host did up to there stays,
    // and nothing after it was asked.
    EXPECT_TRUE(IsPrefix(book.calls, whole));
    ASSERT_LE(book.queryTables.size(), 1u);
    if (!book.queryTables.empty()) {
        EXPECT_TRUE(IsPrefix(book.queryTables[0].settings, kSettings));
        EXPECT_EQ(book.queryTables[0].refreshes, 0);
    }
    EXPECT_EQ(book.sheets.size(), 1u);
    // An OK that ran out of memory says so, and the insertion goes no further
    // than the dialog.
    ASSERT_LE(messages.size(), 1u);
    if (!messages.empty()) {
        EXPECT_EQ(messages[0].first, DescribeFailure(Status::out_of_memory));
        EXPECT_LE(book.calls.size(), 3u);
    }
    // A dialog that was made ended without an accepted answer left behind.
    if (dialogs.record.shows > 0) {
        EXPECT_EQ(bDialogCancelled(), -1);
    }
}

// The dialog's own state after a step, read without allocating.
struct DialogProbe {
    bool ran = false, shown = false;
    int32_t cancelled = 0;
    std::size_t messages = 0;
    ScriptedDialog::Step Step() {
        return [this](ScriptedDialog& d, hostapi::IInsertAtEvents&) {
            *this = {true, d.Shown(), bDialogCancelled(), d.record().messageBoxes.size()};
        };
    }
};

// The dialog over a cell text, shown while watched: OK, the probe, then
// `last`. It stays loaded for as long as the run lives.
struct DialogRun {
    ScriptedDialog::Record record;
    DialogProbe probe;
    const ScriptedDialog* window = nullptr;
    std::optional<frmInsertAt> form;
    DialogRun(Attempt& attempt, std::u16string_view cellText, ScriptedDialog::Step last) {
        test::ResetInsertAtRecord();
        record.cellText = std::u16string(cellText);
        auto view = std::make_unique<ScriptedDialog>(record, std::vector{ClickOK(), probe.Step(), std::move(last)});
        window = view.get();
        form.emplace(std::move(view));
        EXPECT_EQ(attempt.Watched([&] { form->Show(); }), Escape::none);
    }
    DialogRun(const DialogRun&) = delete;
    DialogRun& operator=(const DialogRun&) = delete;
};

// OK on a range: accepted at once, or, after an OK that ran out of memory,
// at the next OK.
void DialogAcceptsARange(Attempt& attempt) {
    DialogRun run(attempt, u"=IV65536:A1", ClickOK());
    const auto& [record, probe, window, form] = run;
    EXPECT_FALSE(window->Shown());
    EXPECT_EQ(bDialogCancelled(), 0);
    EXPECT_EQ(bStartAtCell(), -1);
    EXPECT_EQ(strInsertRow(), u"1");
    EXPECT_EQ(strInsertColumn(), u"A");
    if (!attempt.Failed()) {
        EXPECT_FALSE(probe.ran);
        EXPECT_TRUE(record.messageBoxes.empty());
        return;
    }
    // The failed OK told the user and kept the dialog open, accepting nothing.
    ASSERT_TRUE(probe.ran);
    EXPECT_TRUE(probe.shown);
    EXPECT_EQ(probe.cancelled, 7);
    EXPECT_EQ(probe.messages, 1u);
    ASSERT_EQ(record.messageBoxes.size(), 1u);
    EXPECT_EQ(record.messageBoxes[0], std::pair(DescribeFailure(Status::out_of_memory), std::u16string(u"Title")));
}

// OK on a text that is no cell, then Cancel: one message either way, the
// rejection's or, where telling it ran out of memory, that.
void DialogRejectsAText(Attempt& attempt) {
    DialogRun run(attempt, u"not a cell at all", ClickCancel());
    const auto& [record, probe, window, form] = run;
    ASSERT_TRUE(probe.ran);
    EXPECT_TRUE(probe.shown);
    EXPECT_EQ(probe.cancelled, 7);
    EXPECT_FALSE(window->Shown());
    EXPECT_EQ(bDialogCancelled(), -1);
    EXPECT_EQ(strInsertRow(), u"old-row");
    EXPECT_EQ(strInsertColumn(), u"old-column");
    ASSERT_EQ(record.messageBoxes.size(), 1u);
    EXPECT_EQ(record.messageBoxes[0].first,
              attempt.Failed() ? DescribeFailure(Status::out_of_memory) : std::u16string(u"Invalid!"));
    EXPECT_EQ(record.messageBoxes[0].second, u"Title");
}

TEST(OutOfMemory, EveryAllocationFailingInTurnEndsInTheDefinedOutcome) {
    const struct {
        const char* name;
        void (*run)(Attempt&);
    } rows[] = {
        {"stock list, first load", StockListFirstLoad},
        {"stock list, reload over a loaded one", StockListReload},
        {"refresh", Refresh},
        {"signed refresh", SignedRefresh},
        {"refresh of a list with no usable entry", RefreshOfAnUnusableList},
        {"web query at the typed cell", WebQuery},
        {"Insert-at dialog accepting a range", DialogAcceptsARange},
        {"Insert-at dialog rejecting a text", DialogRejectsAText},
    };
    const auto failures = [] {
        return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);

        // A first run grows strings that live on (the dialog's per-thread
        // record), which later runs reuse.
        Attempt warm(0);
        row.run(warm);
        EXPECT_GT(warm.Count(), 0u) << "nothing to fail";
        // Each allocation failing in turn, until a run ends before the one
        // chosen: then every allocation it makes has failed once. Runs need
        // not allocate alike (the temporaries' random names vary in length),
        // so the end is where a run stops reaching, not a count taken before.
        const std::size_t bound = 4 * warm.Count() + 64;
        std::size_t n = 1;
        for (; n <= bound; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n) + " failing");
            const int before = failures();
            Attempt attempt(n);
            row.run(attempt);
            if (!attempt.Failed() || failures() != before) break;  // one report per row is enough
        }
        EXPECT_LE(n, bound) << "allocations without end";
        ::testing::Test::RecordProperty(row.name, static_cast<int>(n - 1));
    }
}

}  // namespace
}  // namespace varnoke
