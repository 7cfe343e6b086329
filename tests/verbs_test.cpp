#include <gtest/gtest.h>

#include "core/unicode.h"
#include "standins/recording_site.h"
#include "tests/action_fixture.h"
#include "tests/cases/action_cases.h"

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
    for (const auto& c : cases::kSmartTagCaptionCases) {
        std::u16string caption;
        EXPECT_EQ(a->ISmartTagAction_SmartTagCaption(99, c.locale, caption), Status::ok);
        EXPECT_EQ(caption, c.caption) << c.locale;
    }
}

TEST(ActionMembers, VerbCaptionFromId) {
    ActionFixture fixture;
    auto a = fixture.Action("");
    for (const auto& c : cases::VerbCaptionCases()) {
        const std::u16string_view app = c.app.value_or(u"");
        std::u16string caption = u"stale";
        EXPECT_EQ(a->ISmartTagAction_VerbCaptionFromID(c.verb, app, c.locale, caption), c.status)
            << c.verb << " " << Utf16ToUtf8(app) << " " << c.locale;
        EXPECT_EQ(caption, c.caption) << c.verb << " " << Utf16ToUtf8(app) << " " << c.locale;
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
    const cases::InvokeCase* row;
    friend void PrintTo(const InvokeCase& c, std::ostream* os) { *os << c.row->name; }
};

class Invoke : public ::testing::TestWithParam<InvokeCase> {};

using E = InvokeReport::Effect;

TEST_P(Invoke, Case) {
    const cases::InvokeCase& c = *GetParam().row;
    ActionFixture fixture;
    RecordingWebQuery webQuery;
    CountingUpdate update;
    auto a = fixture.Action(c.table ? CompleteActionTable() : "", {fixture.xml, fixture.shell, &webQuery, &update});
    standins::PropertyBag bag;
    if (c.productId) bag.Write(u"ProductID", *c.productId);
    bag.failReads = c.failReads;
    struct Target : hostapi::IHostObject {
    } target;

    const InvokeReport report =
        a->ISmartTagAction_InvokeVerb(c.verb, c.app, &target, c.noBag ? nullptr : &bag, u"t", u"x");

    const E effect = c.effect == cases::Effect::opened      ? E::opened
                     : c.effect == cases::Effect::web_query ? E::web_query
                                                            : E::refused;
    EXPECT_EQ(report.effect, effect);
    EXPECT_EQ(report.url, c.url);
    if (c.effect == cases::Effect::opened) {
        EXPECT_EQ(fixture.shell.opened, std::vector<std::u16string>{std::u16string(c.url)});
    } else {
        EXPECT_TRUE(fixture.shell.opened.empty());  // nothing else ever reaches the shell
    }
    if (c.effect == cases::Effect::web_query) {
        ASSERT_EQ(webQuery.calls.size(), 1u);
        EXPECT_EQ(webQuery.calls[0].first, c.url);
        EXPECT_EQ(webQuery.calls[0].second, &target);
    } else {
        EXPECT_TRUE(webQuery.calls.empty());
    }
    EXPECT_EQ(update.runs, 1);  // the refresh gets its chance whatever happened
}

std::vector<InvokeCase> InvokeRows() {
    std::vector<InvokeCase> rows;
    for (const auto& c : cases::InvokeCases()) rows.push_back({&c});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Table, Invoke, ::testing::ValuesIn(InvokeRows()),
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
