// The matcher as a DLL build compiles it: this driver is built with a
// Windows toolchain against that build's own core library and run under
// Wine, on the lists and texts the native benchmark wrote (make bench).
//
//   dll_bench FOLDER TAG
//
// Reads FOLDER/cases.tsv, checks each configuration's match count and match
// hash against the native result before timing it, and writes
// FOLDER/results-TAG.tsv. A difference ends the run with status 1 and no
// results. Times are the median of repeated FindAll calls on the steady
// clock, each sample at least 2 ms of calls: the thread CPU clock is not
// portable, and on an idle machine the two agree.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/dll_cases.h"

namespace varnoke::bench {
namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

volatile std::size_t g_keep = 0;

// As the native benchmark's fast engines: about a quarter second of samples
// per configuration, 7 to 41 of them.
DllTiming Time(const StockNameMatcher& matcher, std::u16string_view text, double estimate) {
    constexpr double kMinSample = 0.002, kBudget = 0.25;
    const auto inner = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(kMinSample / estimate)));
    const auto samples = std::clamp<std::size_t>(
        static_cast<std::size_t>(kBudget / (static_cast<double>(inner) * estimate)), 7, 41);
    std::vector<double> perCall;
    for (std::size_t s = 0; s < samples; ++s) {
        const double t0 = Now();
        std::size_t keep = 0;
        for (std::size_t k = 0; k < inner; ++k) keep += matcher.FindAll(text, SIZE_MAX)->size();
        perCall.push_back((Now() - t0) / static_cast<double>(inner));
        g_keep = g_keep + keep;
    }
    std::sort(perCall.begin(), perCall.end());
    const std::size_t n = perCall.size();
    DllTiming t;
    t.median = n % 2 ? perCall[n / 2] : (perCall[n / 2 - 1] + perCall[n / 2]) / 2;
    t.min = perCall.front();
    t.max = perCall.back();
    t.runs = n;
    return t;
}

int Main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dll_bench FOLDER TAG\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const std::vector<DllCase> cases = ReadDllCases(folder + "cases.tsv");
    if (cases.empty()) {
        std::fprintf(stderr, "dll_bench: no configurations in %scases.tsv\n", folder.c_str());
        return 2;
    }
    std::vector<DllTiming> timings;
    for (const DllCase& c : cases) {
        std::vector<stockInfo> list;
        std::u16string text;
        if (!ReadDllList(folder + c.list, list) || !ReadDllText(folder + c.text, text)) {
            std::fprintf(stderr, "dll_bench: cannot read %s\n", c.label.c_str());
            return 2;
        }
        const StockNameMatcher matcher(list);
        const double t0 = Now();
        const auto got = matcher.FindAll(text, SIZE_MAX);
        const double first = Now() - t0;
        if (!got || got->size() != c.matches || MatchHash(*got) != c.hash) {
            std::fprintf(stderr, "dll_bench (%s): %s: %zu matches, hash %016llx; the native matcher found %zu, %016llx\n",
                         argv[2], c.label.c_str(), got ? got->size() : 0,
                         static_cast<unsigned long long>(got ? MatchHash(*got) : 0), c.matches,
                         static_cast<unsigned long long>(c.hash));
            return 1;
        }
        DllTiming t = Time(matcher, text, std::max(first, 1e-9));
        t.index = c.index;
        timings.push_back(t);
        std::fprintf(stderr, "dll_bench (%s): %s checked and timed\n", argv[2], c.label.c_str());
    }
    std::ofstream out(folder + "results-" + argv[2] + ".tsv", std::ios::trunc);
    out.precision(9);
    for (const DllTiming& t : timings)
        out << t.index << '\t' << t.median << '\t' << t.min << '\t' << t.max << '\t' << t.runs << '\n';
    return out.flush() ? 0 : 2;
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) { return varnoke::bench::Main(argc, argv); }
