// The recognizer benchmark: StockNameMatcher against the per-entry search,
// a Hyperscan literal set (its result made the recognizer's, and its scan
// alone) and a bare pass over the text, on families of generated stock lists
// over real Chinese text, price tables and repetitive text; then the cost of
// loading a list file.
//
//   recognizer_bench [--dll LABEL=COMMAND | --dll-not-run LABEL=REASON]... [--only FAMILY]
//                    WORK_DIR CORPUS_FILE...
//
// Lists and texts come from fixed seeds, so every run measures the same
// data. Every engine's matches are compared with the per-entry search's (or,
// where that would take too long, with its linear-time twin's or with
// Hyperscan's, checked against it on the family's smaller configurations)
// before anything is timed; a difference aborts the run. Times are the
// thread's CPU time, medians over repeated runs, the engines interleaved run
// by run so that a busy machine slows all of them alike; a DLL driver's
// times are wall-clock, in batches taken in turn with Hyperscan's. Goals are
// printed as met or not: a benchmark reports, it does not fail on speed.
#include <hs.h>
#include <malloc.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "adapters/posix/pugi_xml.h"
#include "bench/dll_cases.h"
#include "bench/bench_data.h"
#include "core/unicode.h"
#include "recognizer/matcher.h"
#include "recognizer/matcher_kernels.h"
#include "recognizer/st_recognizer.h"
#include "recognizer/stock_info.h"
#include "tests/per_entry_reference.h"
#include "tests/xml_escape.h"

namespace varnoke::bench {
namespace {

using test::LinearReference;
using test::PerEntryReference;

static_assert(std::endian::native == std::endian::little, "Hyperscan is fed the text's own bytes as UTF-16LE");

std::string XmlEscape(std::u16string_view s) { return test::XmlEscape(Utf16ToUtf8(s)); }

// The shipped list's layout: a comment before each group of entries.
void WriteListXml(const std::filesystem::path& path, const std::vector<stockInfo>& list) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<StockData>\n";
    for (std::size_t e = 0; e < list.size(); ++e) {
        if (e % 40 == 0) out << "  <!-- 第" << e / 40 + 1 << "組 -->\n";
        out << "  <KestriaStockList><StockName>" << XmlEscape(list[e].strStockName) << "</StockName><StockID>"
            << XmlEscape(list[e].strStockID) << "</StockID></KestriaStockList>\n";
    }
    out << "</StockData>\n";
    if (!out.flush()) Fail("cannot write " + path.string());
}

// ---------------------------------------------------------------------------
// Engines

// Hyperscan's runtime holds one build of its engines per instruction set
// and runs the widest this processor has. Its AVX2 build, what a processor
// without AVX-512 runs, is exported beside the dispatching entry; weak, so
// that a runtime without it only loses that comparison.
extern "C" hs_error_t avx2_hs_scan(const hs_database_t* db, const char* data, unsigned length, unsigned flags,
                                   hs_scratch_t* scratch, match_event_handler onEvent, void* context)
    __attribute__((weak));

// Whether Hyperscan runs a wider build here than its AVX2 one (its AVX-512
// builds need AVX512BW), so that the AVX2 kernel has an AVX2 Hyperscan of
// its own to be compared with.
bool HyperscanRunsWiderThanAvx2() {
    return avx2_hs_scan != nullptr && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw");
}

// Hyperscan over the UTF-16LE bytes of the distinct names. It reports every
// end of every literal; a start at an odd byte is not a code-unit match.
// The matches are expanded to entries and put in the contract's order here,
// inside the timed call, as the recognizer must.
class HyperscanEngine {
public:
    // avx2: the database compiled for AVX2 processors and scanned by that build.
    explicit HyperscanEngine(const std::vector<stockInfo>& list, bool avx2 = false)
        : scan_(avx2 ? avx2_hs_scan : hs_scan), entryLength_(list.size(), 0) {
        if (!scan_) Fail("Hyperscan has no AVX2 build here");
        std::unordered_map<std::u16string_view, uint32_t> patternOf;
        std::vector<std::vector<uint32_t>> patternEntries;
        std::vector<const char*> expressions;
        std::vector<std::size_t> lengths;
        for (uint32_t e = 0; e < list.size(); ++e) {
            const std::u16string_view name = list[e].strStockName;
            entryLength_[e] = static_cast<uint32_t>(name.size());
            if (name.empty()) continue;
            auto [it, inserted] = patternOf.try_emplace(name, static_cast<uint32_t>(expressions.size()));
            if (inserted) {
                expressions.push_back(reinterpret_cast<const char*>(name.data()));
                lengths.push_back(name.size() * sizeof(char16_t));
                patternBytes_.push_back(static_cast<uint32_t>(name.size() * sizeof(char16_t)));
                patternEntries.emplace_back();
            }
            patternEntries[it->second].push_back(e);
        }
        for (const auto& es : patternEntries) {
            entryStart_.push_back(static_cast<uint32_t>(entries_.size()));
            entries_.insert(entries_.end(), es.begin(), es.end());
        }
        entryStart_.push_back(static_cast<uint32_t>(entries_.size()));
        if (expressions.empty()) return;

        const std::vector<unsigned> flags(expressions.size(), 0);
        std::vector<unsigned> ids(expressions.size());
        for (unsigned i = 0; i < ids.size(); ++i) ids[i] = i;
        hs_compile_error_t* error = nullptr;
        hs_platform_info_t avx2Platform{};
        avx2Platform.tune = HS_TUNE_FAMILY_HSW;
        avx2Platform.cpu_features = HS_CPU_FEATURES_AVX2;
        if (hs_compile_lit_multi(expressions.data(), flags.data(), ids.data(), lengths.data(),
                                 static_cast<unsigned>(expressions.size()), HS_MODE_BLOCK,
                                 avx2 ? &avx2Platform : nullptr, &db_, &error) != HS_SUCCESS) {
            // It refuses literals past a length: the long-name family's longer rows.
            refused_ = error && error->message ? error->message : "unknown error";
            hs_free_compile_error(error);
            db_ = nullptr;
            return;
        }
        if (hs_alloc_scratch(db_, &scratch_) != HS_SUCCESS) Fail("hs_alloc_scratch failed");
    }
    ~HyperscanEngine() {
        hs_free_scratch(scratch_);
        hs_free_database(db_);
    }
    HyperscanEngine(const HyperscanEngine&) = delete;
    HyperscanEngine& operator=(const HyperscanEngine&) = delete;

    // Why it compiled no database; empty when it did.
    const std::string& Refused() const { return refused_; }

    std::size_t DatabaseBytes() const {
        std::size_t size = 0;
        if (db_ && hs_database_size(db_, &size) != HS_SUCCESS) Fail("hs_database_size failed");
        return size;
    }
    std::size_t ScratchBytes() const {
        std::size_t size = 0;
        if (scratch_ && hs_scratch_size(scratch_, &size) != HS_SUCCESS) Fail("hs_scratch_size failed");
        return size;
    }

    // The matches, in a vector kept between scans (as the matcher keeps its
    // buffers): neither engine asks the heap for anything once warm.
    // The scan alone, its matches only counted: what Hyperscan costs before
    // its result is the recognizer's (entries, list order).
    std::size_t RawScan(std::u16string_view text) {
        std::size_t count = 0;
        if (db_ &&
            scan_(db_, reinterpret_cast<const char*>(text.data()),
                  static_cast<unsigned>(text.size() * sizeof(char16_t)), 0, scratch_, &Count, &count) != HS_SUCCESS)
            Fail("hs_scan failed");
        return count;
    }

    const std::vector<StockMatch>& Scan(std::u16string_view text) {
        std::vector<StockMatch>& matches = matches_;
        matches.clear();
        if (!db_) return matches;
        keys_.clear();
        if (scan_(db_, reinterpret_cast<const char*>(text.data()),
                  static_cast<unsigned>(text.size() * sizeof(char16_t)), 0, scratch_, &OnMatch, this) != HS_SUCCESS)
            Fail("hs_scan failed");
        // Entry in the high half, start in the low: one sort gives the order.
        std::sort(keys_.begin(), keys_.end());
        for (uint64_t key : keys_) {
            const auto entry = static_cast<uint32_t>(key >> 32);
            matches.push_back({entry, static_cast<uint32_t>(key), entryLength_[entry]});
        }
        return matches;
    }

private:
    static int Count(unsigned, unsigned long long, unsigned long long, unsigned, void* context) {
        ++*static_cast<std::size_t*>(context);
        return 0;
    }
    static int OnMatch(unsigned id, unsigned long long, unsigned long long to, unsigned, void* context) {
        auto* self = static_cast<HyperscanEngine*>(context);
        const unsigned long long start = to - self->patternBytes_[id];
        if (start & 1) return 0;
        const uint64_t position = start / 2;
        for (uint32_t k = self->entryStart_[id]; k < self->entryStart_[id + 1]; ++k)
            self->keys_.push_back(uint64_t{self->entries_[k]} << 32 | position);
        return 0;
    }

    decltype(&hs_scan) scan_;
    hs_database_t* db_ = nullptr;
    hs_scratch_t* scratch_ = nullptr;
    std::string refused_;
    std::vector<uint32_t> patternBytes_;  // per distinct name
    std::vector<uint32_t> entryStart_;    // per distinct name: entries_[entryStart_[p], entryStart_[p + 1])
    std::vector<uint32_t> entries_;
    std::vector<uint32_t> entryLength_;  // per entry, in code units
    std::vector<uint64_t> keys_;         // reused between scans
    std::vector<StockMatch> matches_;    // reused between scans
};

// The matcher as the recognizer runs it: its matches handed over in place.
std::size_t MatchCount(const StockNameMatcher& matcher, std::u16string_view text) {
    std::size_t count = 0;
    matcher.WithMatches(
        text, [&](std::span<const StockMatch> matches) { count = matches.size(); }, SIZE_MAX);
    return count;
}

// Reads every code unit once; the sum goes to a volatile so the loop stays.
volatile uint64_t g_sink = 0;
std::size_t MemoryFloor(std::u16string_view text) {
    uint64_t sum = 0;
    for (char16_t c : text) sum += c;
    g_sink = g_sink + sum;
    return static_cast<std::size_t>(sum & 1);
}

void Check(const char* engine, const std::string& cell, const std::vector<StockMatch>& got,
           const std::vector<StockMatch>& want, const std::vector<stockInfo>& list) {
    if (got == want) return;
    std::size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    const auto show = [&](const std::vector<StockMatch>& v) {
        if (i >= v.size()) return std::string("(none)");
        return "entry " + std::to_string(v[i].entry) + " \"" + Utf16ToUtf8(list[v[i].entry].strStockName) + "\" at " +
               std::to_string(v[i].position) + " length " + std::to_string(v[i].length);
    };
    Fail(std::string(engine) + " differs from the per-entry search on " + cell + ": " + std::to_string(got.size()) +
         " matches against " + std::to_string(want.size()) + "; first difference at match " + std::to_string(i) + ": " +
         show(got) + " instead of " + show(want));
}

// ---------------------------------------------------------------------------
// Timing

// The thread's CPU time, not the wall clock: on a shared machine the time
// spent waiting for a core is not the engine's. All engines are single
// threaded, so on an idle machine the two agree.
double Now() {
    timespec ts{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) Fail("no thread CPU clock");
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Where a time is compared with one taken in another process (a DLL
// driver under Wine), both are wall-clock.
double Wall() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

volatile std::size_t g_keep = 0;

template <class F>
double TimeOnce(F&& f) {
    const double t0 = Now();
    g_keep = g_keep + f();
    return Now() - t0;
}

struct Summary {
    double median = 0, min = 0, max = 0;  // seconds per call
    std::size_t runs = 0;
};

Summary Summarize(std::vector<double> v) {
    if (v.empty()) Fail("no timing samples");
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return {n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back(), n};
}

// One engine's timed runs. A sample is `inner` calls, long enough for the
// clock; the sample count follows from a time budget, within bounds.
struct Timed {
    Timed(std::function<std::size_t()> f, double estimateSeconds, double budgetSeconds, std::size_t fewest,
          std::size_t most)
        : call(std::move(f)), estimate(estimateSeconds), budget(budgetSeconds), minSamples(fewest), maxSamples(most) {}

    std::function<std::size_t()> call;
    double estimate;  // seconds per call, from an earlier call
    double budget;
    std::size_t minSamples, maxSamples;
    std::vector<double> perCall;  // filled by RunInterleaved (may be seeded)
    std::size_t inner = 1, samples = 0;
    std::size_t calls = 0;  // calls timed in all

    void Plan() {
        constexpr double kMinSample = 0.002;
        inner = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(kMinSample / estimate)));
        const auto fit = static_cast<std::size_t>(budget / (static_cast<double>(inner) * estimate));
        samples = std::clamp(fit, minSamples, maxSamples);
    }
};

void RunInterleaved(std::vector<Timed*> engines) {
    for (Timed* t : engines) t->Plan();
    std::size_t most = 0;
    for (Timed* t : engines) most = std::max(most, t->samples);
    for (std::size_t s = 0; s < most; ++s) {
        for (Timed* t : engines) {
            if (t->perCall.size() >= t->samples) continue;
            const double t0 = Now();
            std::size_t keep = 0;
            for (std::size_t k = 0; k < t->inner; ++k) keep += t->call();
            const double elapsed = Now() - t0;
            g_keep = g_keep + keep;
            t->perCall.push_back(elapsed / static_cast<double>(t->inner));
            t->calls += t->inner;
        }
    }
}

template <class F>
Summary Repeat(F&& f, std::size_t runs) {
    std::vector<double> v;
    for (std::size_t i = 0; i < runs; ++i) v.push_back(TimeOnce(f));
    return Summarize(std::move(v));
}

// ---------------------------------------------------------------------------
// Report

// Other work on the machine shows in the timings: say how much there was.
std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string oneMinute;
    if (!(in >> oneMinute)) return "unknown";
    return oneMinute + " on " + std::to_string(std::thread::hardware_concurrency()) + " CPUs";
}

std::string Grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string s;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) s.push_back(',');
        s.push_back(digits[i]);
    }
    return s;
}

std::string Format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string KiB(std::size_t bytes) { return Format("%.1f", static_cast<double>(bytes) / 1024.0); }

std::string TextLabel(std::size_t bytes) {
    return bytes >= (1u << 20) ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes >> 10) + " KiB";
}

using matcher_kernels::Kernel;

// One configuration: a list, a text, and every engine's time on it.
struct Cell {
    std::string family;
    std::size_t entries = 0, bytes = 0, matches = 0;
    std::size_t nameUnits = 0;             // the long-name family's name length; 0 in the others
    std::optional<Summary> reference;      // the per-entry search, where it is timed
    std::optional<Summary> hyperscan;      // where Hyperscan compiles the list: its result as the recognizer's
    std::optional<Summary> raw;            // ... and its scan alone, the matches only counted
    std::optional<Summary> hyperscanAvx2;  // its AVX2 build, where it runs a wider one here
    std::string hyperscanRefused;
    std::vector<std::pair<Kernel, Summary>> kernels;  // the matcher under every kernel this CPU runs
    Summary floor;
    StockNameMatcher::ScanStats stats;  // the chosen kernel's scan

    std::string Label() const {
        return family + ", " +
               (nameUnits ? Grouped(entries) + " × " + Grouped(nameUnits) + " units" : Grouped(entries) + " entries") +
               " × " + TextLabel(bytes);
    }
    const Summary& Matcher(Kernel k) const {
        for (const auto& [kernel, s] : kernels)
            if (kernel == k) return s;
        Fail("no such kernel");
    }
    // Median throughput against Hyperscan's; nothing where it refused.
    std::optional<double> OverHs(double seconds) const {
        if (!hyperscan) return std::nullopt;
        return hyperscan->median / seconds;
    }
    // Against Hyperscan as a processor without AVX-512 runs it: its AVX2
    // build, or what it runs here when that is no wider.
    std::optional<double> OverHsAvx2(double seconds) const {
        if (!hyperscanAvx2) return OverHs(seconds);
        return hyperscanAvx2->median / seconds;
    }
    // The kernel's own Hyperscan: the AVX2 kernel against the AVX2 build.
    std::optional<double> OverHsFor(Kernel k, double seconds) const {
        return k == Kernel::avx2 ? OverHsAvx2(seconds) : OverHs(seconds);
    }
};

// What a list's build costs and holds.
struct ListRow {
    std::string label;
    double matcherBuild = 0, hsBuild = 0;  // seconds, median
    std::size_t matcherMemory = 0, hsDatabase = 0, hsScratch = 0;
    bool hsCompiled = false;
};

double MBps(std::size_t bytes, double seconds) { return static_cast<double>(bytes) / seconds / 1e6; }

std::string Ratio(std::optional<double> r) { return r ? Format("%.2f", *r) : "-"; }

void PrintCellHeader(const std::vector<Kernel>& kernels, Kernel chosen) {
    std::printf("%-18s %7s %8s %9s %9s %9s %9s %9s %9s %7s", "list", "entries", "text", "matches", "per-entry",
                "Hyper raw", "Hyperscan", "Hyp avx2",
                (std::string("ours (") + matcher_kernels::Name(chosen) + ")").c_str(), "×Hyper");
    for (Kernel k : kernels)
        if (k != chosen) std::printf(" %8s", (std::string(matcher_kernels::Name(k)) + "×").c_str());
    std::printf(" %9s %6s %6s %7s %7s\n", "floor", "1st %", "2nd %", "probes", "work");
}

void PrintCell(const Cell& c, Kernel chosen) {
    const double positions = static_cast<double>(std::max<uint64_t>(c.stats.positions, 1));
    const double units = static_cast<double>(std::max<std::size_t>(c.bytes / 2, 1));
    const double ours = c.Matcher(chosen).median;
    std::printf("%-18s %7s %8s %9s %9s %9s %9s %9s %9s %7s", c.family.c_str(),
                c.nameUnits ? (Grouped(c.entries) + "×" + Grouped(c.nameUnits)).c_str() : Grouped(c.entries).c_str(),
                TextLabel(c.bytes).c_str(), Grouped(c.matches).c_str(),
                c.reference ? Format("%.1f", MBps(c.bytes, c.reference->median)).c_str() : "-",
                c.raw ? Format("%.0f", MBps(c.bytes, c.raw->median)).c_str() : "refuses",
                c.hyperscan ? Format("%.0f", MBps(c.bytes, c.hyperscan->median)).c_str() : "refuses",
                c.hyperscanAvx2 ? Format("%.0f", MBps(c.bytes, c.hyperscanAvx2->median)).c_str() : "-",
                Format("%.0f", MBps(c.bytes, ours)).c_str(), Ratio(c.OverHsFor(chosen, ours)).c_str());
    for (const auto& [k, s] : c.kernels)
        if (k != chosen) std::printf(" %8s", Ratio(c.OverHsFor(k, s.median)).c_str());
    std::printf(" %9s %6s %6s %7s %7s\n", Format("%.0f", MBps(c.bytes, c.floor.median)).c_str(),
                Format("%.2f", 100.0 * static_cast<double>(c.stats.passedFirst) / positions).c_str(),
                Format("%.2f", 100.0 * static_cast<double>(c.stats.passed) / positions).c_str(),
                Format("%.3f", static_cast<double>(c.stats.probes) / positions).c_str(),
                Format("%.3f", static_cast<double>(c.stats.Work()) / units).c_str());
}

const Cell& Find(const std::vector<Cell>& cells, const std::string& family, std::size_t entries, std::size_t bytes) {
    for (const Cell& c : cells)
        if (c.family == family && c.entries == entries && c.bytes == bytes && c.nameUnits == 0) return c;
    Fail("no such cell");
}

void Goal(const std::string& label, bool met, const std::string& detail) {
    std::printf("  %-7s  %s: %s\n", met ? "met" : "NOT met", label.c_str(), detail.c_str());
}

// A goal none of whose configurations ran (--only left them out).
void Unmeasured(const std::string& label) {
    std::printf("  %-7s  %s: no configuration of it ran\n", "-", label.c_str());
}

// The lowest of a ratio over the configurations that have it, and where;
// an empty label where none has.
template <class Ratio>
std::pair<double, std::string> Worst(const std::vector<Cell>& cells, Ratio&& ratio) {
    double worst = 1e300;
    std::string at;
    for (const Cell& c : cells)
        if (const auto r = ratio(c); r && *r < worst) worst = *r, at = c.Label();
    return {worst, at};
}

// The must and the goal against Hyperscan for one engine, over every
// configuration Hyperscan compiles.
template <class Ratio>
void HyperscanGoals(const std::string& engine, const std::string& against, const std::vector<Cell>& cells,
                    Ratio&& ratio) {
    const auto [worst, at] = Worst(cells, ratio);
    if (at.empty()) return;
    const std::string detail = "worst " + Format("%.2f", worst) + "× (" + at + ")";
    Goal("must: " + engine + " ≥ 0.7× " + against, worst >= 0.7, detail);
    Goal("goal: " + engine + " ≥ 1.0× " + against, worst >= 1.0, detail);
}

// ---------------------------------------------------------------------------
// The DLL builds' kernels

// A DLL build's driver (bench/dll_bench.cpp): run by COMMAND FOLDER --serve
// once every configuration is written; or, when it cannot run here
// comparably, why not.
struct DllKernel {
    std::string label, command, notRun;
};

// Every configuration, as it is measured, written for the drivers: the same
// lists and texts, and the native matcher's match count and hash to check
// against before timing.
class DllExport {
public:
    explicit DllExport(std::filesystem::path folder) : folder_(std::move(folder)) {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    const std::string& Label(std::size_t index) const { return labels_.at(index); }

    // Returns the configuration's index, its place among the cells.
    std::size_t Add(const std::string& label, const std::vector<stockInfo>& list, std::u16string_view text,
                    const std::vector<StockMatch>& matches) {
        DllCase c;
        c.index = count_++;
        auto [it, fresh] = listFiles_.try_emplace(&list, "list-" + std::to_string(c.index) + ".bin");
        if (fresh && !WriteDllList((folder_ / it->second).string(), list)) Fail("cannot write " + it->second);
        c.list = it->second;
        c.text = "text-" + std::to_string(c.index) + ".bin";
        if (!WriteDllText((folder_ / c.text).string(), text)) Fail("cannot write " + c.text);
        c.matches = matches.size();
        c.hash = MatchHash(matches);
        c.label = label;
        labels_.push_back(label);
        std::ofstream out(folder_ / "cases.tsv", std::ios::app);
        if (!(out << DllCaseLine(c) << '\n')) Fail("cannot write cases.tsv");
        return c.index;
    }

    const std::filesystem::path& Folder() const { return folder_; }

    // The kernel the driver's build picks on this CPU ("?" when it does not say).
    static std::string Kernel(const DllKernel& k) {
        std::fflush(stdout);
        FILE* out = popen((k.command + " --kernel").c_str(), "r");
        if (!out) return "?";
        char name[64] = {};
        const bool read = std::fgets(name, sizeof name, out) != nullptr;
        const int status = pclose(out);
        std::string kernel = read && status == 0 ? name : "?";
        while (!kernel.empty() && (kernel.back() == '\n' || kernel.back() == '\r')) kernel.pop_back();
        return kernel.empty() ? "?" : kernel;
    }

private:
    std::filesystem::path folder_;
    std::size_t count_ = 0;
    std::vector<std::string> labels_;  // by index
    std::unordered_map<const void*, std::string> listFiles_;
};

// A DLL build's driver, running under Wine for the whole DLL section and
// timing batches of scans on request, so that its samples can alternate
// with Hyperscan's.
class DllDriver {
public:
    DllDriver(const DllKernel& k, const std::filesystem::path& folder) {
        int toDriver[2], fromDriver[2];
        if (pipe(toDriver) != 0) return;
        if (pipe(fromDriver) != 0) {
            close(toDriver[0]);
            close(toDriver[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toDriver[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromDriver[1], 1);
        for (const int fd : {toDriver[0], toDriver[1], fromDriver[0], fromDriver[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        const std::string command = k.command + " '" + folder.string() + "' --serve";
        const char* args[] = {"sh", "-c", command.c_str(), nullptr};
        std::fflush(stdout);
        if (posix_spawn(&pid_, "/bin/sh", &actions, nullptr, const_cast<char* const*>(args), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(toDriver[0]);
        close(fromDriver[1]);
        requests_ = fdopen(toDriver[1], "w");
        answers_ = fdopen(fromDriver[0], "r");
        // Wine may print before the driver does.
        std::string line;
        while (pid_ > 0 && Line(line))
            if (line == "ready") {
                ready_ = true;
                break;
            }
    }
    DllDriver(const DllDriver&) = delete;
    DllDriver& operator=(const DllDriver&) = delete;
    ~DllDriver() {
        if (requests_) {
            std::fputs("quit\n", requests_);
            std::fclose(requests_);
        }
        if (answers_) std::fclose(answers_);
        int status = 0;
        if (pid_ > 0) waitpid(pid_, &status, 0);
    }

    // Whether it checked every configuration's matches and waits for requests.
    bool Ready() const { return ready_; }

    // Seconds for `calls` scans of configuration `index`; nothing when it failed.
    std::optional<double> Time(std::size_t index, std::size_t calls) {
        if (!ready_) return std::nullopt;
        std::fprintf(requests_, "%zu %zu\n", index, calls);
        std::string line;
        if (std::fflush(requests_) != 0 || !Line(line)) return ready_ = false, std::nullopt;
        char* end = nullptr;
        const double seconds = std::strtod(line.c_str(), &end);
        if (end == line.c_str() || *end != '\0' || !(seconds >= 0)) return ready_ = false, std::nullopt;
        return seconds;
    }

private:
    bool Line(std::string& line) {
        char buffer[256];
        if (!answers_ || !std::fgets(buffer, sizeof buffer, answers_)) return false;
        line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();  // Windows line ends
        return true;
    }

    pid_t pid_ = -1;
    FILE* requests_ = nullptr;
    FILE* answers_ = nullptr;
    bool ready_ = false;
};

// --dll LABEL=COMMAND and --dll-not-run LABEL=REASON, before the work folder.
std::vector<DllKernel> DllOptions(int& argc, char**& argv) {
    std::vector<DllKernel> kernels;
    while (argc >= 3 && (std::string_view(argv[1]) == "--dll" || std::string_view(argv[1]) == "--dll-not-run")) {
        const std::string value = argv[2];
        const std::size_t eq = value.find('=');
        if (eq == std::string::npos || value.find_first_of("'/") < eq)
            Fail("bad " + std::string(argv[1]) + " " + value);
        DllKernel k{value.substr(0, eq), "", ""};
        (std::string_view(argv[1]) == "--dll" ? k.command : k.notRun) = value.substr(eq + 1);
        kernels.push_back(std::move(k));
        argc -= 2;
        argv += 2;
    }
    return kernels;
}

// ---------------------------------------------------------------------------

int Main(int argc, char** argv) {
    const char* self = argv[0];
    const std::vector<DllKernel> dllKernels = DllOptions(argc, argv);
    // --only TEXT: the families whose name holds TEXT alone, while working on one.
    std::string only;
    if (argc >= 3 && std::string_view(argv[1]) == "--only") {
        only = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: %s [--dll LABEL=COMMAND | --dll-not-run LABEL=REASON]... [--only FAMILY] WORK_DIR CORPUS_FILE...\n",
            self);
        return 2;
    }
    const std::filesystem::path work = argv[1];
    std::filesystem::create_directories(work);
    const Corpus corpus = LoadCorpus(std::vector<std::string>(argv + 2, argv + argc));
    DllExport dllExport(work / "dll");

    const std::vector<std::size_t> listSizes = {100, 1000, 10000};
    const std::vector<std::size_t> textBytes = {1u << 10, 64u << 10, 4u << 20};
    const std::vector<std::size_t> longLengths = {10, 1000, 10000, 100000};
    constexpr std::size_t kLongBytes = 1u << 20;
    constexpr double kBudget = 0.25;    // seconds of timed runs per fast engine and cell
    constexpr double kRefBudget = 1.0;  // the per-entry search: its check run may be all it gets
    // Where the per-entry search is not timed, it checks the others only up
    // to this many entries times units; past that Hyperscan's matches,
    // checked against it on the family's smaller configurations, do.
    constexpr double kReferenceWork = 1 << 27;

    // Everything runs on one CPU, the DLL drivers too (they inherit it). Left
    // to the scheduler, a run moved between CPUs, or a driver woke on the
    // other CPU than the Hyperscan batches it is compared with, and its times
    // jumped by half between runs of the same code.
    const int cpu = sched_getcpu();
    if (cpu >= 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0) std::printf("(cannot keep to one CPU: times may jump)\n");
    }
    std::printf("Recognizer benchmark (load average at start: %s; on CPU %d)\n", LoadAverage().c_str(), cpu);
    std::printf(
        "text: %s code units of Chinese fortunes (%zu files), %s distinct ideographs; "
        "a list name planted every 100-300 units\n\n",
        Grouped(corpus.text.size()).c_str(), static_cast<std::size_t>(argc - 2), Grouped(corpus.han.size()).c_str());

    // The families of lists, each at every size, and the texts they are
    // searched in.
    struct Family {
        std::string name;
        std::vector<std::vector<stockInfo>> lists;  // by listSizes
        bool table = false;                         // price tables rather than corpus text
        bool timeReference = false;                 // the per-entry search is timed (goal ii)
    };
    std::vector<Family> families;
    std::vector<std::filesystem::path> xmlFiles;  // the generated lists, for the load
    families.push_back({"generated", {}, false, true});
    for (std::size_t n : listSizes) {
        ListShape shape;
        families.back().lists.push_back(MakeList(n, corpus.han, 0xC0FFEE00 + n, shape));
        xmlFiles.push_back(work / ("stocks-" + std::to_string(n) + ".xml"));
        WriteListXml(xmlFiles.back(), families.back().lists.back());
        std::printf(
            "generated, %s entries: the shipped list's shape; %zu code-only, %zu Latin or with Latin, "
            "%zu prefix/extension of another, %zu repeated names; %s\n",
            Grouped(n).c_str(), shape.codeOnly, shape.latin, shape.prefixed, shape.duplicates,
            xmlFiles.back().string().c_str());
    }
    families.push_back({"prefix", {}, false, true});
    for (std::size_t n : listSizes) {
        PrefixShape shape;
        families.back().lists.push_back(MakePrefixHeavyList(n, corpus, 0x9AEF1C00 + n, shape));
        std::printf(
            "prefix, %s entries: %zu start with one of the corpus's %zu most frequent pairs "
            "(%.1f%% of its positions), %zu of them continue as the corpus does, %zu then differ in the "
            "last unit; %zu digit names sharing their first two digits; %zu repeated names\n",
            Grouped(n).c_str(), shape.frequentStart, shape.frequentPairs, static_cast<double>(shape.pairShare) / 10.0,
            shape.followText, shape.nearMiss, shape.digits, shape.duplicates);
    }
    for (std::size_t per : {1, 10, 100, 1000}) {
        families.push_back({"shared " + std::to_string(per), {}, false, false});
        for (std::size_t n : listSizes) {
            SharedShape shape;
            families.back().lists.push_back(MakeSharedPrefixList(n, per, corpus, 0x5A4ED000 + per * 31 + n, shape));
            std::string lengths;
            for (std::size_t u = 2; u <= 8; ++u) lengths += " " + std::to_string(shape.prefixUnits[u]);
            std::printf(
                "shared %zu, %s entries: %zu beginnings of 2-8 corpus units (by length:%s), names "
                "differing in their last unit (%zu groups) or two (%zu)\n",
                per, Grouped(n).c_str(), shape.groups, lengths.c_str(), shape.lastOne, shape.lastTwo);
        }
    }
    families.push_back({"codes", {}, true, false});
    for (std::size_t n : listSizes) {
        CodeShape shape;
        families.back().lists.push_back(MakeCodeList(n, 0xC0DE5000 + n, shape));
        std::printf("codes, %s entries: %zu of 4 digits, %zu of 5, %zu of 6, over price tables\n", Grouped(n).c_str(),
                    shape.digits[4], shape.digits[5], shape.digits[6]);
    }
    // The long names: one (or ten) over repetitive text, by length.
    struct LongKind {
        std::size_t period;
        std::string where;
        std::size_t names;
        std::string Name() const {
            return "long " + where + (period == 1 ? " a" : " p" + std::to_string(period)) +
                   (names > 1 ? " ×" + std::to_string(names) : "");
        }
    };
    const std::vector<LongKind> longKinds = {
        {1, "end", 1}, {7, "end", 1}, {7, "middle", 1}, {7, "start", 1}, {7, "end", 10}};
    std::printf(
        "long: names of 10 to 10^5 units over %s of repetitive text (\"a\" repeated, or a 7-unit "
        "corpus phrase repeated), each name a stretch of that text with one unit changed at its end, "
        "middle or start\n",
        TextLabel(kLongBytes).c_str());

    const std::vector<Kernel> kernels = matcher_kernels::Available();
    const Kernel chosen = matcher_kernels::Chosen();
    std::printf("matcher kernels this CPU runs: ");
    for (auto k : kernels) std::printf("%s%s ", matcher_kernels::Name(k), k == chosen ? " (chosen)" : "");
    std::printf("\n\n");

    // Every configuration is set up and checked first; then all of them are
    // timed together, a sample of each engine of each configuration per
    // round, so that a spell of other work on the machine, which can last
    // seconds, spreads over every configuration's samples instead of
    // filling a few configurations' whole time.
    struct Built {
        const std::vector<stockInfo>* list;
        std::unique_ptr<StockNameMatcher> matcher;
        std::unique_ptr<HyperscanEngine> hyperscan;
        std::unique_ptr<HyperscanEngine> hyperscanAvx2;  // where it runs a wider build here
    };
    struct Pending {
        Cell cell;
        const Built* built;
        std::u16string text;
        std::optional<Timed> ref, hs, raw, floor, hsAvx2;
        std::vector<Timed> ours;
    };
    std::vector<ListRow> listRows;
    std::vector<std::unique_ptr<Built>> kept;
    std::vector<std::vector<stockInfo>> longLists;
    longLists.reserve(longKinds.size() * longLengths.size());
    std::vector<std::unique_ptr<Pending>> pending;
    const auto build = [&](const std::string& label, const std::vector<stockInfo>& list) -> const Built& {
        auto b = std::make_unique<Built>();
        b->list = &list;
        ListRow row;
        row.label = label;
        row.matcherBuild =
            Repeat([&] { return StockNameMatcher(list).MemoryUsage(); }, list.size() >= 10000 ? 5 : 9).median;
        b->matcher = std::make_unique<StockNameMatcher>(list);
        b->hyperscan = std::make_unique<HyperscanEngine>(list);
        if (HyperscanRunsWiderThanAvx2()) b->hyperscanAvx2 = std::make_unique<HyperscanEngine>(list, true);
        row.matcherMemory = b->matcher->MemoryUsage();
        row.hsCompiled = b->hyperscan->Refused().empty();
        if (row.hsCompiled) {
            row.hsBuild = Repeat([&] { return HyperscanEngine(list).DatabaseBytes(); }, 3).median;
            row.hsDatabase = b->hyperscan->DatabaseBytes();
            row.hsScratch = b->hyperscan->ScratchBytes();
        }
        listRows.push_back(row);
        kept.push_back(std::move(b));
        return *kept.back();
    };
    // Sets up one configuration: the reference's matches, every engine
    // checked against them, and each engine's first time.
    const auto add = [&](const std::string& family, const Built& b, std::u16string text, std::size_t nameUnits,
                         bool timeReference) {
        auto p = std::make_unique<Pending>();
        p->built = &b;
        p->text = std::move(text);
        const auto& list = *b.list;
        const StockNameMatcher& matcher = *b.matcher;
        HyperscanEngine& hyperscan = *b.hyperscan;
        const std::u16string& t = p->text;
        Cell& cell = p->cell;
        cell.family = family;
        cell.entries = list.size();
        cell.bytes = t.size() * 2;
        cell.nameUnits = nameUnits;
        const std::string where = cell.Label();
        const bool compiled = hyperscan.Refused().empty();
        if (!compiled) cell.hyperscanRefused = hyperscan.Refused();

        std::vector<StockMatch> want;
        double refFirst = -1;
        const char* reference = "the per-entry search";
        if (timeReference ||
            (!nameUnits && static_cast<double>(list.size()) * static_cast<double>(t.size()) <= kReferenceWork)) {
            refFirst = TimeOnce([&] {
                want = PerEntryReference(list, t);
                return want.size();
            });
        } else if (nameUnits) {
            want = LinearReference(list, t);
        } else if (compiled) {
            want = hyperscan.Scan(t);
            reference = "Hyperscan";
        } else {
            Fail("nothing to check " + where + " against");
        }
        cell.matches = want.size();
        dllExport.Add(where, list, t, want);
        double hsFirst = -1;
        if (compiled) {
            hsFirst = TimeOnce([&] {
                const auto got = hyperscan.Scan(t);
                Check("Hyperscan", where, got, want, list);
                return got.size();
            });
            hsFirst = std::min(hsFirst, TimeOnce([&] { return hyperscan.Scan(t).size(); }));
        }
        double avx2First = -1;
        HyperscanEngine* const avx2 = compiled ? b.hyperscanAvx2.get() : nullptr;
        if (avx2) {
            avx2First = TimeOnce([&] {
                const auto got = avx2->Scan(t);
                Check("Hyperscan's AVX2 build", where, got, want, list);
                return got.size();
            });
            avx2First = std::min(avx2First, TimeOnce([&] { return avx2->Scan(t).size(); }));
        }
        std::vector<double> kernelFirst;
        for (auto k : kernels) {
            matcher_kernels::Use(k);
            kernelFirst.push_back(TimeOnce([&] {
                const auto got = *matcher.FindAll(t, SIZE_MAX);  // unbounded: the same work as the others
                Check((std::string("StockNameMatcher, kernel ") + matcher_kernels::Name(k) + ", against " + reference)
                          .c_str(),
                      where, got, want, list);
                return got.size();
            }));
            kernelFirst.back() = std::min(kernelFirst.back(), TimeOnce([&] { return MatchCount(matcher, t); }));
        }
        matcher_kernels::Use(chosen);
        cell.stats = matcher.Measure(t);
        const double floorFirst = TimeOnce([&] { return MemoryFloor(t); });

        if (timeReference) {
            p->ref.emplace([&list, &t] { return PerEntryReference(list, t).size(); }, refFirst, kRefBudget, 1, 31);
            // A slow per-entry search keeps its check run as its one sample.
            if (refFirst >= 0.002) p->ref->perCall.push_back(refFirst);
        }
        if (compiled) {
            p->hs.emplace([&hyperscan, &t] { return hyperscan.Scan(t).size(); }, hsFirst, kBudget, 7, 41);
            const double rawFirst = TimeOnce([&] { return hyperscan.RawScan(t); });
            p->raw.emplace([&hyperscan, &t] { return hyperscan.RawScan(t); }, std::max(rawFirst, 1e-9), kBudget, 7, 41);
        }
        if (avx2) p->hsAvx2.emplace([avx2, &t] { return avx2->Scan(t).size(); }, avx2First, kBudget, 7, 41);
        p->floor.emplace([&t] { return MemoryFloor(t); }, std::max(floorFirst, 1e-9), kBudget, 7, 41);
        for (std::size_t k = 0; k < kernels.size(); ++k)
            p->ours.push_back(Timed{[&matcher, &t, kernel = kernels[k]] {
                                        matcher_kernels::Use(kernel);
                                        return MatchCount(matcher, t);
                                    },
                                    kernelFirst[k], kBudget, 7, 41});
        pending.push_back(std::move(p));
    };
    for (const Family& f : families) {
        if (f.name.find(only) == std::string::npos) continue;
        for (std::size_t li = 0; li < listSizes.size(); ++li) {
            const auto& list = f.lists[li];
            const Built& b = build(f.name + ", " + Grouped(listSizes[li]) + " entries", list);
            for (std::size_t bi = 0; bi < textBytes.size(); ++bi) {
                const std::size_t units = textBytes[bi] / 2;
                add(f.name, b,
                    f.table ? MakeTableText(units, corpus, list, 0x7AB1E + bi)
                            : MakeText(units, corpus, list, 0x7E57 + bi),
                    0, f.timeReference);
            }
        }
    }
    for (const LongKind& kind : longKinds) {
        if (kind.Name().find(only) == std::string::npos) continue;
        const std::u16string text = MakeRepetitiveText(kLongBytes / 2, kind.period, corpus, 0x1096 + kind.period);
        for (std::size_t length : longLengths) {
            longLists.push_back(MakeLongNames(kind.names, length, text, kind.where, 0x10E6 + length));
            const Built& b = build(kind.Name() + ", " + Grouped(length) + " units", longLists.back());
            add(kind.Name(), b, text, length, false);
        }
    }
    {
        std::vector<Timed*> engines;
        for (auto& p : pending) {
            for (auto* t : {&p->ref, &p->hs, &p->raw, &p->floor, &p->hsAvx2})
                if (*t) engines.push_back(&**t);
            for (Timed& t : p->ours) engines.push_back(&t);
        }
        RunInterleaved(engines);
        matcher_kernels::Use(chosen);
    }
    std::vector<Cell> cells;
    for (auto& p : pending) {
        Cell& cell = p->cell;
        if (p->ref) cell.reference = Summarize(p->ref->perCall);
        if (p->hs) cell.hyperscan = Summarize(p->hs->perCall);
        if (p->raw) cell.raw = Summarize(p->raw->perCall);
        if (p->hsAvx2) cell.hyperscanAvx2 = Summarize(p->hsAvx2->perCall);
        cell.floor = Summarize(p->floor->perCall);
        for (std::size_t k = 0; k < kernels.size(); ++k)
            cell.kernels.emplace_back(kernels[k], Summarize(p->ours[k].perCall));
        cells.push_back(std::move(cell));
    }

    std::printf(
        "throughput in MB/s (10^6 bytes of UTF-16 text per second of the thread's CPU time), median over\n"
        "7-41 runs (a run: one call, or as many calls as last 2 ms, averaged; runs of every engine on every\n"
        "configuration taken in turn, round after round); \"×Hyper\" = our median over Hyperscan's; the\n"
        "kernel columns are the matcher forced to that kernel, against Hyperscan; \"Hyp avx2\" = Hyperscan's\n"
        "AVX2 build, where it runs a wider one here: the avx2 kernel is set against that one; floor = one read of\n"
        "every unit; 1st %%, 2nd %% = positions through the filter's first stage, and through both;\n"
        "probes = key table slots read per position; work = Measure()'s work per unit of text\n"
        "(bound: %llu)\n\n",
        static_cast<unsigned long long>(StockNameMatcher::kWorkPerUnit));
    PrintCellHeader(kernels, chosen);
    std::string lastFamily;
    for (const Cell& c : cells) {
        if (!lastFamily.empty() && c.family != lastFamily) std::printf("\n");
        lastFamily = c.family;
        PrintCell(c, chosen);
    }
    std::printf(
        "\nbuild (ms, median of repeated builds) and memory (KiB: MemoryUsage(), Hyperscan's database + "
        "scratch):\n%-40s %10s %10s %12s %12s\n",
        "list", "ours", "Hyperscan", "ours KiB", "Hyper KiB");
    for (const ListRow& r : listRows)
        std::printf("%-40s %10s %10s %12s %12s\n", r.label.c_str(), Format("%.3f", r.matcherBuild * 1e3).c_str(),
                    r.hsCompiled ? Format("%.2f", r.hsBuild * 1e3).c_str() : "refuses", KiB(r.matcherMemory).c_str(),
                    r.hsCompiled ? KiB(r.hsDatabase + r.hsScratch).c_str() : "-");
    for (const Cell& c : cells)
        if (!c.hyperscanRefused.empty() && c.nameUnits == longLengths.back()) {
            std::printf("(Hyperscan refuses the longer names: \"%s\")\n", c.hyperscanRefused.c_str());
            break;
        }
    std::printf("\n");

    // The DLL builds' kernels, on the same configurations. A driver's
    // samples alternate with Hyperscan's, timed natively: on a shared
    // machine a spell of other work lasts seconds, and only times taken
    // within milliseconds of each other compare.
    struct DllRow {
        std::size_t index;
        Summary dll;       // seconds per call
        double hyperscan;  // seconds per call, median of the samples taken in turn with the driver's
    };
    std::vector<std::pair<const DllKernel*, std::vector<DllRow>>> dllRuns;
    std::map<const DllKernel*, std::string> dllAgainst;  // the Hyperscan each driver is set against
    if (!dllKernels.empty()) {
        std::printf(
            "DLL kernels: each Windows build's own core library in a driver of its own (bench/dll_bench.cpp),\n"
            "checked against the native matches first, then asked for batches of scans of at least 2 ms,\n"
            "each followed or preceded by one of Hyperscan's natively; wall-clock time (Wine's thread clock\n"
            "steps 10 ms), median of 15-41 batches each; \"×Hyper\" against those Hyperscan batches\n");
        std::signal(SIGPIPE, SIG_IGN);  // a driver that dies is reported, not fatal
        for (const DllKernel& k : dllKernels) {
            if (!k.notRun.empty()) {
                std::printf("  %s: %s\n", k.label.c_str(), k.notRun.c_str());
                continue;
            }
            // An AVX2 kernel against Hyperscan's AVX2 build, as above.
            const std::string kernel = DllExport::Kernel(k);
            const bool ownBuild = kernel == "avx2" && HyperscanRunsWiderThanAvx2();
            dllAgainst[&k] = ownBuild ? "Hyperscan's AVX2 build" : "Hyperscan";
            std::printf("\n%s (kernel %s):\n%-18s %7s %8s %9s %9s %9s %7s\n", k.label.c_str(), kernel.c_str(), "list",
                        "entries", "text", "matches", ownBuild ? "Hyp avx2" : "Hyperscan", "DLL", "×Hyper");
            DllDriver driver(k, dllExport.Folder());
            std::vector<DllRow> rows;
            for (std::size_t i = 0; i < cells.size() && driver.Ready(); ++i) {
                const Pending& a = *pending[i];
                const Cell& c = cells[i];
                const auto hyperscan = [&](std::size_t calls) {
                    std::size_t keep = 0;
                    const double t0 = Wall();
                    HyperscanEngine& engine = ownBuild ? *a.built->hyperscanAvx2 : *a.built->hyperscan;
                    for (std::size_t n = 0; n < calls; ++n) keep += engine.Scan(a.text).size();
                    g_keep = g_keep + keep;
                    return Wall() - t0;
                };
                const bool compiled = c.hyperscan.has_value();
                double hsEstimate = 1e300, dllEstimate = 1e300;
                for (int r = 0; r < 3; ++r) {
                    if (compiled) hsEstimate = std::min(hsEstimate, hyperscan(1));
                    dllEstimate = std::min(dllEstimate, driver.Time(i, 1).value_or(1e300));
                }
                constexpr double kMinSample = 0.002;
                const auto inner = [&](double estimate) {
                    return std::max<std::size_t>(
                        1, static_cast<std::size_t>(std::ceil(kMinSample / std::max(estimate, 1e-9))));
                };
                const std::size_t hsCalls = compiled ? inner(hsEstimate) : 0, dllCalls = inner(dllEstimate);
                const double pair = static_cast<double>(hsCalls) * (compiled ? hsEstimate : 0) +
                                    static_cast<double>(dllCalls) * dllEstimate;
                const std::size_t samples =
                    std::clamp<std::size_t>(static_cast<std::size_t>(2 * kBudget / pair), 15, 41);
                std::vector<double> hs, dll;
                for (std::size_t n = 0; n < samples && driver.Ready(); ++n) {
                    // In turn, first one and then the other: drift within a pair cancels.
                    const bool hsFirst = n % 2 == 0;
                    if (compiled && hsFirst) hs.push_back(hyperscan(hsCalls) / static_cast<double>(hsCalls));
                    if (const auto t = driver.Time(i, dllCalls)) dll.push_back(*t / static_cast<double>(dllCalls));
                    if (compiled && !hsFirst) hs.push_back(hyperscan(hsCalls) / static_cast<double>(hsCalls));
                }
                if (!driver.Ready()) break;
                rows.push_back({i, Summarize(dll), compiled ? Summarize(hs).median : 0});
                const DllRow& row = rows.back();
                std::printf("%-18s %7s %8s %9s %9s %9s %7s\n", c.family.c_str(),
                            c.nameUnits ? (Grouped(c.entries) + "×" + Grouped(c.nameUnits)).c_str()
                                        : Grouped(c.entries).c_str(),
                            TextLabel(c.bytes).c_str(), Grouped(c.matches).c_str(),
                            compiled ? Format("%.0f", MBps(c.bytes, row.hyperscan)).c_str() : "refuses",
                            Format("%.0f", MBps(c.bytes, row.dll.median)).c_str(),
                            compiled ? Format("%.2f", row.hyperscan / row.dll.median).c_str() : "-");
                std::fflush(stdout);
            }
            if (rows.size() != cells.size()) {
                std::printf("  %s: no result (the driver failed or differed from the native matches: see above)\n",
                            k.label.c_str());
                continue;
            }
            dllRuns.emplace_back(&k, std::move(rows));
        }
        std::printf("\n");
    }

    // Both sides allocate and free a few MiB per load. Left to itself, the
    // allocator sometimes hands that memory back to the system between loads
    // and sometimes not, and the next load's page faults (on some machines
    // dearer than the parse) moved the ratio between 2.5x and 3.5x from run
    // to run. Freed memory is kept instead: both sides run on warm memory, as
    // in a host that has been running a while.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    std::printf("list load (the generated family; median of repeated loads on warm memory, ms of CPU time):\n");
    std::printf("%8s %10s %12s %12s %14s %8s\n", "entries", "file KiB", "full load", "bare parse", "matcher build",
                "ratio");
    double loadRatio10k = 0;
    adapters::posix::PugiXmlDocumentFactory factory;
    const auto& generated = families.front().lists;
    for (std::size_t li = 0; li < listSizes.size(); ++li) {
        const std::string path = xmlFiles[li].string();
        const std::u16string path16(path.begin(), path.end());
        {
            STRecognizer check(factory);
            check.LoadStockSymbolFromXMLFile(path16);
            const auto& loaded = check.StockList();
            bool same = check.ListState() == 0 && loaded.size() == generated[li].size();
            for (std::size_t e = 0; same && e < loaded.size(); ++e)
                same = loaded[e].strStockName == generated[li][e].strStockName &&
                       loaded[e].strStockID == generated[li][e].strStockID;
            if (!same) Fail("loading " + path + " does not give back the list written");
        }
        const std::size_t runs = listSizes[li] >= 10000 ? 9 : 15;
        std::vector<double> load, parse;
        for (std::size_t r = 0; r < runs; ++r) {
            // Construction and destruction stay outside the timed region.
            auto recognizer = std::make_unique<STRecognizer>(factory);
            load.push_back(TimeOnce([&] {
                recognizer->LoadStockSymbolFromXMLFile(path16);
                return static_cast<std::size_t>(recognizer->StockCount());
            }));
            auto doc = std::make_unique<pugi::xml_document>();
            parse.push_back(TimeOnce([&] {
                const auto result = doc->load_file(
                    path.c_str(), pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata);
                if (!result) Fail("pugixml cannot parse " + path);
                return static_cast<std::size_t>(result.offset);
            }));
        }
        const Summary l = Summarize(load), p = Summarize(parse);
        const double buildTime = Repeat([&] { return StockNameMatcher(generated[li]).MemoryUsage(); }, 5).median;
        const double ratio = l.median / p.median;
        if (listSizes[li] == 10000) loadRatio10k = ratio;
        std::printf("%8s %10s %12s %12s %14s %7sx\n", Grouped(listSizes[li]).c_str(),
                    KiB(std::filesystem::file_size(xmlFiles[li])).c_str(), Format("%.3f", l.median * 1e3).c_str(),
                    Format("%.3f", p.median * 1e3).c_str(), Format("%.3f", buildTime * 1e3).c_str(),
                    Format("%.2f", ratio).c_str());
    }

    // Goals.
    std::printf("\nload average at end: %s\n", LoadAverage().c_str());
    std::printf("\ngoals (from the medians above; every family, list size and text):\n");
    // Against Hyperscan: the kernel the builds pick on this CPU, and the
    // AVX2 one, which most processors without AVX-512 run; SSE2 and the
    // portable kernel serve older ones and have no goal.
    for (Kernel k : kernels) {
        const std::string engine = std::string("(i) ours, kernel ") + matcher_kernels::Name(k);
        const auto ratio = [&](const Cell& c) { return c.OverHsFor(k, c.Matcher(k).median); };
        if (k == chosen || k == Kernel::avx2) {
            const bool ownBuild = k == Kernel::avx2 && HyperscanRunsWiderThanAvx2();
            HyperscanGoals(engine, ownBuild ? "Hyperscan's AVX2 build" : "Hyperscan", cells, ratio);
            if (ownBuild) {
                // Across instruction sets: Hyperscan's widest build here, no goal.
                const auto [worst, at] = Worst(cells, [&](const Cell& c) { return c.OverHs(c.Matcher(k).median); });
                if (!at.empty())
                    std::printf("  %-7s  %s against Hyperscan's AVX-512 build here, no goal: worst %s× (%s)\n", "-",
                                engine.c_str(), Format("%.2f", worst).c_str(), at.c_str());
            }
            continue;
        }
        const auto [worst, at] = Worst(cells, ratio);
        if (!at.empty())
            std::printf("  %-7s  %s (older processors), no goal: worst %s× Hyperscan (%s)\n", "-", engine.c_str(),
                        Format("%.2f", worst).c_str(), at.c_str());
    }
    {
        double worst = 1e300;
        std::string at;
        for (const Family& f : families) {
            if (!f.timeReference || f.name.find(only) == std::string::npos) continue;
            for (std::size_t b : textBytes) {
                const Cell& c = Find(cells, f.name, 1000, b);
                const double r = c.reference->median / c.Matcher(chosen).median;
                if (r < worst) worst = r, at = c.Label();
            }
        }
        const std::string label = "(ii) scan ≥ 100× the per-entry search at 1,000 entries";
        if (at.empty())
            Unmeasured(label);
        else
            Goal(label, worst >= 100, "worst " + Format("%.1f", worst) + "× (" + at + ")");
    }
    {
        double worst = 0;
        std::string detail;
        for (const Family& f : families) {
            if (f.name.find(only) == std::string::npos) continue;
            const Cell& small = Find(cells, f.name, 100, 1u << 10);
            const Cell& large = Find(cells, f.name, 10000, 1u << 10);
            const double a = small.Matcher(chosen).median, b = large.Matcher(chosen).median;
            if (b / a > worst)
                worst = b / a,
                detail = f.name + ": " + Format("%.2f", a * 1e6) + " µs → " + Format("%.2f", b * 1e6) + " µs";
        }
        const std::string label = "(iii) 1 KiB scan at 10,000 entries ≤ 2× its cost at 100, every family";
        if (detail.empty())
            Unmeasured(label);
        else
            Goal(label, worst <= 2.0, "worst " + Format("%.2f", worst) + "× (" + detail + ")");
    }
    Goal("(iv) loading 10,000 entries ≤ 3× the bare XML parse", loadRatio10k <= 3.0,
         Format("%.2f", loadRatio10k) + "×");
    {
        // Every list the scans ran on, not only the largest.
        double worst = 0;
        const ListRow* at = nullptr;
        for (const ListRow& r : listRows) {
            if (!r.hsCompiled) continue;
            const double ratio = static_cast<double>(r.matcherMemory) / static_cast<double>(r.hsDatabase + r.hsScratch);
            if (!at || ratio > worst) worst = ratio, at = &r;
        }
        if (at)
            Goal("(v) built structure ≤ Hyperscan database + scratch, every list", worst <= 1.0,
                 "worst " + Format("%.2f", worst) + "×: " + KiB(at->matcherMemory) + " KiB against " +
                     KiB(at->hsDatabase + at->hsScratch) + " KiB (" + at->label + ")");
    }
    for (const LongKind& kind : longKinds) {
        // Each long name against the 10-unit one over the same text.
        const Cell* base = nullptr;
        double worst = 0;
        std::string detail;
        for (const Cell& c : cells) {
            if (c.family != kind.Name()) continue;
            if (c.nameUnits == longLengths.front()) base = &c;
            if (!base || c.nameUnits == longLengths.front()) continue;
            const double r = c.Matcher(chosen).median / base->Matcher(chosen).median;
            if (r > worst)
                worst = r, detail = Grouped(c.nameUnits) +
                                    " units: " + Format("%.0f", MBps(c.bytes, c.Matcher(chosen).median)) + " against " +
                                    Format("%.0f", MBps(base->bytes, base->Matcher(chosen).median)) + " MB/s";
        }
        const std::string label = "(vi) " + kind.Name() + ": names of 10^3 to 10^5 units within 3× of a 10-unit name";
        if (detail.empty())
            Unmeasured(label);
        else
            Goal(label, worst <= 3.0, "worst " + Format("%.2f", worst) + "× (" + detail + ")");
    }
    for (const DllKernel& k : dllKernels) {
        const auto run = std::find_if(dllRuns.begin(), dllRuns.end(), [&](const auto& r) { return r.first == &k; });
        if (run == dllRuns.end()) {
            std::printf("  %-7s  %s: %s\n", "not run", k.label.c_str(),
                        k.notRun.empty() ? "the driver gave no result" : k.notRun.c_str());
            continue;
        }
        double worst = 1e300;
        std::string where;
        for (const DllRow& row : run->second) {
            if (!cells[row.index].hyperscan) continue;
            const double r = row.hyperscan / row.dll.median;
            if (r < worst) worst = r, where = dllExport.Label(row.index);
        }
        if (where.empty()) {
            Unmeasured(k.label + ": every configuration ≥ 0.7× Hyperscan (must)");
            continue;
        }
        const std::string detail = "worst " + Format("%.2f", worst) + "× (" + where + ")";
        const std::string& against = dllAgainst[&k];
        Goal(k.label + ": every configuration ≥ 0.7× " + against + " (must)", worst >= 0.7, detail);
        Goal(k.label + ": every configuration ≥ 1.0× " + against, worst >= 1.0, detail);
    }
    return 0;
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) { return varnoke::bench::Main(argc, argv); }
