#include "bench/bench_data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>

#include "core/unicode.h"

namespace varnoke::bench {

void Fail(const std::string& message) {
    std::fprintf(stderr, "bench: %s\n", message.c_str());
    std::fflush(stdout);
    std::abort();
}

uint64_t Rng::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The high half of a 64 x 64-bit product, from 32-bit pieces: 32-bit
// targets have no 128-bit integer.
static uint64_t MulHigh(uint64_t a, uint64_t b) {
    const uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32, bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
    const uint64_t lowLow = aLow * bLow, highLow = aHigh * bLow, lowHigh = aLow * bHigh;
    const uint64_t middle = (lowLow >> 32) + (highLow & 0xFFFFFFFFu) + lowHigh;
    return aHigh * bHigh + (highLow >> 32) + (middle >> 32);
}

std::size_t Rng::Below(std::size_t n) { return static_cast<std::size_t>(MulHigh(Next(), n)); }

bool Rng::Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }

static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool IsHan(char16_t c) { return c >= 0x4E00 && c <= 0x9FFF; }

Corpus LoadCorpus(const std::vector<std::string>& files) {
    Corpus corpus;
    for (const std::string& file : files) {
        const std::string raw = ReadBytes(file);
        std::string clean;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
                i += 2;
                while (i < raw.size() && !(raw[i] >= 0x40 && raw[i] <= 0x7E)) ++i;
                continue;
            }
            clean.push_back(raw[i]);
        }
        std::size_t from = 0;
        while (from < clean.size()) {
            std::size_t end = clean.find("\n%\n", from);
            if (end == std::string::npos) end = clean.size();
            auto entry = Utf8ToUtf16(std::string_view(clean).substr(from, end - from));
            if (!entry) Fail(file + " is not UTF-8");
            from = end + 3;
            std::size_t han = 0, visible = 0;
            for (char16_t c : *entry) {
                han += IsHan(c);
                visible += c != u' ' && c != u'\t' && c != u'\n' && c != u'\u3000';
            }
            if (visible == 0 || 2 * han < visible) continue;
            bool blank = false;
            for (char16_t c : *entry) {
                const bool isBlank = c == u' ' || c == u'\t';
                if (!(isBlank && blank)) corpus.text.push_back(isBlank ? u' ' : c);
                blank = isBlank;
            }
            corpus.text.push_back(u'\n');
        }
    }
    std::vector<uint32_t> count(0x10000, 0);
    for (char16_t c : corpus.text) ++count[c];
    for (uint32_t c = 0x4E00; c <= 0x9FFF; ++c)
        if (count[c] >= 3) corpus.han.push_back(static_cast<char16_t>(c));
    if (corpus.text.size() < 100000 || corpus.han.size() < 1000)
        Fail("the corpus is too small to stand for document text");
    return corpus;
}

// A list in the shape of the shipped one: companies in code order, each a
// name of 2-6 ideographs (some ending in a shared industry word, some with a
// "KY" suffix, a few Latin), about a third followed by a code-only entry;
// some names are prefixes of others, and every 97th entry repeats an
// earlier name under another code.
std::vector<stockInfo> MakeList(std::size_t n, const std::vector<char16_t>& han, uint64_t seed, ListShape& shape) {
    Rng rng(seed);
    const auto ideographs = [&](std::size_t k) {
        std::u16string s;
        for (std::size_t i = 0; i < k; ++i) s.push_back(han[rng.Below(han.size())]);
        return s;
    };
    std::vector<std::u16string> industries;
    for (int i = 0; i < 24; ++i) industries.push_back(ideographs(2));

    std::vector<std::u16string> names;      // per entry; empty = the company's code
    std::vector<std::size_t> companyOf;     // per entry
    std::vector<std::u16string> longNames;  // ideograph names of 3+ units
    std::vector<std::u16string> companyNames;
    std::size_t companies = 0;
    while (names.size() < n) {
        std::u16string name;
        const std::size_t roll = rng.Below(1000);
        if (names.size() % 97 == 96 && !companyNames.empty()) {
            name = companyNames[rng.Below(companyNames.size())];
            ++shape.duplicates;
        } else if (roll < 50 && !longNames.empty()) {
            name = longNames[rng.Below(longNames.size())].substr(0, 2);  // a prefix of another
            ++shape.prefixed;
        } else if (roll < 90 && !companyNames.empty()) {
            name = companyNames[rng.Below(companyNames.size())] + ideographs(1 + rng.Below(2));  // extends another
            ++shape.prefixed;
        } else if (roll < 115) {
            name = ideographs(2 + rng.Below(2)) + u"KY";
            ++shape.latin;
        } else if (roll < 135) {
            const std::size_t k = 2 + rng.Below(4);
            for (std::size_t i = 0; i < k; ++i) name.push_back(static_cast<char16_t>(u'A' + rng.Below(26)));
            ++shape.latin;
        } else {
            const std::size_t r = rng.Below(100);
            const std::size_t length = r < 40 ? 2 : r < 48 ? 3 : r < 90 ? 4 : r < 96 ? 5 : 6;
            name = (length >= 4 && rng.Chance(0.35)) ? ideographs(length - 2) + industries[rng.Below(industries.size())]
                                                     : ideographs(length);
        }
        if (name.size() >= 3 && IsHan(name[0]) && IsHan(name[2])) longNames.push_back(name);
        companyNames.push_back(name);
        names.push_back(std::move(name));
        companyOf.push_back(companies);
        if (names.size() < n && rng.Chance(0.3)) {
            names.emplace_back();
            companyOf.push_back(companies);
            ++shape.codeOnly;
        }
        ++companies;
    }

    // Distinct codes in 1101..9999, ascending, one per company.
    constexpr std::size_t kFirst = 1101, kLast = 9999;
    if (companies > kLast - kFirst + 1) Fail("more companies than codes");
    std::vector<std::u16string> codes;
    std::size_t needed = companies, remaining = kLast - kFirst + 1;
    for (std::size_t code = kFirst; code <= kLast; ++code, --remaining) {
        if (rng.Below(remaining) < needed) {
            const std::string digits = std::to_string(code);
            codes.emplace_back(digits.begin(), digits.end());
            --needed;
        }
    }
    std::vector<stockInfo> list(n);
    for (std::size_t e = 0; e < n; ++e) {
        list[e].strStockID = codes[companyOf[e]];
        list[e].strStockName = names[e].empty() ? codes[companyOf[e]] : names[e];
    }
    return list;
}

// Real listings start hundreds of names with the words news text is full
// of. The names here start with the corpus's most frequent pairs of
// ideographs, picked as often as the corpus has them, so the first pairs
// of the names stand at a large share of the text's positions; most then
// continue the way the corpus does at one of the pair's places, and most of
// those differ in their last unit only, so a check gets deep before it
// fails. Digit names share their first two digits, as stock codes do.
std::vector<stockInfo> MakePrefixHeavyList(std::size_t n, const Corpus& corpus, uint64_t seed, PrefixShape& shape) {
    constexpr std::size_t kFrequentPairs = 1024;
    const std::u16string& text = corpus.text;
    std::vector<uint32_t> pairs;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (IsHan(text[i]) && IsHan(text[i + 1])) pairs.push_back(uint32_t{text[i]} << 16 | text[i + 1]);
    std::sort(pairs.begin(), pairs.end());
    std::vector<std::pair<std::size_t, uint32_t>> counted;  // (count, pair)
    for (std::size_t i = 0; i < pairs.size();) {
        std::size_t j = i;
        while (j < pairs.size() && pairs[j] == pairs[i]) ++j;
        counted.emplace_back(j - i, pairs[i]);
        i = j;
    }
    std::sort(counted.begin(), counted.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    if (counted.size() > kFrequentPairs) counted.resize(kFrequentPairs);
    if (counted.size() < kFrequentPairs) Fail("the corpus has too few pairs of ideographs");
    std::vector<std::size_t> cumulative;
    std::size_t total = 0;
    for (const auto& c : counted) cumulative.push_back(total += c.first);
    shape.frequentPairs = counted.size();
    shape.pairShare = total * 1000 / text.size();
    // Where each frequent pair stands in the corpus.
    std::vector<std::vector<uint32_t>> places(counted.size());
    {
        std::vector<std::pair<uint32_t, uint32_t>> index;  // (pair, rank)
        for (uint32_t r = 0; r < counted.size(); ++r) index.emplace_back(counted[r].second, r);
        std::sort(index.begin(), index.end());
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            const uint32_t pair = uint32_t{text[i]} << 16 | text[i + 1];
            const auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(pair, uint32_t{0}));
            if (it != index.end() && it->first == pair) places[it->second].push_back(static_cast<uint32_t>(i));
        }
    }

    Rng rng(seed);
    const auto ideograph = [&] { return corpus.han[rng.Below(corpus.han.size())]; };
    std::u16string digitStarts[8];
    for (auto& d : digitStarts)
        for (int k = 0; k < 2; ++k) d.push_back(static_cast<char16_t>(u'0' + rng.Below(10)));
    std::vector<stockInfo> list(n);
    for (std::size_t e = 0; e < n; ++e) {
        std::u16string name;
        const std::size_t roll = rng.Below(1000);
        if (e % 97 == 96) {
            name = list[rng.Below(e)].strStockName;
            ++shape.duplicates;
        } else if (roll < 150) {
            name = digitStarts[rng.Below(8)];
            for (std::size_t k = 2 + rng.Below(3); k > 0; --k)
                name.push_back(static_cast<char16_t>(u'0' + rng.Below(10)));
            ++shape.digits;
        } else if (roll < 750) {
            const std::size_t rank = static_cast<std::size_t>(
                std::upper_bound(cumulative.begin(), cumulative.end(), rng.Below(total)) - cumulative.begin());
            const uint32_t pair = counted[rank].second;
            name = {static_cast<char16_t>(pair >> 16), static_cast<char16_t>(pair & 0xFFFF)};
            ++shape.frequentStart;
            const std::size_t kind = rng.Below(100);
            if (kind < 65) {
                const std::size_t r = rng.Below(100);
                const std::size_t length = r < 20 ? 3 : r < 55 ? 4 : r < 80 ? 5 : r < 95 ? 6 : 7;
                const std::size_t at = places[rank][rng.Below(places[rank].size())];
                for (std::size_t k = 2; k < length && at + k < text.size() && IsHan(text[at + k]); ++k)
                    name.push_back(text[at + k]);
                while (name.size() < 3) name.push_back(ideograph());
                ++shape.followText;
                if (rng.Chance(0.7)) {
                    const char16_t last = ideograph();
                    shape.nearMiss += last != name.back();
                    name.back() = last;
                }
            } else {
                for (std::size_t k = 1 + rng.Below(3); k > 0; --k) name.push_back(ideograph());
            }
        } else {
            for (std::size_t k = 2 + rng.Below(4); k > 0; --k) name.push_back(ideograph());
        }
        list[e].strStockName = std::move(name);
        const std::string code = std::to_string(1101 + e);
        list[e].strStockID.assign(code.begin(), code.end());
    }
    return list;
}

// A stretch of `units` ideographs of the corpus, from a seeded place.
static std::u16string IdeographRun(const Corpus& corpus, std::size_t units, Rng& rng) {
    for (;;) {
        const std::size_t at = rng.Below(corpus.text.size() - units);
        bool all = true;
        for (std::size_t k = 0; k < units && all; ++k) all = IsHan(corpus.text[at + k]);
        if (all) return corpus.text.substr(at, units);
    }
}

std::vector<stockInfo> MakeSharedPrefixList(std::size_t n, std::size_t perPrefix, const Corpus& corpus, uint64_t seed,
                                            SharedShape& shape) {
    Rng rng(seed);
    std::vector<stockInfo> list;
    while (list.size() < n) {
        const std::size_t prefixUnits = 2 + rng.Below(7);
        const std::u16string prefix = IdeographRun(corpus, prefixUnits, rng);
        const std::size_t last = 1 + rng.Below(2);
        const std::size_t group = std::min(perPrefix, n - list.size());
        ++shape.groups;
        ++shape.prefixUnits[prefixUnits];
        ++(last == 1 ? shape.lastOne : shape.lastTwo);
        // One unit after the beginning gives at most as many names as the
        // corpus has ideographs; the group's names stay distinct.
        std::vector<std::u16string> names;
        while (names.size() < group) {
            std::u16string name = prefix;
            for (std::size_t k = 0; k < last; ++k) name.push_back(corpus.han[rng.Below(corpus.han.size())]);
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
        }
        for (auto& name : names) {
            const std::string code = std::to_string(1101 + list.size());
            list.push_back({std::move(name), std::u16string(code.begin(), code.end())});
        }
    }
    return list;
}

std::vector<stockInfo> MakeCodeList(std::size_t n, uint64_t seed, CodeShape& shape) {
    Rng rng(seed);
    std::vector<std::string> codes;
    std::vector<bool> used4(10000), used5(100000);
    std::vector<uint64_t> used6;
    while (codes.size() < n) {
        const std::size_t kind = rng.Below(100);
        char digits[8];
        if (kind < 55) {
            const std::size_t c = 1101 + rng.Below(8899);
            if (used4[c]) continue;
            used4[c] = true;
            std::snprintf(digits, sizeof digits, "%04zu", c);
        } else if (kind < 80) {
            const std::size_t c = rng.Below(100000);
            if (used5[c]) continue;
            used5[c] = true;
            std::snprintf(digits, sizeof digits, "%05zu", c);
        } else {
            const std::size_t c = rng.Below(1000000);
            if (std::find(used6.begin(), used6.end(), c) != used6.end()) continue;
            used6.push_back(c);
            std::snprintf(digits, sizeof digits, "%06zu", c);
        }
        ++shape.digits[std::strlen(digits)];
        codes.emplace_back(digits);
    }
    std::vector<stockInfo> list;
    for (const std::string& c : codes)
        list.push_back({std::u16string(c.begin(), c.end()), std::u16string(c.begin(), c.end())});
    return list;
}

std::u16string MakeTableText(std::size_t units, const Corpus& corpus, const std::vector<stockInfo>& list,
                             uint64_t seed) {
    Rng rng(seed);
    std::u16string text;
    text.reserve(units + 128);
    const auto number = [&](std::size_t value, std::size_t width) {
        std::string s = std::to_string(value);
        while (s.size() < width) s.insert(s.begin(), '0');
        text.append(s.begin(), s.end());
    };
    while (text.size() < units) {
        text += list[rng.Below(list.size())].strStockName;
        text += u' ';
        for (std::size_t k = 2 + rng.Below(3); k > 0; --k) text.push_back(corpus.han[rng.Below(corpus.han.size())]);
        text += u' ';
        number(1 + rng.Below(2000), 1), text += u'.', number(rng.Below(100), 2), text += u' ';
        text += rng.Chance(0.5) ? u'+' : u'-';
        number(rng.Below(60), 1), text += u'.', number(rng.Below(100), 2), text += u' ';
        number(rng.Below(10), 1), text += u'.', number(rng.Below(100), 2), text += u"% ";
        number(1 + rng.Below(999), 1);
        for (std::size_t k = rng.Below(3); k > 0; --k) text += u',', number(rng.Below(1000), 3);
        text += u' ';
        number(2020 + rng.Below(6), 4), text += u'/', number(1 + rng.Below(12), 2), text += u'/',
            number(1 + rng.Below(28), 2), text += u' ';
        number(9 + rng.Below(5), 2), text += u':', number(rng.Below(60), 2), text += u'\n';
    }
    text.resize(units);
    return text;
}

std::u16string MakeRepetitiveText(std::size_t units, std::size_t period, const Corpus& corpus, uint64_t seed) {
    Rng rng(seed);
    const std::u16string phrase = period == 1 ? std::u16string(1, u'a') : IdeographRun(corpus, period, rng);
    std::u16string text;
    text.reserve(units + period);
    while (text.size() < units) text += phrase;
    text.resize(units);
    return text;
}

std::vector<stockInfo> MakeLongNames(std::size_t count, std::size_t length, const std::u16string& text,
                                     const std::string& where, uint64_t seed) {
    Rng rng(seed);
    std::vector<stockInfo> list;
    for (std::size_t e = 0; e < count; ++e) {
        std::u16string name = text.substr(rng.Below(text.size() - length), length);
        const std::size_t at = where == "end" ? length - 1 : where == "start" ? 0 : length / 2;
        // A unit the text does not have.
        name[at] = static_cast<char16_t>(u'\u3400' + rng.Below(64));
        const std::string code = std::to_string(1101 + e);
        list.push_back({std::move(name), std::u16string(code.begin(), code.end())});
    }
    return list;
}

std::u16string MakeText(std::size_t units, const Corpus& corpus, const std::vector<stockInfo>& list, uint64_t seed) {
    Rng gaps(seed), picks(seed ^ (list.size() * 0x100000001B3ull));
    std::size_t at = gaps.Below(corpus.text.size());
    std::u16string text;
    text.reserve(units + 16);
    while (text.size() < units) {
        const std::size_t gap = 100 + gaps.Below(201);
        for (std::size_t k = 0; k < gap; ++k) {
            text.push_back(corpus.text[at]);
            at = (at + 1) % corpus.text.size();
        }
        text += list[picks.Below(list.size())].strStockName;
    }
    text.resize(units);
    return text;
}

}  // namespace varnoke::bench
