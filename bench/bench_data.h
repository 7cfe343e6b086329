// The benchmark's data: the corpus of Chinese text, the stock lists and the
// texts they are searched in, all from fixed seeds. Standard C++ and the
// core's own headers only, so that a driver built for any platform makes the
// same lists and texts from the same corpus files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "recognizer/stock_info.h"

namespace varnoke::bench {

// Prints "bench: MESSAGE" to stderr and aborts.
[[noreturn]] void Fail(const std::string& message);

// splitmix64: the same sequence on every platform and library, unlike the
// standard distributions.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    std::size_t Below(std::size_t n);  // uniform in [0, n), n < 2^64
    bool Chance(double p);

private:
    uint64_t state_;
};

struct Corpus {
    std::u16string text;        // cleaned fortunes, one after another
    std::vector<char16_t> han;  // ideographs seen at least 3 times, ascending
};

bool IsHan(char16_t c);

// Fortune files: entries separated by "%" lines, with terminal colour codes.
// Entries that are mostly Chinese are kept, runs of blanks squeezed to one.
Corpus LoadCorpus(const std::vector<std::string>& files);

struct ListShape {
    std::size_t codeOnly = 0, latin = 0, prefixed = 0, duplicates = 0;
};

// A list in the shape of the shipped one (the "generated" family).
std::vector<stockInfo> MakeList(std::size_t n, const std::vector<char16_t>& han, uint64_t seed, ListShape& shape);

struct PrefixShape {
    std::size_t frequentPairs = 0;  // distinct frequent pairs the names may start with
    std::size_t pairShare = 0;      // per mille of the corpus's positions that hold one
    std::size_t frequentStart = 0;  // names that start with one of them
    std::size_t followText = 0;     //   of which continue the way the corpus does
    std::size_t nearMiss = 0;       //     of which then differ in their last unit
    std::size_t digits = 0;         // digit names with shared first digits
    std::size_t duplicates = 0;
};

// The "prefix-heavy" family: names that start where the text's most
// frequent pairs of ideographs are, many continuing as the corpus does.
std::vector<stockInfo> MakePrefixHeavyList(std::size_t n, const Corpus& corpus, uint64_t seed, PrefixShape& shape);

struct SharedShape {
    std::size_t groups = 0;                // distinct shared beginnings
    std::size_t prefixUnits[9] = {};       // groups by the length of their beginning (2 to 8)
    std::size_t lastOne = 0, lastTwo = 0;  // groups whose names differ in their last unit, last two
};

// The "shared N" families: groups of N names (fewer in a list shorter than
// N) that begin alike and differ only in their last one or two units. Each
// group's beginning is 2 to 8 units of the corpus, taken where it has
// ideographs, so that it stands in the text as often as the corpus has
// it; the last units are ideographs the corpus has.
std::vector<stockInfo> MakeSharedPrefixList(std::size_t n, std::size_t perPrefix, const Corpus& corpus, uint64_t seed,
                                            SharedShape& shape);

struct CodeShape {
    std::size_t digits[7] = {};  // codes by their length (4 to 6)
};

// The "codes" family: the codes of a whole market, 4 to 6 digits long (as
// four-digit stocks, five-digit funds and six-digit warrants and bonds
// are), all distinct.
std::vector<stockInfo> MakeCodeList(std::size_t n, uint64_t seed, CodeShape& shape);

// Digit-dense text for the codes: lines of a price table (a listed code,
// a short name of corpus ideographs, price, change, percentage, volume with
// thousands separators, date and time), about two thirds digits.
std::u16string MakeTableText(std::size_t units, const Corpus& corpus, const std::vector<stockInfo>& list,
                             uint64_t seed);

// The long-name family: repetitive text, a phrase of `period` corpus units
// (one unit for the plainest case) repeated; each name is `length` units
// of that text from a seeded offset with one unit changed at its end, its
// middle or its start ("end", "middle", "start"), so that the text goes on
// the way the name does for a long stretch and then differs.
std::u16string MakeRepetitiveText(std::size_t units, std::size_t period, const Corpus& corpus, uint64_t seed);
std::vector<stockInfo> MakeLongNames(std::size_t count, std::size_t length, const std::u16string& text,
                                     const std::string& where, uint64_t seed);

// Corpus text from a seeded offset with a list name planted every 100-300
// units. The gaps depend on the seed alone, so the texts for different
// lists differ only in the names planted.
std::u16string MakeText(std::size_t units, const Corpus& corpus, const std::vector<stockInfo>& list, uint64_t seed);

}  // namespace varnoke::bench
