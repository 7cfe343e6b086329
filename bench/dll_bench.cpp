// The matcher as a DLL build compiles it: this driver is built with a
// Windows toolchain against that build's own core library and run under
// Wine, on the lists and texts the native benchmark wrote (make bench).
//
//   dll_bench [--use KERNEL] FOLDER --serve
//   dll_bench [--use KERNEL] --kernel
//
// The second form prints the kernel this build picks on this CPU, as the
// DLL does; --use makes it take KERNEL instead (avx2 on a processor with
// AVX-512 too, say), when this build has it and the processor runs it.
//
// The first reads FOLDER/cases.tsv and checks each configuration's match
// count and match hash against the native result; a difference ends it
// with status 1. Then it prints "ready" and serves the native benchmark:
// each line "INDEX CALLS" on its input scans that configuration's text
// CALLS times and answers the seconds it took, by the wall clock (Wine's
// thread CPU clock advances in 10 ms steps). The benchmark alternates
// these batches with Hyperscan's, so that a spell of other work on the
// machine falls on both. "quit" or the end of the input ends it.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/dll_cases.h"
#include "recognizer/matcher_kernels.h"

namespace varnoke::bench {
namespace {

double Wall() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

volatile std::size_t g_keep = 0;

std::size_t Scan(const StockNameMatcher& matcher, std::u16string_view text) {
    std::size_t count = 0;
    matcher.WithMatches(
        text, [&](std::span<const StockMatch> m) { count = m.size(); }, SIZE_MAX);
    return count;
}

int Serve(const std::string& folder) {
    const std::vector<DllCase> cases = ReadDllCases(folder + "cases.tsv");
    if (cases.empty()) {
        std::fprintf(stderr, "dll_bench: no configurations in %scases.tsv\n", folder.c_str());
        return 2;
    }
    std::map<std::string, StockNameMatcher> matchers;  // by list file: configurations share lists
    std::map<std::size_t, std::pair<const StockNameMatcher*, std::u16string>> byIndex;
    for (const DllCase& c : cases) {
        auto it = matchers.find(c.list);
        if (it == matchers.end()) {
            std::vector<stockInfo> list;
            if (!ReadDllList(folder + c.list, list)) {
                std::fprintf(stderr, "dll_bench: cannot read %s\n", c.list.c_str());
                return 2;
            }
            it = matchers.emplace(c.list, StockNameMatcher(list)).first;
        }
        std::u16string text;
        if (!ReadDllText(folder + c.text, text)) {
            std::fprintf(stderr, "dll_bench: cannot read %s\n", c.text.c_str());
            return 2;
        }
        const auto got = it->second.FindAll(text, SIZE_MAX);
        if (!got || got->size() != c.matches || MatchHash(*got) != c.hash) {
            std::fprintf(stderr, "dll_bench: %s: %zu matches, hash %016llx; the native matcher found %zu, %016llx\n",
                         c.label.c_str(), got ? got->size() : 0,
                         static_cast<unsigned long long>(got ? MatchHash(*got) : 0), c.matches,
                         static_cast<unsigned long long>(c.hash));
            return 1;
        }
        byIndex[c.index] = {&it->second, std::move(text)};
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        unsigned long long index = 0, calls = 0;
        const auto found = std::sscanf(line, "%llu %llu", &index, &calls) == 2 ? byIndex.find(index) : byIndex.end();
        if (found == byIndex.end() || calls == 0) {
            if (std::string_view(line).starts_with("quit")) break;
            std::printf("error\n");
        } else {
            const auto& [matcher, text] = found->second;
            std::size_t keep = 0;
            const double t0 = Wall();
            for (unsigned long long k = 0; k < calls; ++k) keep += Scan(*matcher, text);
            const double seconds = Wall() - t0;
            g_keep = g_keep + keep;
            std::printf("%.9g\n", seconds);
        }
        std::fflush(stdout);
    }
    return 0;
}

int Main(int argc, char** argv) {
    if (argc >= 3 && std::string_view(argv[1]) == "--use") {
        bool found = false;
        for (const auto kernel : matcher_kernels::Available())
            if (std::string_view(matcher_kernels::Name(kernel)) == argv[2]) matcher_kernels::Use(kernel), found = true;
        if (!found) {
            std::fprintf(stderr, "dll_bench: no kernel %s in this build on this processor\n", argv[2]);
            return 2;
        }
        argc -= 2;
        argv += 2;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--kernel") {
        std::printf("%s\n", matcher_kernels::Name(matcher_kernels::Chosen()));
        return 0;
    }
    if (argc == 3 && std::string_view(argv[2]) == "--serve") return Serve(std::string(argv[1]) + "/");
    std::fprintf(stderr, "usage: dll_bench [--use KERNEL] FOLDER --serve | --kernel\n");
    return 2;
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) { return varnoke::bench::Main(argc, argv); }
