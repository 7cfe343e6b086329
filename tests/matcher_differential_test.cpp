// The one-pass matcher against the straightforward per-entry search, on
// random lists and texts built to provoke overlaps, prefixes, nesting,
// duplicates, empty names and surrogate pairs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "core/unicode.h"
#include "recognizer/matcher.h"
#include "recognizer/matcher_kernels.h"
#include "standins/recording_site.h"
#include "tests/per_entry_reference.h"
#include "tests/stock_fixture.h"

#if defined(_WIN32) || defined(__SANITIZE_THREAD__)
// The Windows test program and the thread-sanitized one of this file alone
// count the calls to operator new on this thread here, while a counter is
// set (AllocationsOf); the native test program's operator new is
// tests/failing_alloc.cpp's.
namespace {
thread_local std::size_t* g_allocations = nullptr;
void* Allocate(std::size_t size) noexcept {
    if (g_allocations != nullptr) ++*g_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
// Out of line: GCC would otherwise see free() on what operator new returned.
[[gnu::noinline]] void Release(void* p) noexcept { std::free(p); }
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace varnoke::test {
template <class Body>
std::size_t AllocationsOf(Body&& body) {
    std::size_t count = 0;
    g_allocations = &count;
    body();
    g_allocations = nullptr;
    return count;
}
}  // namespace varnoke::test
#else
#include "tests/failing_alloc.h"
#endif

namespace varnoke {
namespace {

using test::AllocationsOf;
using test::LinearReference;
using test::PerEntryReference;

// Every case runs once per filter kernel this build has and this CPU runs
// (natively the AVX2 and AVX-512 ones too, under Wine the Windows builds'
// own), each compared with the per-entry search.
template <class Body>
void ForEachKernel(Body&& body) {
    const auto chosen = matcher_kernels::Chosen();
    for (const auto kernel : matcher_kernels::Available()) {
        SCOPED_TRACE(std::string("kernel ") + matcher_kernels::Name(kernel));
        matcher_kernels::Use(kernel);
        body();
    }
    matcher_kernels::Use(chosen);
}

// What a scan finds under every kernel, or the first kernel's result where
// another differs from it (reported by the caller's comparison).
std::optional<std::vector<StockMatch>> FindUnderEveryKernel(const StockNameMatcher& matcher, std::u16string_view text,
                                                            std::size_t limit = StockNameMatcher::kMaxMatches) {
    std::optional<std::optional<std::vector<StockMatch>>> first;
    bool same = true;
    ForEachKernel([&] {
        auto found = matcher.FindAll(text, limit);
        if (!first)
            first = std::move(found);
        else
            same = same && found == *first;
    });
    EXPECT_TRUE(same) << "the kernels disagree";
    return *first;
}

class RandomCases {
public:
    explicit RandomCases(uint32_t seed, std::size_t maxEntries = 12, std::size_t maxNameLength = 5)
        : rng_(seed), maxEntries_(maxEntries), maxNameLength_(maxNameLength) {}

    std::u16string Word(std::size_t maxLength, bool wellFormed) {
        // A tiny alphabet makes collisions, overlaps and nesting frequent.
        static const std::u16string units = u"aab華岳岳A";
        std::u16string w;
        const std::size_t n = Pick(maxLength + 1);
        while (w.size() < n) {
            const std::size_t k = Pick(10);
            if (k < 7) {
                w.push_back(units[k]);
            } else if (k < 9 || wellFormed) {
                w += u"\U00020000";  // a surrogate pair
            } else {
                w.push_back(static_cast<char16_t>(Pick(2) ? 0xD840 : 0xDC00));  // a lone half
            }
        }
        return w;
    }

    std::vector<stockInfo> List(bool wellFormed) {
        std::vector<stockInfo> list(Pick(maxEntries_));
        for (std::size_t i = 0; i < list.size(); ++i) {
            auto& s = list[i];
            s.strStockID = u"id" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            const std::size_t kind = Pick(6);
            if (kind == 0 && i > 0) {
                s.strStockName = list[Pick(i)].strStockName;  // duplicate
            } else if (kind == 1 && i > 0) {
                const auto& other = list[Pick(i)].strStockName;  // prefix or piece of another
                const std::size_t from = other.empty() ? 0 : Pick(other.size());
                s.strStockName = other.substr(from, Pick(other.size() - from + 1));
                // A piece may split a surrogate pair, which no XML file can carry.
                if (wellFormed && !Utf8ToUtf16(Utf16ToUtf8(s.strStockName)).value_or(u"").starts_with(s.strStockName))
                    s.strStockName = Word(maxNameLength_, wellFormed);
            } else {
                s.strStockName = Word(maxNameLength_, wellFormed);
            }
        }
        return list;
    }

    std::u16string Text(const std::vector<stockInfo>& list, bool wellFormed) {
        std::u16string text;
        const std::size_t pieces = Pick(12);
        for (std::size_t k = 0; k < pieces; ++k)
            text += (!list.empty() && Pick(2)) ? list[Pick(list.size())].strStockName : Word(4, wellFormed);
        return text;
    }

private:
    std::size_t Pick(std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    std::mt19937 rng_;
    std::size_t maxEntries_, maxNameLength_;
};

TEST(MatcherDifferential, AgreesWithPerEntrySearch) {
    RandomCases random(20261208);
    for (int i = 0; i < 5000; ++i) {
        const auto list = random.List(false);
        const StockNameMatcher matcher(list);
        for (int t = 0; t < 3; ++t) {
            const auto text = random.Text(list, false);
            ASSERT_EQ(FindUnderEveryKernel(matcher, text), PerEntryReference(list, text))
                << "case " << i << " text " << Utf16ToUtf8(text);
        }
    }
}

// Long lists of long names over the same tiny alphabet: many names share
// their first two, three and four units, and the lookup tables fill up.
TEST(MatcherDifferential, AgreesOnLongListsOfLongNames) {
    RandomCases random(7, 400, 9);
    for (int i = 0; i < 200; ++i) {
        const auto list = random.List(false);
        const StockNameMatcher matcher(list);
        for (int t = 0; t < 3; ++t) {
            std::u16string text;
            for (int k = 0; k < 20; ++k) text += random.Text(list, false);
            ASSERT_EQ(FindUnderEveryKernel(matcher, text), PerEntryReference(list, text)) << "case " << i;
        }
    }
}

// Stock codes: thousands of four-digit names, most pairs of digits start
// some of them, against text full of numbers.
TEST(MatcherDifferential, AgreesOnCodesInNumbers) {
    std::vector<stockInfo> list;
    for (int code = 1101; code <= 9999; code += 3) {
        const std::string digits = std::to_string(code);
        list.push_back({std::u16string(digits.begin(), digits.end()), u"id"});
    }
    list.push_back({u"9", u"one digit"});
    list.push_back({u"99999", u"five digits"});
    std::mt19937 rng(3);
    std::u16string text;
    for (int k = 0; k < 20000; ++k) text.push_back(static_cast<char16_t>(u'0' + rng() % 10));
    EXPECT_EQ(FindUnderEveryKernel(StockNameMatcher(list), text), PerEntryReference(list, text));
}

// Names that start where the text's pairs are and go on as the text does,
// most of them then differing in their last unit: nearly every position
// passes the pair filter and many checks fail deep into a name. Each row:
// alphabet of the text, names, longest name.
TEST(MatcherDifferential, AgreesOnNamesThatFollowTheText) {
    const struct {
        std::u16string alphabet;
        std::size_t names, longest;
    } rows[] = {
        {u"中國華大台灣", 40, 9},
        {u"中國華大台灣", 3000, 12},
        {u"0123", 500, 6},
        {u"ab", 200, 20},
    };
    std::mt19937 rng(12);
    for (const auto& row : rows) {
        std::u16string text;
        for (int k = 0; k < 6000; ++k) text.push_back(row.alphabet[rng() % row.alphabet.size()]);
        std::vector<stockInfo> list;
        for (std::size_t e = 0; e < row.names; ++e) {
            const std::size_t length = 2 + rng() % (row.longest - 1);
            std::u16string name = text.substr(rng() % (text.size() - length), length);
            if (rng() % 4 != 0) name.back() = row.alphabet[rng() % row.alphabet.size()];
            list.push_back({name, u"id"});
        }
        const StockNameMatcher matcher(list);
        ASSERT_EQ(FindUnderEveryKernel(matcher, text), PerEntryReference(list, text)) << row.names;
        // Hundreds of matches: a scan after the first asks the heap for
        // nothing (no growth, no sort buffer), whatever the heap costs; under
        // Wine each large block is fresh pages. FindAll asks for its vector.
        std::optional<std::vector<StockMatch>> again;
        EXPECT_EQ(AllocationsOf([&] { again = matcher.FindAll(text); }), 1u) << row.names;
        ASSERT_TRUE(again.has_value()) << row.names;
        EXPECT_GT(again->size(), 500u) << row.names;
        std::size_t handed = 0;
        EXPECT_EQ(AllocationsOf([&] { matcher.WithMatches(text, [&](auto m) { handed = m.size(); }); }), 0u)
            << row.names;
        EXPECT_EQ(handed, again->size()) << row.names;
        // What the benchmark prints: the second stage passes no more than the first.
        const auto stats = matcher.Measure(text);
        EXPECT_GE(stats.passes, 1u);
        EXPECT_LE(stats.passes, 2u);
        EXPECT_EQ(stats.positions, stats.passes * (text.size() - 1));
        EXPECT_LE(stats.passed, stats.passedFirst);
        EXPECT_LE(stats.passedFirst, stats.positions);
    }
}

// Lists and texts built to make checking a position take long: names as
// repetitive as the text and changed at their end, middle or start; many
// names sharing a beginning or an end that the text is full of, or sharing
// a long one; names nested in each other; codes over digits. Each row is
// built at two sizes of what makes it hard (a name's length, the names
// sharing a part, the part's length), ten times apart. Every scan finds what
// the linear reference finds, its work (Measure) stays within the bound per
// unit of text, and the work per unit does not grow with the size.
TEST(MatcherDifferential, WorkPerUnitStaysBounded) {
    using Made = std::pair<std::vector<stockInfo>, std::u16string>;
    std::mt19937 rng(2026);
    const auto ideograph = [&] { return static_cast<char16_t>(0x4E00 + rng() % 2000); };
    const auto phrase = [&](std::size_t units) {
        std::u16string p;
        while (p.size() < units) p.push_back(ideograph());
        return p;
    };
    const auto repeated = [](const std::u16string& p, std::size_t units) {
        std::u16string text;
        while (text.size() < units) text += p;
        text.resize(units);
        return text;
    };
    constexpr std::size_t kText = 20000;
    // A stretch of `text` from `at`, `length` long, with the unit at `change` replaced.
    const auto changed = [](const std::u16string& text, std::size_t at, std::size_t length, std::size_t change) {
        std::u16string name = text.substr(at, length);
        name[change] = u'\u3400';
        return name;
    };
    // Names of `shared` units in common (a beginning, or an end), each with one unit of its own.
    const auto sharing = [&](std::size_t names, std::size_t shared, bool end) {
        const std::u16string part = phrase(shared);
        std::vector<stockInfo> list;
        std::u16string text;
        for (std::size_t k = 0; k < names; ++k) {
            const std::u16string own(1, static_cast<char16_t>(0x3400 + k));
            list.push_back({end ? own + part : part + own, u"id"});
        }
        // The text is full of the shared part, with other units around it.
        while (text.size() < kText) text += end ? std::u16string(1, ideograph()) + part : part + ideograph();
        text.resize(kText);
        return Made{list, text};
    };
    const struct {
        const char* what;
        std::function<Made(std::size_t)> make;
        std::size_t small, large;
    } rows[] = {
        {"one long name over its own unit, changed at its end",
         [&](std::size_t l) {
             return Made{{{std::u16string(l - 1, u'a') + u"b", u"id"}}, std::u16string(kText, u'a')};
         },
         100, 1000},
        {"... changed at its start",
         [&](std::size_t l) {
             return Made{{{u"b" + std::u16string(l - 1, u'a'), u"id"}}, std::u16string(kText, u'a')};
         },
         100, 1000},
        {"... changed in its middle",
         [&](std::size_t l) {
             return Made{{{std::u16string(l / 2, u'a') + u"b" + std::u16string(l - l / 2 - 1, u'a'), u"id"}},
                         std::u16string(kText, u'a')};
         },
         1000, 10000},
        {"names of a repeated phrase, changed at their end, middle and start",
         [&](std::size_t l) {
             const std::u16string text = repeated(phrase(7), kText);
             return Made{{{changed(text, 3, l, l - 1), u"1"},
                          {changed(text, 5, l, l / 2), u"2"},
                          {changed(text, 1, l, 0), u"3"}},
                         text};
         },
         100, 1000},
        {"names of a repeated phrase that occur, nested in each other",
         [&](std::size_t l) {
             const std::u16string text = repeated(phrase(3), kText / 4);
             return Made{{{text.substr(0, l), u"1"}, {text.substr(1, l / 2), u"2"}, {text.substr(2, 5), u"3"}}, text};
         },
         100, 1000},
        {"names sharing a beginning the text is full of, by names", [&](std::size_t k) { return sharing(k, 6, false); },
         20, 200},
        {"names sharing a beginning the text is full of, by its length",
         [&](std::size_t units) { return sharing(20, units, false); }, 8, 80},
        {"names sharing an end the text is full of, by names", [&](std::size_t k) { return sharing(k, 6, true); }, 20,
         200},
        {"names sharing an end the text is full of, by its length",
         [&](std::size_t units) { return sharing(20, units, true); }, 8, 80},
        {"codes over digits",
         [&](std::size_t k) {
             std::vector<stockInfo> list;
             for (std::size_t c = 0; c < k; ++c) {
                 const std::string digits =
                     std::to_string(1000 + rng() % 9000) + std::to_string(rng() % (c % 3 == 0 ? 1 : 100));
                 list.push_back({std::u16string(digits.begin(), digits.end()), u"id"});
             }
             std::u16string text;
             while (text.size() < kText) text.push_back(static_cast<char16_t>(u'0' + rng() % 10));
             return Made{list, text};
         },
         100, 1000},
    };
    for (const auto& row : rows) {
        double perUnit[2] = {};
        for (int size = 0; size < 2; ++size) {
            const std::size_t scale = size == 0 ? row.small : row.large;
            const auto [list, text] = row.make(scale);
            const StockNameMatcher matcher(list);
            ASSERT_EQ(FindUnderEveryKernel(matcher, text), LinearReference(list, text)) << row.what << ", " << scale;
            const auto stats = matcher.Measure(text);
            EXPECT_LE(stats.Work(), StockNameMatcher::kWorkPerUnit * text.size()) << row.what << ", " << scale;
            perUnit[size] = static_cast<double>(stats.Work()) / static_cast<double>(text.size());
        }
        // One unit of work per unit of text on top, for the rows that do almost none.
        EXPECT_LE(perUnit[1], 1.25 * perUnit[0] + 1.0) << row.what << ": " << perUnit[0] << " then " << perUnit[1];
    }
}

// Two threads scanning one matcher at once, each with more matches than
// a scan keeps on its stack: each takes buffers of its own, or the kept
// ones, never the other's.
TEST(MatcherDifferential, TwoThreadsScanOneMatcher) {
    RandomCases random(99, 40, 6);
    const auto list = random.List(false);
    const StockNameMatcher matcher(list);
    std::u16string texts[2];
    for (auto& text : texts)
        while (PerEntryReference(list, text).size() < 200) text += random.Text(list, false);
    const std::vector<StockMatch> want[2] = {PerEntryReference(list, texts[0]), PerEntryReference(list, texts[1])};
    bool same[2] = {true, true};
    const auto scan = [&](int k) {
        for (int i = 0; i < 300; ++i) {
            same[k] = same[k] && matcher.FindAll(texts[k]) == want[k];
            matcher.WithMatches(texts[k], [&](std::span<const StockMatch> m) {
                same[k] = same[k] && std::equal(m.begin(), m.end(), want[k].begin(), want[k].end());
            });
        }
    };
    std::thread other(scan, 1);
    scan(0);
    other.join();
    EXPECT_TRUE(same[0]);
    EXPECT_TRUE(same[1]);
}

TEST(MatcherDifferential, MoreMatchesThanTheLimitGiveNothing) {
    const std::vector<stockInfo> list = {{u"ab", u"1"}, {u"b", u"2"}, {u"ab", u"3"}, {u"", u"4"}};
    const StockNameMatcher matcher(list);
    const std::u16string text = u"abab";  // 2 + 2 + 2 matches
    const struct {
        std::size_t limit;
        bool found;
    } cases[] = {{6, true}, {SIZE_MAX, true}, {5, false}, {1, false}, {0, false}};
    for (const auto& c : cases) {
        const auto found = FindUnderEveryKernel(matcher, text, c.limit);
        ASSERT_EQ(found.has_value(), c.found) << c.limit;
        if (found) {
            EXPECT_EQ(*found, PerEntryReference(list, text)) << c.limit;
        }
    }
    EXPECT_EQ(matcher.FindAll(u"", 0), std::vector<StockMatch>());

    // Around the 32 matches a scan collects before it takes its kept buffers:
    // four per "abx", three of them one name's.
    const std::vector<stockInfo> three = {{u"ab", u"1"}, {u"x", u"2"}, {u"ab", u"3"}, {u"ab", u"4"}};
    const StockNameMatcher crossing(three);
    for (const std::size_t times : {7u, 8u, 9u, 30u}) {
        std::u16string abx;
        for (std::size_t k = 0; k < times; ++k) abx += u"abx";
        const std::size_t total = 4 * times;
        for (const std::size_t limit : {total, total - 1, total + 1}) {
            const auto found = FindUnderEveryKernel(crossing, abx, limit);
            ASSERT_EQ(found.has_value(), limit >= total) << times << " " << limit;
            if (found) {
                EXPECT_EQ(*found, PerEntryReference(three, abx)) << times << " " << limit;
            }
        }
        EXPECT_EQ(AllocationsOf([&] { (void)crossing.FindAll(abx); }), 1u) << times;
        std::vector<StockMatch> handed;
        handed.reserve(total);
        EXPECT_EQ(AllocationsOf([&] {
                      EXPECT_TRUE(crossing.WithMatches(abx, [&](auto m) {
                          if (handed.capacity() >= m.size()) handed.assign(m.begin(), m.end());
                      }));
                  }),
                  0u)
            << times;
        EXPECT_EQ(handed, PerEntryReference(three, abx)) << times;
    }
}

TEST(MatcherDifferential, RecognizerCommitsWhatTheReferenceFinds) {
    RandomCases random(42);
    for (int i = 0; i < 300; ++i) {
        const auto list = random.List(true);
        test::StockFixture fixture;
        auto r = fixture.Recognizer(list);
        const auto text = random.Text(list, true);
        standins::RecordingSite site;
        r->ISmartTagRecognizer_Recognize(text, 0, 0, site);

        const auto expected = PerEntryReference(list, text);
        ASSERT_EQ(site.tags.size(), expected.size()) << "case " << i;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(site.tags[k].start, static_cast<int32_t>(expected[k].position + 1));
            EXPECT_EQ(site.tags[k].length, static_cast<int32_t>(expected[k].length));
            EXPECT_EQ(site.tags[k].properties.at(u"ProductID"), list[expected[k].entry].strStockID);
        }
    }
}

}  // namespace
}  // namespace varnoke
