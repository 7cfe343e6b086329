// The matcher as a DLL build compiles it: this driver is built with a
// Windows toolchain against that build's own core library and run under
// Wine, on the lists and texts the native benchmark wrote (make bench).
//
//   dll_bench FOLDER TAG [INDEX]
//   dll_bench --kernel
//
// The second form prints the kernel this build picks on this CPU, as the
// DLL does.
//
// Reads FOLDER/cases.tsv, checks each configuration's match count and match
// hash against the native result before timing it, and writes
// FOLDER/results-TAG.tsv; a difference ends the run with status 1 and no
// results. With INDEX, only that configuration: the native benchmark then
// times Hyperscan right before and after each run. Times are wall-clock:
// Wine's thread CPU clock advances in 10 ms steps, too coarse for samples
// of a few milliseconds, and a few long samples let one burst of other work
// on the machine move the median. As natively, a sample is calls for at
// least 2 ms, and a configuration's time the median of 7 to 41 samples.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "bench/dll_cases.h"
#include "recognizer/matcher_kernels.h"

namespace varnoke::bench {
namespace {

double Wall() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

volatile std::size_t g_keep = 0;

std::size_t Scan(const StockNameMatcher& matcher, std::u16string_view text) {
    std::size_t count = 0;
    matcher.WithMatches(text, [&](std::span<const StockMatch> m) { count = m.size(); }, SIZE_MAX);
    return count;
}

DllTiming Time(const StockNameMatcher& matcher, std::u16string_view text) {
    constexpr double kMinSample = 0.002, kBudget = 0.3;
    double estimate = 1e300;
    for (int k = 0; k < 3; ++k) {
        const double t0 = Wall();
        g_keep = g_keep + Scan(matcher, text);
        estimate = std::min(estimate, std::max(Wall() - t0, 1e-9));
    }
    const auto inner = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(kMinSample / estimate)));
    const std::size_t samples =
        std::clamp<std::size_t>(static_cast<std::size_t>(kBudget / (static_cast<double>(inner) * estimate)), 7, 41);
    std::vector<double> perCall;
    for (std::size_t s = 0; s < samples; ++s) {
        std::size_t keep = 0;
        const double t0 = Wall();
        for (std::size_t k = 0; k < inner; ++k) keep += Scan(matcher, text);
        perCall.push_back((Wall() - t0) / static_cast<double>(inner));
        g_keep = g_keep + keep;
    }
    std::sort(perCall.begin(), perCall.end());
    DllTiming t;
    t.median = perCall.size() % 2 ? perCall[perCall.size() / 2]
                                  : (perCall[perCall.size() / 2 - 1] + perCall[perCall.size() / 2]) / 2;
    t.min = perCall.front();
    t.max = perCall.back();
    t.runs = samples;
    return t;
}

int Main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--kernel") {
        std::printf("%s\n", matcher_kernels::Name(matcher_kernels::Chosen()));
        return 0;
    }
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: dll_bench FOLDER TAG [INDEX] | --kernel\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    std::vector<DllCase> cases = ReadDllCases(folder + "cases.tsv");
    if (argc == 4) {
        const std::string only = argv[3];
        std::erase_if(cases, [&](const DllCase& c) { return std::to_string(c.index) != only; });
    }
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
        const auto got = matcher.FindAll(text, SIZE_MAX);
        if (!got || got->size() != c.matches || MatchHash(*got) != c.hash) {
            std::fprintf(stderr, "dll_bench (%s): %s: %zu matches, hash %016llx; the native matcher found %zu, %016llx\n",
                         argv[2], c.label.c_str(), got ? got->size() : 0,
                         static_cast<unsigned long long>(got ? MatchHash(*got) : 0), c.matches,
                         static_cast<unsigned long long>(c.hash));
            return 1;
        }
        DllTiming t = Time(matcher, text);
        t.index = c.index;
        timings.push_back(t);
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
