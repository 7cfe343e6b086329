#include <gtest/gtest.h>

#include "core/unicode.h"
#include "standins/recording_site.h"
#include "tests/action_fixture.h"

namespace varnoke {
namespace {

using test::ActionFixture;
using test::CompleteActionTable;

const std::u16string kType(hostapi::kSmartTagType);

TEST(ActionMembers, FixedAnswers) {
    ActionFixture fixture;
    auto a = fixture.Action(CompleteActionTable());
    EXPECT_EQ(a->ISmartTagAction_ProgId(), u"Varnoke.STAction");
    for (int32_t locale : {1033, 1028, 2052, 0}) {
        EXPECT_EQ(a->ISmartTagAction_Name(locale), u"Kestria Stock Symbol Actions");
        EXPECT_EQ(a->ISmartTagAction_Desc(locale), u"Provide actions for Kestria Stock Symbol data");
    }
    EXPECT_EQ(a->ISmartTagAction_SmartTagCount(), 1);
    EXPECT_EQ(a->ISmartTagAction_SmartTagName(1), kType);
    EXPECT_EQ(a->ISmartTagAction_SmartTagName(0), u"");
    EXPECT_EQ(a->ISmartTagAction_SmartTagName(2), u"");
}

TEST(ActionMembers, VerbCountMatchesTheTypeExactly) {
    ActionFixture fixture;
    // The table does not matter: a missing one still gives five verbs.
    auto a = fixture.Action("");
    std::u16string upper = kType;
    upper.back() = u'E';
    const struct {
        std::u16string name;
        int32_t count;
    } cases[] = {{kType, 5}, {upper, 0}, {kType + u" ", 0}, {u"", 0}, {u"#varnoke", 0}};
    for (const auto& c : cases) EXPECT_EQ(a->ISmartTagAction_VerbCount(c.name), c.count) << Utf16ToUtf8(c.name);
}

TEST(ActionMembers, VerbIdIsIndexMinusOne) {
    ActionFixture fixture;
    auto a = fixture.Action("");
    for (int32_t index = 1; index <= 5; ++index) {
        int32_t id = -99;
        EXPECT_EQ(a->ISmartTagAction_VerbID(u"anything", index, id), Status::ok);
        EXPECT_EQ(id, index - 1);
    }
    int32_t id = -99;
    EXPECT_EQ(a->ISmartTagAction_VerbID(kType, -2147483647 - 1, id), Status::overflow);
    EXPECT_EQ(id, 0);
}

TEST(ActionMembers, SmartTagCaptionByLocale) {
    ActionFixture fixture;
    auto a = fixture.Action("");
    const struct {
        int32_t locale;
        std::u16string_view caption;
    } cases[] = {
        {1028, u"Kestria股票名稱/代碼"}, {3076, u"Kestria股票名稱/代碼"}, {2052, u"Kestria股票名称/代码"},
        {1033, u"Kestria Stock Symbol"}, {4100, u"Kestria Stock Symbol"}, {0, u"Kestria Stock Symbol"},
    };
    for (const auto& c : cases) {
        std::u16string caption;
        EXPECT_EQ(a->ISmartTagAction_SmartTagCaption(99, c.locale, caption), Status::ok);
        EXPECT_EQ(caption, c.caption) << c.locale;
    }
}

TEST(ActionMembers, VerbCaptionFromId) {
    ActionFixture fixture;
    auto a = fixture.Action("");
    const struct {
        int32_t verb;
        std::u16string_view app;
        int32_t locale;
        Status status;
        std::u16string_view caption;
    } cases[] = {
        {0, u"Word", 1033, Status::ok, u"Stock Quote on Web Site"},
        {3, u"Word", 2052, Status::ok, u"基本资料"},
        {3, u"Word", 3076, Status::ok, u"基本資料"},
        {3, u"Excel", 1028, Status::ok, u"基本資料"},
        {4, u"Excel", 1033, Status::ok, u"Insert Refreshable Stock Price"},
        {4, u"Excel.Application", 1028, Status::ok, u"匯入可更新的股票資料"},
        {4, u"Excel", 2052, Status::ok, u"导入可更新的股票信息"},
        {4, u"excel", 1033, Status::ok, u""},
        {4, u"Exce", 1033, Status::ok, u""},
        {4, u"", 2052, Status::ok, u""},
        {4, u"Word", 1028, Status::ok, u""},
        {5, u"Excel", 1033, Status::ok, u"Insert Stock Price"},
        {5, u"Word", 2052, Status::ok, u"导入股票信息"},
        {14, u"Excel", 1033, Status::ok, u"\"\""},
        {14, u"Excel", 2052, Status::no_such_string, u""},
        {16, u"Excel", 1033, Status::no_such_string, u""},
        {-1, u"Excel", 1028, Status::no_such_string, u""},
        {2147483647, u"Excel", 1033, Status::overflow, u""},
        {-2147483647 - 1, u"Excel", 1033, Status::no_such_string, u""},
    };
    for (const auto& c : cases) {
        std::u16string caption = u"stale";
        EXPECT_EQ(a->ISmartTagAction_VerbCaptionFromID(c.verb, c.app, c.locale, caption), c.status)
            << c.verb << " " << Utf16ToUtf8(c.app) << " " << c.locale;
        EXPECT_EQ(caption, c.caption) << c.verb << " " << Utf16ToUtf8(c.app) << " " << c.locale;
    }
}

TEST(ActionMembers, VerbNameFromIdInRangeOnly) {
    ActionFixture fixture;
    auto a = fixture.Action(CompleteActionTable());
    const std::u16string_view names[] = {u"Quote", u"Report", u"News", u"Info", u"Query"};
    for (int32_t id = 0; id < 5; ++id) {
        std::u16string name;
        EXPECT_EQ(a->ISmartTagAction_VerbNameFromID(id, name), Status::ok);
        EXPECT_EQ(name, names[id]);
    }
    for (int32_t id : {5, -1, 2147483647}) {
        std::u16string name = u"stale";
        EXPECT_EQ(a->ISmartTagAction_VerbNameFromID(id, name), Status::out_of_range) << id;
        EXPECT_EQ(name, u"");
    }
}

// Records the web query hand-over of verb 4.
class RecordingWebQuery final : public IWebQueryInsertion {
public:
    std::vector<std::pair<std::u16string, hostapi::IHostObject*>> calls;
    void InsertWebQuery(std::u16string_view url, hostapi::IHostObject* target) override {
        calls.emplace_back(std::u16string(url), target);
    }
};

class CountingUpdate final : public IDataFileUpdate {
public:
    int runs = 0;
    void Run(RefreshState&) override { ++runs; }
};

struct InvokeCase {
    const char* name;
    std::string table;  // "" = no action table at all
    int32_t verb;
    std::optional<std::u16string> productId;  // nothing: the bag has no ProductID
    InvokeReport::Effect effect;
    std::u16string url;
    friend void PrintTo(const InvokeCase& c, std::ostream* os) { *os << c.name; }
};

class Invoke : public ::testing::TestWithParam<InvokeCase> {};

TEST_P(Invoke, Case) {
    const InvokeCase& c = GetParam();
    ActionFixture fixture;
    RecordingWebQuery webQuery;
    CountingUpdate update;
    auto a = fixture.Action(c.table, {fixture.xml, fixture.shell, &webQuery, &update});
    standins::PropertyBag bag;
    if (c.productId) bag.Write(u"ProductID", *c.productId);
    struct Target : hostapi::IHostObject {
    } target;

    const InvokeReport report = a->ISmartTagAction_InvokeVerb(c.verb, u"Word", &target, &bag, u"t", u"x");

    EXPECT_EQ(report.effect, c.effect);
    EXPECT_EQ(report.url, c.url);
    if (c.effect == InvokeReport::Effect::opened) {
        EXPECT_EQ(fixture.shell.opened, std::vector<std::u16string>{c.url});
    } else {
        EXPECT_TRUE(fixture.shell.opened.empty());  // nothing else ever reaches the shell
    }
    if (c.effect == InvokeReport::Effect::web_query) {
        ASSERT_EQ(webQuery.calls.size(), 1u);
        EXPECT_EQ(webQuery.calls[0].first, c.url);
        EXPECT_EQ(webQuery.calls[0].second, &target);
    } else {
        EXPECT_TRUE(webQuery.calls.empty());
    }
    EXPECT_EQ(update.runs, 1);  // the refresh gets its chance whatever happened
}

const std::string kTable = CompleteActionTable();
using E = InvokeReport::Effect;

INSTANTIATE_TEST_SUITE_P(
    Table, Invoke,
    ::testing::Values(
        InvokeCase{"verb 0 appends the identifier", kTable, 0, u"2330", E::opened, u"https://q.example/?id=2330"},
        InvokeCase{"verb 2, no separator, no escaping", kTable, 2, u"a b&c", E::refused, u"http://n.example/s?q=a b&c"},
        InvokeCase{"verb 2 with a plain identifier", kTable, 2, u"華岳2417", E::opened,
                   u"http://n.example/s?q=華岳2417"},
        InvokeCase{"scheme in upper case", kTable, 3, u"1101", E::opened, u"HTTPS://i.example/1101"},
        InvokeCase{"empty identifier leaves the base URL", kTable, 1, u"", E::opened, u"https://r.example/"},
        InvokeCase{"no ProductID in the bag", kTable, 1, std::nullopt, E::opened, u"https://r.example/"},
        InvokeCase{"verb 4 goes to the web query", kTable, 4, u"2330", E::web_query, u"https://w.example/q?id=2330"},
        InvokeCase{"verb 7: empty URL, nothing opened", kTable, 7, u"2330", E::refused, u""},
        InvokeCase{"negative verb", kTable, -1, u"2330", E::refused, u""},
        // Without an action table the URL is the identifier alone: a document
        // could make it anything.
        InvokeCase{"no table, web address identifier", "", 0, u"https://x.example/", E::opened, u"https://x.example/"},
        InvokeCase{"no table, a program path", "", 0, u"C:\\Windows\\System32\\calc.exe", E::refused,
                   u"C:\\Windows\\System32\\calc.exe"},
        InvokeCase{"no table, a POSIX path", "", 1, u"/usr/bin/xterm", E::refused, u"/usr/bin/xterm"},
        InvokeCase{"no table, file address", "", 2, u"file:///etc/passwd", E::refused, u"file:///etc/passwd"},
        InvokeCase{"no table, javascript address", "", 3, u"javascript:alert(1)", E::refused, u"javascript:alert(1)"},
        InvokeCase{"no table, UNC path", "", 0, u"\\\\evil\\share\\x.exe", E::refused, u"\\\\evil\\share\\x.exe"},
        InvokeCase{"no table, empty identifier", "", 0, u"", E::refused, u""},
        // Verb 4's connection is "URL;" + address: the same guard.
        InvokeCase{"no table, verb 4 with a bare word", "", 4, u"x", E::refused, u"x"},
        InvokeCase{"no table, verb 4 with a file address", "", 4, u"file:///C:/Windows/x.exe", E::refused,
                   u"file:///C:/Windows/x.exe"},
        InvokeCase{"no table, verb 4 with a Windows path", "", 4, u"C:\\Users\\x.txt", E::refused, u"C:\\Users\\x.txt"},
        InvokeCase{"no table, verb 4 with a web address", "", 4, u"https://x.example/", E::web_query,
                   u"https://x.example/"},
        InvokeCase{"verb 4 with a blank in the identifier", kTable, 4, u"2330\u3000x", E::refused,
                   u"https://w.example/q?id=2330\u3000x"},
        InvokeCase{"quote smuggling browser arguments", kTable, 0, u"1\" --x", E::refused,
                   u"https://q.example/?id=1\" --x"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(InvokeFailures, FailingHostCallsAreAbsorbed) {
    ActionFixture fixture;
    fixture.shell.fail = true;
    CountingUpdate update;
    auto a = fixture.Action(CompleteActionTable(), {fixture.xml, fixture.shell, nullptr, &update});
    standins::PropertyBag bag;
    bag.Write(u"ProductID", u"2330");
    bag.failReads = true;
    EXPECT_EQ(a->ISmartTagAction_InvokeVerb(0, u"", nullptr, &bag, u"", u"").effect, E::shell_failed);
    EXPECT_EQ(fixture.shell.opened, std::vector<std::u16string>{u"https://q.example/?id="});
    EXPECT_EQ(a->ISmartTagAction_InvokeVerb(0, u"", nullptr, nullptr, u"", u"").url, u"https://q.example/?id=");
    EXPECT_EQ(a->ISmartTagAction_InvokeVerb(4, u"Excel", nullptr, nullptr, u"", u"").effect, E::no_web_query);
    EXPECT_EQ(update.runs, 3);
}

}  // namespace
}  // namespace varnoke
