#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "core/unicode.h"
#include "standins/recording_site.h"
#include "tests/cases/recognize_cases.h"
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
        EXPECT_LE(t.properties.size(), 1u);  // at most one property per bag
        const auto id = t.properties.find(u"ProductID");
        tags.push_back({t.start, t.length, std::u16string(id != t.properties.end() ? id->second : cases::kNoProperty)});
    }
    return tags;
}

std::vector<Tag> Tags(const std::vector<cases::Tag>& rows) {
    std::vector<Tag> tags;
    for (const auto& t : rows) tags.push_back({t.start, t.length, std::u16string(t.id)});
    return tags;
}

std::vector<stockInfo> Stocks(const cases::RecognizeCase& c) {
    std::vector<stockInfo> stocks;
    for (const auto& s : c.stocks) stocks.push_back({std::u16string(s.name), std::u16string(s.id)});
    return stocks;
}

struct RecognizeCase {
    const cases::RecognizeCase* row;
    friend void PrintTo(const RecognizeCase& c, std::ostream* os) { *os << c.row->name; }
};

std::vector<RecognizeCase> Rows(bool withFaults) {
    std::vector<RecognizeCase> rows;
    for (const auto& c : cases::RecognizeCases())
        if (withFaults || !c.faults.Any()) rows.push_back({&c});
    return rows;
}

class Recognize : public ::testing::TestWithParam<RecognizeCase> {};
class RecognizeRuns : public ::testing::TestWithParam<RecognizeCase> {};

TEST_P(Recognize, Case) {
    const auto& c = *GetParam().row;
    StockFixture fixture;
    auto r = fixture.Recognizer(Stocks(c));
    RecordingSite site;
    site.failBagNumber = c.faults.failBag ? c.faults.failBag : c.faults.nullBag;
    site.failCommitNumber = c.faults.failCommit;
    site.bagsFailWrites = c.faults.failWrites;
    r->ISmartTagRecognizer_Recognize(c.text.value_or(u""), 8, 1033, site);
    EXPECT_EQ(Tags(site), Tags(c.expected));
    EXPECT_EQ(site.bagRequests, c.BagRequests());
    EXPECT_EQ(site.commitCalls, c.CommitCalls());
}

// A host that hands the text in runs: the text's matches, found once, kept
// or not, committed run by run. For every cut into two runs, the first
// commits the tags starting before the cut, the second the others, each in
// the order above, and no bag is asked for a tag another run commits.
TEST_P(RecognizeRuns, RunByRun) {
    const auto& c = *GetParam().row;
    const std::u16string_view text = c.text.value_or(u"");
    StockFixture fixture;
    auto r = fixture.Recognizer(Stocks(c));
    std::vector<StockMatch> found;
    ASSERT_TRUE(r->FindMatches(text, [&](std::span<const StockMatch> m) { found.assign(m.begin(), m.end()); }));
    const TextMatches kept(found);
    EXPECT_EQ(kept.Size(), c.expected.size());
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        std::vector<Tag> expected;
        for (const Tag& t : Tags(c.expected))
            if (static_cast<std::size_t>(t.start - 1) < cut) expected.push_back(t);
        const std::size_t first = expected.size();
        for (const Tag& t : Tags(c.expected))
            if (static_cast<std::size_t>(t.start - 1) >= cut) expected.push_back(t);
        RecordingSite fromFound, fromKept;
        r->CommitMatches(found, 0, cut, fromFound);
        r->CommitMatches(kept, 0, cut, fromKept);
        EXPECT_EQ(fromKept.bagRequests, static_cast<int>(first)) << "cut " << cut;
        // The second run reaches past the text's end, as a host's may.
        r->CommitMatches(found, cut, text.size() + 1 - cut, fromFound);
        r->CommitMatches(kept, cut, std::numeric_limits<std::size_t>::max(), fromKept);
        EXPECT_EQ(Tags(fromFound), expected) << "cut " << cut;
        EXPECT_EQ(Tags(fromKept), expected) << "cut " << cut;
        EXPECT_EQ(fromKept.bagRequests, static_cast<int>(expected.size())) << "cut " << cut;
    }
}

const auto kCaseName = [](const auto& info) { return "case" + std::to_string(info.index); };
INSTANTIATE_TEST_SUITE_P(Table, Recognize, ::testing::ValuesIn(Rows(true)), kCaseName);
// The host's failures are the site's own: the runs are over a faithful one.
INSTANTIATE_TEST_SUITE_P(Table, RecognizeRuns, ::testing::ValuesIn(Rows(false)), kCaseName);

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
