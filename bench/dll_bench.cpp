// The matcher as a DLL build compiles it: this driver is built with a
// Windows toolchain against that build's own core library and run under
// Wine, on the lists and texts the native benchmark wrote (make bench).
//
//   dll_bench FOLDER TAG [INDEX]
//   dll_bench --kernel
//
// The second form prints the kernel this build picks on this CPU, as the
// DLL does.
// Reads FOLDER/cases.tsv, checks each configuration's match count and match
// hash against the native result before timing it, and writes
// FOLDER/results-TAG.tsv. With INDEX, only that configuration: the native
// benchmark then times Hyperscan just before and after each run. A difference ends the run with status 1 and no
// results. Times are the thread's CPU time, as natively: Wine's thread clock
// advances in 10 ms steps, so each sample runs calls for at least 250 ms of
// it (within 4%), and a configuration's time is the median of 5 samples.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include <time.h>

#include "bench/dll_cases.h"
#include "recognizer/matcher_kernels.h"

namespace varnoke::bench {
namespace {

// The thread's CPU time (POSIX; the Windows toolchains' thread library maps
// it to the thread's times).
double Cpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Wall() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

volatile std::size_t g_keep = 0;

DllTiming Time(const StockNameMatcher& matcher, std::u16string_view text, double estimate) {
    constexpr double kSample = 0.25, kBetweenLooks = 0.005;
    constexpr std::size_t kSamples = 5;
    // Looking at the clock costs a system call: only every few milliseconds.
    const auto inner = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(kBetweenLooks / estimate)));
    std::vector<double> perCall;
    for (std::size_t s = 0; s < kSamples; ++s) {
        const double t0 = Cpu();
        double elapsed = 0;
        std::size_t calls = 0, keep = 0;
        do {
            for (std::size_t k = 0; k < inner; ++k)
                matcher.WithMatches(text, [&](std::span<const StockMatch> m) { keep += m.size(); }, SIZE_MAX);
            calls += inner;
        } while ((elapsed = Cpu() - t0) < kSample);
        perCall.push_back(elapsed / static_cast<double>(calls));
        g_keep = g_keep + keep;
    }
    std::sort(perCall.begin(), perCall.end());
    DllTiming t;
    t.median = perCall[kSamples / 2];
    t.min = perCall.front();
    t.max = perCall.back();
    t.runs = kSamples;
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
        const double t0 = Wall();
        const auto got = matcher.FindAll(text, SIZE_MAX);
        const double first = Wall() - t0;  // an estimate, finer than the CPU clock here
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
