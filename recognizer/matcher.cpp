// The matcher's scan: the filter kernel over the text from its end, each
// candidate end checked in the key table, and the automaton for the names
// longer than their key. The build is in matcher_build.cpp, the kernels in
// matcher_kernel_*.cpp, the final sort in matcher_sort.cpp.
#include "recognizer/matcher.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <limits>

#include "recognizer/matcher_kernels.h"
#include "recognizer/matcher_layout.h"
#include "recognizer/matcher_sort.h"

namespace varnoke {

namespace {

using namespace matcher_detail;
using matcher_kernels::Kernel;

const Kernels& KernelsOf(Kernel kernel) {
    switch (kernel) {
        case Kernel::sse2: return kFilterSse2;
        case Kernel::avx2: return kFilterAvx2;
        case Kernel::avx512: return kFilterAvx512;
        case Kernel::portable: break;
    }
    return kFilterPortable;
}

std::vector<Kernel> AvailableKernels() {
    std::vector<Kernel> kernels = {Kernel::portable};
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();  // this runs among the static initializers, perhaps before the library's own
    if (kFilterSse2.down && __builtin_cpu_supports("sse2")) kernels.push_back(Kernel::sse2);
    // The wide kernels interleave the even and odd positions' bits with
    // BMI2's bit deposit, which every processor with AVX2 but a few has.
    const bool avx2 = __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("avx2");
    if (kFilterAvx2.down && avx2) kernels.push_back(Kernel::avx2);
    if (kFilterAvx512.down && avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        kernels.push_back(Kernel::avx512);
#endif
    return kernels;
}

// Chosen once among the static initializers; relaxed loads cost a scan
// nothing over a constant.
std::atomic<Kernel> g_kernel{AvailableKernels().back()};

// The scan's counters: none in FindAll's copy, ScanStats in Measure's.
struct NoCount {
    void Positions(std::size_t) {}
    void PassedFirst(std::size_t) {}
    void Passed() {}
    void Probe() {}
    void Step() {}
    void Link() {}
    void Compare() {}
    void Output() {}
};
struct CountInto {
    StockNameMatcher::ScanStats& stats;
    void Positions(std::size_t n) {
        stats.positions += n;
        ++stats.passes;
    }
    void PassedFirst(std::size_t n) { stats.passedFirst += n; }
    void Passed() { ++stats.passed; }
    void Probe() { ++stats.probes; }
    void Step() { ++stats.steps; }
    void Link() { ++stats.links; }
    void Compare() { ++stats.compares; }
    void Output() { ++stats.outputs; }
};

// Matches a scan collects on its stack before it takes the kept buffers: a
// paragraph's few.
constexpr std::size_t kStackMatches = 32;

}  // namespace

namespace {

inline bool TestBit(const std::vector<uint64_t>& bits, std::size_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }

}  // namespace

template <class Count>
[[gnu::always_inline]] inline const StockNameMatcher::Slot* StockNameMatcher::Find(const Half& half, uint64_t key,
                                                                                   unsigned units, Count& count) {
    const std::size_t mask = half.slots.size() - 1;
    const auto low = static_cast<uint32_t>(key), high = static_cast<uint32_t>(key >> 32);
    std::size_t i = SlotHash(key, units, half.slotSeed) >> half.slotShift;
    for (unsigned d = 0; d < kMaxProbe; ++d, i = (i + 1) & mask) {
        count.Probe();
        const Slot& slot = half.slots[i];
        // Robin Hood order: a key further from its home than this one would be is not here.
        if (slot.units == 0 || slot.distance < d) return nullptr;
        if (slot.keyLow == low && slot.keyHigh == high && slot.units == units) return &slot;
    }
    return nullptr;
}

// The automaton's searches, each a binary search over one chain's entries.
namespace {

template <class T, class Less, class Count>
const T* SearchLast(const T* begin, const T* end, Less&& notAfter, Count& count) {
    // The last entry x with notAfter(x), given that they come first.
    std::size_t size = static_cast<std::size_t>(end - begin);
    const T* at = begin;
    while (size > 1) {
        const std::size_t half = size / 2;
        count.Compare();
        if (notAfter(at[half])) at += half;
        size -= half;
    }
    return at;
}

}  // namespace

// Runs the automaton of `half` from `chain`'s root, its key just read,
// reading t[at] next and on away from the anchor, for as long as some
// longer name may still be under way. Returns where a candidate may enter
// it again: going down, at ends below the value returned (the names it may
// have left unfinished end at most three units past where it stopped, and
// the key lookup of their end reads those units, not it); going up, at
// starts from it.
template <StockNameMatcher::Anchor A, class Emit, class Count>
std::size_t StockNameMatcher::Follow(const Half& half, const char16_t* t, std::size_t n, std::size_t at, uint32_t chain,
                                     Emit& emit, Count& count) const {
    const Automaton& a = half.automaton;
    uint32_t c = chain, d = 4;
    const char16_t* units = a.units.data() + a.chains[c].offset;
    uint32_t length = a.chains[c].length;
    // The run of the last failure link: in a repetitive text the automaton
    // mostly fails from the same few states.
    const Run* run = nullptr;
    uint32_t runChain = kNone, runEnd = 0;
    for (;;) {
        const char16_t unit = t[at];
        count.Compare();
        if (d < length && units[d] == unit) [[likely]] {
            ++d;
        } else {
            for (;;) {
                const Chain& ch = a.chains[c];
                if (TestBit(a.branchBits, ch.offset + d - 1)) {
                    const Branch* b = SearchLast(
                        a.branches.data() + ch.firstBranch, a.branches.data() + a.chains[c + 1].firstBranch,
                        [&](const Branch& x) { return x.depth < d || (x.depth == d && x.unit <= unit); }, count);
                    count.Compare();
                    if (b->depth == d && b->unit == unit) {
                        c = b->target;
                        ++d;
                        break;
                    }
                }
                if (c != runChain || d < run->from || d >= runEnd) {
                    const Run* first = a.runs.data() + ch.firstRun;
                    const Run* last = a.runs.data() + a.chains[c + 1].firstRun;
                    run = SearchLast(
                        first, last, [&](const Run& x) { return x.from <= d; }, count);
                    runChain = c;
                    runEnd = run + 1 < last ? run[1].from : ch.length + 1;
                }
                count.Link();
                if (run->target == kNone) return A == Anchor::end ? at + 4 : at - 3;
                d = run->depth + (d - run->from);
                c = run->target;
                const Chain& next = a.chains[c];
                count.Compare();
                if (d < next.length && a.units[next.offset + d] == unit) {
                    ++d;
                    break;
                }
            }
            units = a.units.data() + a.chains[c].offset;
            length = a.chains[c].length;
        }
        count.Step();
        if (TestBit(a.outputBits, static_cast<std::size_t>(units - a.units.data()) + d - 1)) [[unlikely]] {
            const OutputAt* o = SearchLast(
                a.outputsAt.data() + a.chains[c].firstOutput, a.outputsAt.data() + a.chains[c + 1].firstOutput,
                [&](const OutputAt& x) { return x.depth <= d; }, count);
            for (uint32_t k = o->first; k != kNone; k = a.outputs[k].next) {
                count.Output();
                const uint32_t name = a.outputs[k].name;
                emit(name, A == Anchor::end ? at : at + 1 - names_[name].length);
            }
        }
        if constexpr (A == Anchor::end) {
            if (at == 0) return 0;
            --at;
        } else {
            if (++at == n) return n;
        }
    }
}

// Whether the automaton, entered at `chain`'s root, may read `unit` first.
// A root without branches goes on only along its chain. Where it may not,
// entering would at most follow failure links to names anchored nearer,
// which their own candidates find, the automaton not having read past them.
template <class Count>
[[gnu::always_inline]] inline bool StockNameMatcher::MayEnter(const Automaton& a, uint32_t chain, char16_t unit,
                                                              Count& count) {
    const Chain& c = a.chains[chain];
    count.Compare();
    return TestBit(a.branchBits, c.offset + 3) || a.units[c.offset + 4] == unit;
}

// Every name anchored at the pair at `at`: ending at at + 1 going down,
// starting at `at` going up. `enter` is where the automaton may be entered
// (see Follow), kept from one candidate to the next. kShort: whether the
// pass has names of two or three units, which most lists have not.
template <StockNameMatcher::Anchor A, bool kShort, class Emit, class Count>
[[gnu::always_inline]] inline void StockNameMatcher::Candidate(const Half& half, const char16_t* t, std::size_t n,
                                                               std::size_t at, std::size_t& enter, Emit& emit,
                                                               Count& count) const {
    const auto word = [&](uint32_t h) { return half.keyFilter[h >> half.keyFilterShift]; };
    const auto has = [](uint32_t w, uint32_t bits) { return (w & bits) == bits; };
    if constexpr (A == Anchor::start) {
        // This pass's names are all longer than their key.
        if (at + 4 >= n || at < enter) return;
        const uint64_t key = Pack(t + at, 4);
        const uint32_t h = KeyHash(key, 4);
        if (!has(word(h), RootBits(h))) return;
        count.Passed();
        if (const Slot* slot = Find(half, key, 4, count);
            slot && slot->root != kNone && MayEnter(half.automaton, slot->root, t[at + 4], count))
            enter = Follow<A>(half, t, n, at + 4, slot->root, emit, count);
    } else {
        const std::size_t end = at + 1;
        // The last four units, the last in the high bits; near the text's
        // start the missing ones are zero in the low bits, so that the last
        // three are always key >> 16 and the last two key >> 32.
        const uint64_t key = end >= 3 ? Pack(t + end - 3, 4) : end == 2 ? Pack(t, 3) << 16 : Pack(t, 2) << 32;
        // Only the key lengths the pass has are tested.
        const auto test = [&](uint64_t k, unsigned units) {
            const uint32_t h = KeyHash(k, units);
            return has(word(h), AnchorBits(h));
        };
        const bool two = kShort && (half.keys & 4) && test(key >> 32, 2);
        const bool three = kShort && (half.keys & 8) && end >= 2 && test(key >> 16, 3);
        const uint32_t h4 = KeyHash(key, 4);
        const uint32_t w4 = (half.keys & 48) && end >= 3 ? word(h4) : 0;
        const bool four = end >= 3 && has(w4, AnchorBits(h4));
        // The automaton has read past this end already, or may enter here.
        const bool root = end >= 4 && end < enter && has(w4, RootBits(h4));
        if (!(two | three | four | root)) return;
        count.Passed();
        // Keys of two and three units are names whole.
        if constexpr (kShort) {
            if (two)
                if (const Slot* slot = Find(half, key >> 32, 2, count)) emit(slot->name, end - 1);
            if (three)
                if (const Slot* slot = Find(half, key >> 16, 3, count)) emit(slot->name, end - 2);
        }
        if (four | root) {
            if (const Slot* slot = Find(half, key, 4, count)) {
                if (slot->name != kNoName) emit(slot->name, end - 3);
                if (root && slot->root != kNone && MayEnter(half.automaton, slot->root, t[end - 4], count))
                    enter = Follow<A>(half, t, n, end - 4, slot->root, emit, count);
            }
        }
    }
}

template <StockNameMatcher::Anchor A, class Emit, class Count>
void StockNameMatcher::Pass(const Half& half, const char16_t* t, std::size_t n, Emit& emit, Count& count) const {
    if (half.filter.empty() || n < 2) return;
    const FilterWords filter{half.filter.data(),   half.filterShift,
                             half.few.data(),      static_cast<unsigned>(half.few.size()),
                             half.fewUnits.data(), static_cast<unsigned>(half.fewUnits.size()),
                             half.fewOffset};
    const Kernels& kernels = KernelsOf(g_kernel.load(std::memory_order_relaxed));
    const FilterKernel down = half.fewUnits.empty() ? kernels.down : kernels.fewDown;
    const FilterKernel up = half.fewUnits.empty() ? kernels.up : kernels.fewUp;
    uint32_t candidates[kCandidateBuffer];
    count.Positions(n - 1);
    if constexpr (A == Anchor::end) {
        const auto run = [&]<bool kShort>() {
            std::size_t enter = n;
            for (std::size_t to = n - 1; to > 0;) {
                std::size_t found = 0;
                to = down(t, 0, to, filter, candidates, found);
                count.PassedFirst(found);
                for (std::size_t k = 0; k < found; ++k)
                    Candidate<A, kShort>(half, t, n, candidates[k], enter, emit, count);
            }
        };
        if (half.keys & 12)
            run.template operator()<true>();
        else
            run.template operator()<false>();
    } else {
        std::size_t enter = 0;
        for (std::size_t from = 0; from < n - 1;) {
            std::size_t found = 0;
            from = up(t, from, n - 1, filter, candidates, found);
            count.PassedFirst(found);
            for (std::size_t k = 0; k < found; ++k) Candidate<A, false>(half, t, n, candidates[k], enter, emit, count);
        }
    }
}

template <class Emit, class Turn, class Count>
void StockNameMatcher::Scan(std::u16string_view text, Emit&& emit, Turn&& turn, Count& count) const {
    const char16_t* t = text.data();
    // Starts and ends are reported in 32 bits; a host cannot pass more text than that.
    const std::size_t n = std::min<std::size_t>(text.size(), std::numeric_limits<uint32_t>::max());
    Pass<Anchor::start>(starts_, t, n, emit, count);
    if (!singles_.empty()) {
        for (std::size_t i = 0; i < n; ++i) {
            const char16_t u = t[i];
            const uint64_t word = singles_[u >> 6], below = (uint64_t{1} << (u & 63)) - 1;
            if (!((word >> (u & 63)) & 1)) continue;
            emit(singleNames_[singleRank_[u >> 6] + static_cast<uint32_t>(std::popcount(word & below))], i);
        }
    }
    turn();
    Pass<Anchor::end>(ends_, t, n, emit, count);
}

struct StockNameMatcher::Scratch {
    std::vector<StockMatch> found, spare;
};

// A kept buffer holds at most this many matches (1.5 MiB): a rare huge scan
// does not pin its memory.
constexpr std::size_t kKeptMatches = std::size_t{1} << 17;

StockNameMatcher::ScratchSlot& StockNameMatcher::ScratchSlot::operator=(const ScratchSlot&) noexcept {
    delete kept_.exchange(nullptr, std::memory_order_acq_rel);
    return *this;
}

StockNameMatcher::ScratchSlot::~ScratchSlot() { delete kept_.load(std::memory_order_acquire); }

std::unique_ptr<StockNameMatcher::Scratch> StockNameMatcher::ScratchSlot::Take() const {
    if (Scratch* kept = kept_.exchange(nullptr, std::memory_order_acq_rel)) return std::unique_ptr<Scratch>(kept);
    return std::make_unique<Scratch>();
}

void StockNameMatcher::ScratchSlot::Give(std::unique_ptr<Scratch> scratch) const {
    for (std::vector<StockMatch>* v : {&scratch->found, &scratch->spare})
        if (v->capacity() > kKeptMatches) std::vector<StockMatch>().swap(*v);
    delete kept_.exchange(scratch.release(), std::memory_order_acq_rel);
}

bool StockNameMatcher::Collect(std::u16string_view text, std::size_t limit, MatchesUser use, void* target) const {
    if (names_.size() <= 1) {
        use(target, {});
        return true;
    }
    // A paragraph's few matches are collected here; the kept buffers, which
    // cost an atomic exchange each way, are taken only for more.
    StockMatch few[kStackMatches];
    std::size_t count = 0;
    std::unique_ptr<Scratch> scratch;
    bool over = false;
    std::size_t turned = 0;  // matches found before the pass from the end
    NoCount none;
    Scan(
        text,
        [&](uint32_t name, std::size_t position) {
            const uint32_t first = names_[name].firstEntry, end = names_[name + 1].firstEntry;
            // One check per occurrence of a name, not per entry.
            if (over || end - first > limit - count) {
                over = true;
                return;
            }
            const auto at = static_cast<uint32_t>(position);
            const uint32_t length = names_[name].length;
            if (!scratch && count + (end - first) <= kStackMatches) {
                for (uint32_t k = first; k < end; ++k) few[count++] = {entries_[k], at, length};
                return;
            }
            if (!scratch) {
                scratch = scratch_.Take();
                scratch->found.assign(few, few + count);
            }
            for (uint32_t k = first; k < end; ++k) scratch->found.push_back({entries_[k], at, length});
            count += end - first;
        },
        [&] { turned = count; }, none);
    if (!scratch) {
        if (over) return false;
        SortFewByEntry(few, count, turned);
        use(target, {few, count});
        return true;
    }
    if (!over) use(target, SortByEntry(scratch->found, scratch->spare, entryCount_, turned));
    scratch_.Give(std::move(scratch));
    return !over;
}

std::optional<std::vector<StockMatch>> StockNameMatcher::FindAll(std::u16string_view text, std::size_t limit) const {
    std::optional<std::vector<StockMatch>> result;
    WithMatches(
        text, [&](std::span<const StockMatch> matches) { result.emplace(matches.begin(), matches.end()); }, limit);
    return result;
}

StockNameMatcher::ScanStats StockNameMatcher::Measure(std::u16string_view text) const {
    ScanStats stats;
    if (names_.size() <= 1) return stats;
    CountInto count{stats};
    Scan(
        text, [](uint32_t, std::size_t) {}, [] {}, count);
    return stats;
}

std::size_t StockNameMatcher::Automaton::MemoryUsage() const {
    return units.capacity() * sizeof(char16_t) + chains.capacity() * sizeof(Chain) + runs.capacity() * sizeof(Run) +
           branches.capacity() * sizeof(Branch) + outputsAt.capacity() * sizeof(OutputAt) +
           outputs.capacity() * sizeof(Output) + (branchBits.capacity() + outputBits.capacity()) * sizeof(uint64_t);
}

std::size_t StockNameMatcher::Half::MemoryUsage() const {
    return (filter.capacity() + few.capacity() + keyFilter.capacity()) * sizeof(uint32_t) +
           fewUnits.capacity() * sizeof(uint16_t) + slots.capacity() * sizeof(Slot) + automaton.MemoryUsage();
}

std::size_t StockNameMatcher::MemoryUsage() const {
    return starts_.MemoryUsage() + ends_.MemoryUsage() + singles_.capacity() * sizeof(uint64_t) +
           (singleRank_.capacity() + singleNames_.capacity()) * sizeof(uint32_t) + names_.capacity() * sizeof(Name) +
           entries_.capacity() * sizeof(uint32_t);
}

namespace matcher_kernels {

const char* Name(Kernel kernel) {
    switch (kernel) {
        case Kernel::portable: return "portable";
        case Kernel::sse2: return "sse2";
        case Kernel::avx2: return "avx2";
        case Kernel::avx512: return "avx512";
    }
    return "?";
}

std::vector<Kernel> Available() { return AvailableKernels(); }

Kernel Chosen() { return g_kernel.load(std::memory_order_relaxed); }

void Use(Kernel kernel) { g_kernel.store(kernel, std::memory_order_relaxed); }

}  // namespace matcher_kernels
}  // namespace varnoke
