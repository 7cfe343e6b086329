#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "core/unicode.h"
#include "standins/recording_site.h"
#include "tests/stock_fixture.h"

namespace varnoke {
namespace {

using standins::RecordingSite;
using test::StockFixture;

// A committed tag, reduced to what differs between cases.
struct Tag {
    int32_t start;
    int32_t length;
    std::u16string id;
    friend bool operator==(const Tag&, const Tag&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Tag& t) {
        return os << "{" << t.start << "," << t.length << "," << Utf16ToUtf8(t.id) << "}";
    }
};

std::vector<Tag> Tags(const RecordingSite& site) {
    std::vector<Tag> tags;
    for (const auto& t : site.tags) {
        EXPECT_EQ(t.smartTagName, hostapi::kSmartTagType);
        EXPECT_EQ(t.properties.size(), 1u);  // exactly one property per bag
        tags.push_back({t.start, t.length, t.properties.at(u"ProductID")});
    }
    return tags;
}

struct RecognizeCase {
    const char* name;
    std::vector<stockInfo> stocks;
    std::u16string text;
    std::vector<Tag> expected;
    friend void PrintTo(const RecognizeCase& c, std::ostream* os) { *os << c.name; }
};

class Recognize : public ::testing::TestWithParam<RecognizeCase> {};

TEST_P(Recognize, Case) {
    const auto& c = GetParam();
    StockFixture fixture;
    auto r = fixture.Recognizer(c.stocks);
    RecordingSite site;
    r->ISmartTagRecognizer_Recognize(c.text, 8, 1033, site);
    EXPECT_EQ(Tags(site), c.expected);
    EXPECT_EQ(site.bagRequests, static_cast<int>(c.expected.size()));
}

// A host that hands the text in runs: the text's matches, found once, kept
// or not, committed run by run. For every cut into two runs, the first
// commits the tags starting before the cut, the second the others, each in
// the order above, and no bag is asked for a tag another run commits.
TEST_P(Recognize, RunByRun) {
    const auto& c = GetParam();
    StockFixture fixture;
    auto r = fixture.Recognizer(c.stocks);
    std::vector<StockMatch> found;
    ASSERT_TRUE(r->FindMatches(c.text, [&](std::span<const StockMatch> m) { found.assign(m.begin(), m.end()); }));
    const TextMatches kept(found);
    EXPECT_EQ(kept.Size(), c.expected.size());
    for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
        std::vector<Tag> expected;
        for (const Tag& t : c.expected)
            if (static_cast<std::size_t>(t.start - 1) < cut) expected.push_back(t);
        const std::size_t first = expected.size();
        for (const Tag& t : c.expected)
            if (static_cast<std::size_t>(t.start - 1) >= cut) expected.push_back(t);
        RecordingSite fromFound, fromKept;
        r->CommitMatches(found, 0, cut, fromFound);
        r->CommitMatches(kept, 0, cut, fromKept);
        EXPECT_EQ(fromKept.bagRequests, static_cast<int>(first)) << "cut " << cut;
        // The second run reaches past the text's end, as a host's may.
        r->CommitMatches(found, cut, c.text.size() + 1 - cut, fromFound);
        r->CommitMatches(kept, cut, std::numeric_limits<std::size_t>::max(), fromKept);
        EXPECT_EQ(Tags(fromFound), expected) << "cut " << cut;
        EXPECT_EQ(Tags(fromKept), expected) << "cut " << cut;
        EXPECT_EQ(fromKept.bagRequests, static_cast<int>(expected.size())) << "cut " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Recognize,
    ::testing::Values(
        RecognizeCase{"empty text", {{u"甲", u"1"}}, u"", {}},
        RecognizeCase{"the whole text is a name", {{u"華岳精密", u"2417"}}, u"華岳精密", {{1, 4, u"2417"}}},
        RecognizeCase{"case-sensitive, no folding", {{u"Abc", u"1"}}, u"abc ABC Ａbc Abc", {{13, 3, u"1"}}},
        RecognizeCase{"overlapping occurrences of one name",
                      {{u"aa", u"1"}},
                      u"aaaa",
                      {{1, 2, u"1"}, {2, 2, u"1"}, {3, 2, u"1"}}},
        RecognizeCase{"stock by stock in list order, ascending within a stock",
                      {{u"電子", u"2"}, {u"宏岳電子", u"1"}, {u"宏岳", u"3"}},
                      u"宏岳電子與宏岳",
                      {{3, 2, u"2"}, {1, 4, u"1"}, {1, 2, u"3"}, {6, 2, u"3"}}},
        RecognizeCase{"no word boundaries", {{u"2330", u"2330"}}, u"A23301", {{2, 4, u"2330"}}},
        RecognizeCase{
            "empty names commit nothing", {{u"", u"1"}, {u"x", u"2"}, {u"", u""}}, u"xx", {{1, 1, u"2"}, {2, 1, u"2"}}},
        RecognizeCase{"positions count UTF-16 code units",
                      {{u"\U00020000岳", u"1"}, {u"b", u"2"}},
                      u"a\U00020000岳b",
                      {{2, 3, u"1"}, {5, 1, u"2"}}},
        RecognizeCase{"an empty identifier is still written", {{u"x", u""}}, u"x", {{1, 1, u""}}},
        RecognizeCase{"names sharing their first four units, listed longest first, at the text's end",
                      {{u"宏岳電子公司", u"1"}, {u"宏岳電子工業", u"2"}, {u"宏岳電子", u"3"}, {u"宏岳電子公司", u"4"}},
                      u"宏岳電子公司與宏岳電子",
                      {{1, 6, u"1"}, {1, 4, u"3"}, {8, 4, u"3"}, {1, 6, u"4"}}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(RecognizeOrder, DuplicateNamesInterleaveWithOtherEntries) {
    StockFixture fixture;
    auto r = fixture.Recognizer({{u"同名", u"1"}, {u"其他", u"9"}, {u"同名", u"2"}});
    RecordingSite site;
    r->ISmartTagRecognizer_Recognize(u"同名x其他同名", 0, 0, site);
    const std::vector<Tag> expected = {{1, 2, u"1"}, {6, 2, u"1"}, {4, 2, u"9"}, {1, 2, u"2"}, {6, 2, u"2"}};
    EXPECT_EQ(Tags(site), expected);
}

TEST(RecognizeFailures, NothingLoadedMeansNoSiteCallAtAll) {
    StockFixture fixture;
    auto xml = adapters::NewXmlDocumentFactory();
    auto missing = std::make_unique<STRecognizer>(*xml);
    missing->Construct(u"/nonexistent-folder");
    ASSERT_EQ(missing->ListState(), -1);
    std::unique_ptr<STRecognizer> recognizers[] = {fixture.Recognizer({}), std::move(missing)};
    // A match of some other list names no entry of these.
    const StockMatch stray[] = {{0, 0, 1}};
    for (const auto& r : recognizers) {
        RecordingSite site;
        r->ISmartTagRecognizer_Recognize(u"anything at all", 0, 0, site);
        r->CommitMatches(stray, 0, 100, site);
        r->CommitMatches(TextMatches(stray), 0, 100, site);
        EXPECT_EQ(site.bagRequests, 0);
        EXPECT_EQ(site.commitCalls, 0);
    }
}

TEST(RecognizeFailures, StartsPastTheHostsRangeAreSkipped) {
    StockFixture fixture;
    auto r = fixture.Recognizer({{u"a", u"1"}});
    // The last position whose 1-based start a host's 32-bit start holds.
    constexpr uint32_t kLast = std::numeric_limits<int32_t>::max() - 1;
    const StockMatch matches[] = {{0, kLast + 1, 1}, {0, kLast, 1}};
    const std::vector<Tag> expected = {{kLast + 1, 1, u"1"}};
    RecordingSite fromFound, fromKept;
    r->CommitMatches(matches, 0, std::numeric_limits<std::size_t>::max(), fromFound);
    r->CommitMatches(TextMatches(matches), kLast, std::numeric_limits<std::size_t>::max(), fromKept);
    EXPECT_EQ(Tags(fromFound), expected);
    EXPECT_EQ(Tags(fromKept), expected);
}

TEST(RecognizeFailures, HostFailuresLoseOnlyTheirOwnTag) {
    StockFixture fixture;
    auto r = fixture.Recognizer({{u"a", u"1"}, {u"b", u"2"}});
    {
        RecordingSite site;
        site.failBagNumber = 2;  // second occurrence of "a" gets no bag
        r->ISmartTagRecognizer_Recognize(u"aab", 0, 0, site);
        EXPECT_EQ(Tags(site), (std::vector<Tag>{{1, 1, u"1"}, {3, 1, u"2"}}));
        EXPECT_EQ(site.bagRequests, 3);
    }
    {
        RecordingSite site;
        site.failCommitNumber = 1;
        r->ISmartTagRecognizer_Recognize(u"aab", 0, 0, site);
        EXPECT_EQ(Tags(site), (std::vector<Tag>{{2, 1, u"1"}, {3, 1, u"2"}}));
        EXPECT_EQ(site.commitCalls, 3);
    }
    {
        RecordingSite site;
        site.bagsFailWrites = true;  // the tag is still committed, without the property
        r->ISmartTagRecognizer_Recognize(u"b", 0, 0, site);
        ASSERT_EQ(site.tags.size(), 1u);
        EXPECT_TRUE(site.tags[0].properties.empty());
    }
}

TEST(RecognizeFailures, TooManyMatchesCommitNothing) {
    // 1024 entries sharing a name that occurs at 4097 positions: one match
    // per entry and position, past the bound by 1024.
    StockFixture fixture;
    auto r = fixture.Recognizer(std::vector<stockInfo>(1024, stockInfo{u"a", u"1"}));
    RecordingSite site;
    EXPECT_EQ(r->ISmartTagRecognizer_Recognize(std::u16string(4097, u'a'), 0, 0, site), Status::overflow);
    EXPECT_EQ(site.bagRequests, 0);
    EXPECT_EQ(site.commitCalls, 0);
    static_assert(StockNameMatcher::kMaxMatches == 4096 * 1024);
}

TEST(RecognizerMembers, FixedAnswers) {
    StockFixture fixture;
    auto r = fixture.Recognizer({});
    // Both published: the ProgId with its trailing blank, and the tag type.
    EXPECT_EQ(r->ISmartTagRecognizer_ProgId(), u"Varnoke.STRecognizer ");
    EXPECT_EQ(r->ISmartTagRecognizer_SmartTagCount(), 1);
    EXPECT_EQ(r->ISmartTagRecognizer_SmartTagName(1), u"urn:schemas-varnoke:smarttags#varnoke");
    for (int32_t id : {0, 2, -1, 1 << 30}) {
        EXPECT_EQ(r->ISmartTagRecognizer_SmartTagName(id), u"") << id;
        EXPECT_EQ(r->ISmartTagRecognizer_SmartTagDownloadURL(id), u"") << id;
    }
    EXPECT_EQ(r->ISmartTagRecognizer_SmartTagDownloadURL(1), u"");
    for (int32_t locale : {1033, 1028, 2052, 0})
        EXPECT_EQ(r->ISmartTagRecognizer_Desc(locale),
                  u"Kestria Stock Symbol Recognizer recognizes stock symbol of Kestria market in document.");
}

TEST(RecognizerMembers, NameByLocale) {
    StockFixture fixture;
    auto r = fixture.Recognizer({});
    const struct {
        int32_t locale;
        std::u16string_view name;
    } cases[] = {
        {1028, u"Kestria股票名稱/代碼"},
        {3076, u"Kestria股票名稱/代碼"},
        {2052, u"Kestria股票名称/代码"},
        {1033, u"Kestria Stock Symbol Recognizer"},
        {0, u"Kestria Stock Symbol Recognizer"},
        {4100, u"Kestria Stock Symbol Recognizer"},
        {5124, u"Kestria Stock Symbol Recognizer"},
    };
    for (const auto& c : cases) {
        std::u16string name = u"stale";
        EXPECT_EQ(r->ISmartTagRecognizer_Name(c.locale, name), Status::ok);
        EXPECT_EQ(name, c.name) << c.locale;
    }
}

}  // namespace
}  // namespace varnoke
