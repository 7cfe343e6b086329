#include <gtest/gtest.h>

#include <thread>

#include "core/data_paths.h"
#include "core/unicode.h"
#include "tests/action_fixture.h"

namespace varnoke {
namespace {

using test::ActionFixture;
using test::ActionUrlXml;
using test::CompleteActionTable;

std::string Table(const std::string& body) { return "<ActionList>" + body + "</ActionList>"; }

const std::string kRefresh =
    "<lastcheckpoint>3</lastcheckpoint><lastupdate>100</lastupdate>"
    "<updatefrequency>5</updatefrequency><updateurl>https://d.example/</updateurl>";

struct Expected {
    std::array<const char16_t*, 5> names;
    std::array<const char16_t*, 5> urls;
    std::array<int16_t, 5> ids;
    bool captions;
    int32_t lastCheckpoint, lastUpdate, updateFrequency;
    const char16_t* updateURL;
    bool updateInfoValid;
};

struct LoadCase {
    const char* name;
    std::string file;
    Expected expected;
    friend void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }
};

constexpr std::array<const char16_t*, 5> kNone = {u"", u"", u"", u"", u""};
constexpr std::array<int16_t, 5> kIds = {0, 1, 2, 3, 4};
constexpr std::array<int16_t, 5> kZeroIds = {0, 0, 0, 0, 0};

class ActionTableLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ActionTableLoad, Case) {
    const LoadCase& c = GetParam();
    const Expected& e = c.expected;
    ActionFixture fixture;
    auto action = fixture.Action(c.file);
    static constexpr std::u16string_view kCaptions[] = {u"Stock Quote on Web Site", u"Company Report on Web Site",
                                                        u"Recent News on Web Site", u"Basic Information on Web Site",
                                                        u"Insert Refreshable Stock Price"};
    for (std::size_t i = 0; i < 5; ++i) {
        const ActionInfo& info = action->ActionList()[i];
        EXPECT_EQ(info.strActionName, e.names[i]) << i;
        EXPECT_EQ(info.strActionUrl, e.urls[i]) << i;
        EXPECT_EQ(info.iActionID, e.ids[i]) << i;
        EXPECT_EQ(info.strActionCaption, e.captions ? kCaptions[i] : u"") << i;
    }
    EXPECT_EQ(action->LastCheckpoint(), e.lastCheckpoint);
    EXPECT_EQ(action->LastUpdate(), e.lastUpdate);
    EXPECT_EQ(action->UpdateFrequency(), e.updateFrequency);
    EXPECT_EQ(action->UpdateURL(), e.updateURL);
    EXPECT_EQ(action->UpdateInfoValid(), e.updateInfoValid);
    EXPECT_FALSE(action->UpdateDone());
}

const std::string kFive = ActionUrlXml("A", "ua") + ActionUrlXml("B", "ub") + ActionUrlXml("C", "uc") +
                          ActionUrlXml("D", "ud") + ActionUrlXml("E", "ue");
constexpr std::array<const char16_t*, 5> kFiveNames = {u"A", u"B", u"C", u"D", u"E"};
constexpr std::array<const char16_t*, 5> kFiveUrls = {u"ua", u"ub", u"uc", u"ud", u"ue"};

INSTANTIATE_TEST_SUITE_P(
    Table, ActionTableLoad,
    ::testing::Values(
        LoadCase{"complete",
                 Table(kFive + kRefresh),
                 {kFiveNames, kFiveUrls, kIds, true, 3, 100, 5, u"https://d.example/", true}},
        LoadCase{"missing file", "", {kNone, kNone, kZeroIds, false, 0, 0, 0, u"", false}},
        LoadCase{"malformed", "<ActionList>" + kFive, {kNone, kNone, kZeroIds, false, 0, 0, 0, u"", false}},
        LoadCase{"no ActionUrl ends before the refresh elements",
                 Table(kRefresh),
                 {kNone, kNone, kZeroIds, false, 0, 0, 0, u"", false}},
        LoadCase{"three verbs",
                 Table(ActionUrlXml("A", "ua") + ActionUrlXml("B", "ub") + ActionUrlXml("C", "uc") + kRefresh),
                 {{u"A", u"B", u"C", u"", u""},
                  {u"ua", u"ub", u"uc", u"", u""},
                  {0, 1, 2, 0, 0},
                  true,
                  3,
                  100,
                  5,
                  u"https://d.example/",
                  true}},
        LoadCase{"seven verbs: the surplus is ignored",
                 Table(kFive + ActionUrlXml("F", "uf") + ActionUrlXml("G", "ug") + kRefresh),
                 {kFiveNames, kFiveUrls, kIds, true, 3, 100, 5, u"https://d.example/", true}},
        LoadCase{
            "an empty second element uses up its index",
            Table(ActionUrlXml("A", "ua") + "<ActionUrl/>" + ActionUrlXml("C", "uc")),
            {{u"A", u"", u"C", u"", u""}, {u"ua", u"", u"uc", u"", u""}, {0, 0, 2, 0, 0}, true, 0, 0, 0, u"", false}},
        LoadCase{
            "ActionUrl elements anywhere, in document order; children are direct only",
            Table("<g>" + ActionUrlXml("A", "ua") +
                  "</g><ActionUrl><x><ActionName>deep</ActionName>"
                  "</x><URL>ub</URL></ActionUrl>"),
            {{u"A", u"", u"", u"", u""}, {u"ua", u"ub", u"", u"", u""}, {0, 1, 0, 0, 0}, true, 0, 0, 0, u"", false}},
        LoadCase{"updatefrequency absent: 10080",
                 Table(kFive + "<lastcheckpoint>3</lastcheckpoint><lastupdate>100</lastupdate>"
                               "<updateurl>u</updateurl>"),
                 {kFiveNames, kFiveUrls, kIds, true, 3, 100, 10080, u"u", true}},
        LoadCase{"values that do not convert keep 0, the elements still count",
                 Table(kFive + "<lastcheckpoint>seven</lastcheckpoint><lastupdate>2147483648</lastupdate>"
                               "<updatefrequency></updatefrequency><updateurl>u</updateurl>"),
                 {kFiveNames, kFiveUrls, kIds, true, 0, 0, 0, u"u", true}},
        LoadCase{"signs, blanks and the 32-bit limits",
                 Table(kFive + "<lastcheckpoint> -2147483648 </lastcheckpoint><lastupdate>+2147483647"
                               "</lastupdate><updatefrequency>\t0</updatefrequency><updateurl> u v </updateurl>"),
                 {kFiveNames, kFiveUrls, kIds, true, -2147483647 - 1, 2147483647, 0, u"u v", true}},
        LoadCase{"updateurl absent: not valid, the numbers are read",
                 Table(kFive + "<lastcheckpoint>3</lastcheckpoint><lastupdate>100</lastupdate>"),
                 {kFiveNames, kFiveUrls, kIds, true, 3, 100, 10080, u"", false}},
        LoadCase{"lastupdate absent: ends before updatefrequency",
                 Table(kFive + "<lastcheckpoint>3</lastcheckpoint><updatefrequency>5</updatefrequency>"
                               "<updateurl>u</updateurl>"),
                 {kFiveNames, kFiveUrls, kIds, true, 3, 0, 0, u"", false}},
        LoadCase{
            "fields holding an element: a verb's are missing, refresh elements empty",
            Table(ActionUrlXml("A", "ua") +
                  "<ActionUrl><ActionName>B<i>x</i></ActionName><URL><a>ub</a></URL>"
                  "</ActionUrl><lastcheckpoint><n>3</n></lastcheckpoint><lastupdate>100</lastupdate>"
                  "<updateurl>https://d.example/<b/></updateurl>"),
            {{u"A", u"", u"", u"", u""}, {u"ua", u"", u"", u"", u""}, {0, 1, 0, 0, 0}, true, 0, 100, 10080, u"", true}},
        LoadCase{"a nested lastcheckpoint counts as missing",
                 Table(kFive + "<g><lastcheckpoint>3</lastcheckpoint></g><lastupdate>100</lastupdate>"
                               "<updateurl>u</updateurl>"),
                 {kFiveNames, kFiveUrls, kIds, true, 0, 0, 0, u"", false}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ActionTable, ReloadOverwritesWhatItReachesOnly) {
    ActionFixture fixture;
    auto action = fixture.Action(Table(kFive + kRefresh));
    ASSERT_TRUE(action->UpdateInfoValid());

    // A load that ends in its first phase changes nothing, validity included.
    action->LoadActionURLFromXMLFile(fixture.dir.File("missing.xml"));
    EXPECT_TRUE(action->UpdateInfoValid());
    EXPECT_EQ(action->ActionList()[4].strActionName, u"E");

    // Two verbs, the first without an ActionName, and no updateurl.
    action->LoadActionURLFromXMLFile(
        fixture.dir.Write("two.xml", Table("<ActionUrl><URL>nu</URL></ActionUrl>" + ActionUrlXml("N", "nb") +
                                           "<lastcheckpoint>9</lastcheckpoint><lastupdate>1</lastupdate>")));
    const auto& list = action->ActionList();
    EXPECT_EQ(list[0].strActionName, u"A");  // kept: no ActionName this time
    EXPECT_EQ(list[0].strActionUrl, u"nu");
    EXPECT_EQ(list[1].strActionName, u"N");
    EXPECT_EQ(list[2].strActionName, u"C");
    EXPECT_EQ(action->LastCheckpoint(), 9);
    EXPECT_EQ(action->UpdateFrequency(), 10080);
    EXPECT_EQ(action->UpdateURL(), u"https://d.example/");  // kept
    EXPECT_FALSE(action->UpdateInfoValid());
}

TEST(ActionTable, ConstructionFormsBothPathsOnThisThread) {
    ActionFixture fixture;
    std::u16string stockPath, actionPath;
    std::thread([&] {
        fixture.Action(CompleteActionTable());
        stockPath = strStockXMLPath();
        actionPath = strActionXMLPath();
    }).join();
    EXPECT_EQ(actionPath, fixture.dir.Folder() + kPathSeparator + u"acturl.xml");
    EXPECT_EQ(stockPath, fixture.dir.Folder() + kPathSeparator + u"varnokeL.xml");
}

}  // namespace
}  // namespace varnoke
