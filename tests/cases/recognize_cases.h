// What recognition commits for a list and a text: one table, run through the
// core on each platform (tests/recognizer_test.cpp) and through COM by the
// smart-tag host (tests/win32/test_host.cpp), every row in each.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace varnoke::cases {

struct Stock {
    std::u16string_view name;
    std::u16string_view id;
};

// A committed tag: 1-based start, length, and its ProductID.
struct Tag {
    int32_t start;
    int32_t length;
    std::u16string_view id;
};

// A tag committed with no ProductID in its bag.
inline constexpr std::u16string_view kNoProperty = u"(no property)";

// Host calls made to fail, each counted from 1; 0 never fails. A host may
// fail a bag request or answer it with no bag: the core sees both as none.
struct SiteFaults {
    int failBag = 0;
    int nullBag = 0;
    int failCommit = 0;
    bool failWrites = false;
    bool Any() const { return failBag || nullBag || failCommit || failWrites; }
};

struct RecognizeCase {
    const char* name;
    std::vector<Stock> stocks;
    std::optional<std::u16string_view> text;  // nothing: no text at all (a null string through COM)
    std::vector<Tag> expected;
    SiteFaults faults{};
    int bagRequests = -1;  // -1: one per expected tag
    int commitCalls = -1;
    int BagRequests() const { return bagRequests >= 0 ? bagRequests : static_cast<int>(expected.size()); }
    int CommitCalls() const { return commitCalls >= 0 ? commitCalls : static_cast<int>(expected.size()); }
};

inline const std::vector<RecognizeCase>& RecognizeCases() {
    static const std::vector<RecognizeCase> cases = {
        {.name = "empty text", .stocks = {{u"甲", u"1"}}, .text = u"", .expected = {}},
        {.name = "null text", .stocks = {{u"甲", u"1"}}, .text = std::nullopt, .expected = {}},
        {.name = "the whole text is a name",
         .stocks = {{u"華岳精密", u"2417"}},
         .text = u"華岳精密",
         .expected = {{1, 4, u"2417"}}},
        {.name = "case-sensitive, no folding",
         .stocks = {{u"Abc", u"1"}},
         .text = u"abc ABC Ａbc Abc",
         .expected = {{13, 3, u"1"}}},
        {.name = "overlapping occurrences of one name",
         .stocks = {{u"aa", u"1"}},
         .text = u"aaaa",
         .expected = {{1, 2, u"1"}, {2, 2, u"1"}, {3, 2, u"1"}}},
        {.name = "stock by stock in list order, ascending within a stock",
         .stocks = {{u"電子", u"2"}, {u"宏岳電子", u"1"}, {u"宏岳", u"3"}},
         .text = u"宏岳電子與宏岳",
         .expected = {{3, 2, u"2"}, {1, 4, u"1"}, {1, 2, u"3"}, {6, 2, u"3"}}},
        {.name = "duplicate names interleave with other entries",
         .stocks = {{u"同名", u"1"}, {u"其他", u"9"}, {u"同名", u"2"}},
         .text = u"同名x其他同名",
         .expected = {{1, 2, u"1"}, {6, 2, u"1"}, {4, 2, u"9"}, {1, 2, u"2"}, {6, 2, u"2"}}},
        {.name = "no word boundaries",
         .stocks = {{u"2330", u"2330"}},
         .text = u"A23301",
         .expected = {{2, 4, u"2330"}}},
        {.name = "empty names commit nothing",
         .stocks = {{u"", u"1"}, {u"x", u"2"}, {u"", u""}},
         .text = u"xx",
         .expected = {{1, 1, u"2"}, {2, 1, u"2"}}},
        {.name = "positions count UTF-16 code units (surrogate pairs)",
         .stocks = {{u"\U00020000岳", u"1"}, {u"b", u"2"}},
         .text = u"a\U00020000岳b",
         .expected = {{2, 3, u"1"}, {5, 1, u"2"}}},
        {.name = "half a surrogate pair is not a match",
         .stocks = {{u"\U00020000", u"1"}},
         .text = u"\xD840x\U00020000",
         .expected = {{3, 2, u"1"}}},
        {.name = "an empty identifier is still written",
         .stocks = {{u"x", u""}},
         .text = u"x",
         .expected = {{1, 1, u""}}},
        {.name = "names sharing their first four units, listed longest first, at the text's end",
         .stocks = {{u"宏岳電子公司", u"1"}, {u"宏岳電子工業", u"2"}, {u"宏岳電子", u"3"}, {u"宏岳電子公司", u"4"}},
         .text = u"宏岳電子公司與宏岳電子",
         .expected = {{1, 6, u"1"}, {1, 4, u"3"}, {8, 4, u"3"}, {1, 6, u"4"}}},
        {.name = "second bag request fails: that tag only is lost",
         .stocks = {{u"a", u"1"}, {u"b", u"2"}},
         .text = u"aab",
         .expected = {{1, 1, u"1"}, {3, 1, u"2"}},
         .faults = {.failBag = 2},
         .bagRequests = 3,
         .commitCalls = 2},
        {.name = "a bag request succeeding without a bag loses that tag",
         .stocks = {{u"a", u"1"}, {u"b", u"2"}},
         .text = u"aab",
         .expected = {{2, 1, u"1"}, {3, 1, u"2"}},
         .faults = {.nullBag = 1},
         .bagRequests = 3,
         .commitCalls = 2},
        {.name = "first commit fails: the others still come",
         .stocks = {{u"a", u"1"}, {u"b", u"2"}},
         .text = u"aab",
         .expected = {{2, 1, u"1"}, {3, 1, u"2"}},
         .faults = {.failCommit = 1},
         .bagRequests = 3,
         .commitCalls = 3},
        {.name = "failing writes: committed without the property",
         .stocks = {{u"b", u"2"}},
         .text = u"b",
         .expected = {{1, 1, kNoProperty}},
         .faults = {.failWrites = true}},
    };
    return cases;
}

}  // namespace varnoke::cases
