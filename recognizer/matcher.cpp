#include "recognizer/matcher.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <limits>
#include <new>

#include "recognizer/matcher_kernels.h"

// The filter kernel with AVX2 gathers, chosen at run time. Not in the
// Windows builds: GCC there cannot keep 32-byte spills aligned.
// VARNOKE_PORTABLE_MATCHER leaves it out anywhere, to measure the other.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32) && !defined(VARNOKE_PORTABLE_MATCHER)
#define VARNOKE_MATCHER_AVX2 1
#include <immintrin.h>
#else
#define VARNOKE_MATCHER_AVX2 0
#endif

namespace varnoke {

namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;  // 2^64 / golden ratio, odd

// Bits per distinct first pair in the filter: with two bits set per pair,
// about one position in 1,000 without a name gets past it.
constexpr std::size_t kFilterBitsPerPair = 64;
constexpr unsigned kFilterMinLog2 = 12;  // 512 bytes
constexpr unsigned kFilterMaxLog2 = 19;  // 64 KiB, about what a core's first caches hold

unsigned CeilLog2(std::size_t n) { return n <= 1 ? 0 : static_cast<unsigned>(std::bit_width(n - 1)); }

// The key of a name or text window: up to four units, the first in the low
// bits, as one integer.
uint64_t Pack(const char16_t* units, unsigned count) {
    uint64_t key = 0;
    for (unsigned k = 0; k < count; ++k) key |= uint64_t{units[k]} << (16 * k);
    return key;
}

uint64_t SlotHash(uint64_t key, unsigned keyUnits) { return (key ^ (uint64_t{keyUnits} << 61)) * kMultiplier; }

// A name's hash for finding duplicates while building.
uint64_t NameHash(std::u16string_view name) {
    uint64_t h = name.size();
    for (char16_t u : name) h = (h ^ u) * kMultiplier;
    return h ^ (h >> 29);
}

// The filter's hash of a pair of units (the first in the low half). Bits
// 18 and up pick the word, bits 8-12 and 13-17 the two bits in it.
inline uint32_t PairHash(uint32_t pair) { return pair * 0x9E3779B1u; }
inline uint32_t PairBits(uint32_t h) { return (1u << ((h >> 8) & 31)) | (1u << ((h >> 13) & 31)); }

inline uint32_t LoadPair(const char16_t* at) { return uint32_t{at[0]} | uint32_t{at[1]} << 16; }

struct FilterView {
    const uint32_t* words;
    unsigned shift;
    bool MayStart(uint32_t pair) const {
        const uint32_t h = PairHash(pair);
        const uint32_t bits = PairBits(h);
        return (words[h >> shift] & bits) == bits;
    }
    // The first of the two bits alone: a superset of MayStart, for less work.
    bool MayStartQuick(uint32_t pair) const {
        const uint32_t h = PairHash(pair);
        return (words[h >> shift] >> ((h >> 8) & 31)) & 1;
    }
};

// Filter kernels: from `at`, collect the positions in [at, end) whose pair
// may start a name (end + 1 <= text size), stopping early when `out` has
// fewer than kKernelSlack free places. Return where they stopped.
constexpr std::size_t kKernelSlack = 16;
constexpr std::size_t kCandidateBuffer = 256;

std::size_t FilterPortable(const char16_t* t, std::size_t at, std::size_t end, FilterView filter,
                           uint32_t* out, std::size_t& count) {
    // Four positions per branch, first on one of each pair's two bits (a
    // few percent pass), then on both: most blocks have no candidate at all.
    for (; at + 4 <= end && count + kKernelSlack <= kCandidateBuffer; at += 4) {
        const unsigned hits = unsigned{filter.MayStartQuick(LoadPair(t + at))} |
                              unsigned{filter.MayStartQuick(LoadPair(t + at + 1))} << 1 |
                              unsigned{filter.MayStartQuick(LoadPair(t + at + 2))} << 2 |
                              unsigned{filter.MayStartQuick(LoadPair(t + at + 3))} << 3;
        if (hits == 0) [[likely]]
            continue;
        for (unsigned k = 0; k < 4; ++k)
            if ((hits & (1u << k)) && filter.MayStart(LoadPair(t + at + k)))
                out[count++] = static_cast<uint32_t>(at + k);
    }
    for (; at < end && count + kKernelSlack <= kCandidateBuffer; ++at)
        if (filter.MayStart(LoadPair(t + at))) out[count++] = static_cast<uint32_t>(at);
    return at;
}

#if VARNOKE_MATCHER_AVX2
// Spreads 8 bits to the even bits of 16: merges the masks of even and odd positions.
constexpr auto kSpread = [] {
    std::array<uint16_t, 256> spread{};
    for (unsigned m = 0; m < 256; ++m)
        for (unsigned b = 0; b < 8; ++b)
            if (m & (1u << b)) spread[m] = static_cast<uint16_t>(spread[m] | (1u << (2 * b)));
    return spread;
}();

// The filter test of the eight pairs in `pairs`, as a mask of 8 bits.
__attribute__((target("avx2"))) inline unsigned FilterEight(__m256i pairs, const int* words, __m128i shift) {
    const __m256i h = _mm256_mullo_epi32(pairs, _mm256_set1_epi32(static_cast<int>(0x9E3779B1u)));
    const __m256i word = _mm256_i32gather_epi32(words, _mm256_srl_epi32(h, shift), 4);
    const __m256i thirtyOne = _mm256_set1_epi32(31);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i bits =
        _mm256_or_si256(_mm256_sllv_epi32(one, _mm256_and_si256(_mm256_srli_epi32(h, 8), thirtyOne)),
                        _mm256_sllv_epi32(one, _mm256_and_si256(_mm256_srli_epi32(h, 13), thirtyOne)));
    const __m256i found = _mm256_cmpeq_epi32(_mm256_and_si256(word, bits), bits);
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(found)));
}

// Sixteen positions at a time. A 32-byte load holds the pairs of the eight
// even positions as they are; the same load one unit on, those of the odd.
__attribute__((target("avx2"))) std::size_t FilterAvx2(const char16_t* t, std::size_t at, std::size_t end,
                                                       FilterView filter, uint32_t* out, std::size_t& count) {
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(filter.shift));
    const int* words = reinterpret_cast<const int*>(filter.words);
    // Reads units at + 0 .. at + 16.
    for (; at + 16 <= end && count + kKernelSlack <= kCandidateBuffer; at += 16) {
        const unsigned even = FilterEight(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + at)), words, shift);
        const unsigned odd =
            FilterEight(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + at + 1)), words, shift);
        unsigned hits = unsigned{kSpread[even]} | unsigned{kSpread[odd]} << 1;
        while (hits != 0) [[unlikely]] {
            out[count++] = static_cast<uint32_t>(at + static_cast<unsigned>(std::countr_zero(hits)));
            hits &= hits - 1;
        }
    }
    return FilterPortable(t, at, end, filter, out, count);
}
#endif

// A stable sort by entry: least significant byte first, one counting pass
// per byte of the largest entry number; short runs by insertion.
void SortByEntry(std::vector<StockMatch>& matches, std::size_t entries) {
    if (matches.size() <= 32) {
        for (std::size_t i = 1; i < matches.size(); ++i) {
            const StockMatch m = matches[i];
            std::size_t j = i;
            for (; j > 0 && matches[j - 1].entry > m.entry; --j) matches[j] = matches[j - 1];
            matches[j] = m;
        }
        return;
    }
    std::vector<StockMatch> other(matches.size());
    for (unsigned shift = 0; shift < 32 && (entries - 1) >> shift != 0; shift += 8) {
        std::size_t start[257] = {};
        for (const StockMatch& m : matches) ++start[((m.entry >> shift) & 0xFF) + 1];
        for (std::size_t d = 1; d <= 256; ++d) start[d] += start[d - 1];
        for (const StockMatch& m : matches) other[start[(m.entry >> shift) & 0xFF]++] = m;
        matches.swap(other);
    }
}

using FilterKernel = std::size_t (*)(const char16_t*, std::size_t, std::size_t, FilterView, uint32_t*,
                                     std::size_t&);

using matcher_kernels::Kernel;

FilterKernel KernelFunction(Kernel kernel) {
    switch (kernel) {
#if VARNOKE_MATCHER_AVX2
        case Kernel::avx2: return FilterAvx2;
#endif
        default: return FilterPortable;
    }
}

std::vector<Kernel> AvailableKernels() {
    std::vector<Kernel> kernels = {Kernel::portable};
#if VARNOKE_MATCHER_AVX2
    __builtin_cpu_init();  // this runs among the static initializers, perhaps before the library's own
    if (__builtin_cpu_supports("avx2")) kernels.push_back(Kernel::avx2);
#endif
    return kernels;
}

// Chosen once among the static initializers; relaxed loads cost a scan
// nothing over a constant.
std::atomic<Kernel> g_kernel{AvailableKernels().back()};

// The scan's counters: none in FindAll's copy, ScanStats in Measure's.
struct NoCount {
    void Positions(std::size_t) {}
    void Passed(std::size_t) {}
    void Probe() {}
};
struct CountInto {
    StockNameMatcher::ScanStats& stats;
    void Positions(std::size_t n) { stats.positions += n; }
    void Passed(std::size_t n) { stats.passed += n; }
    void Probe() { ++stats.probes; }
};

}  // namespace

StockNameMatcher::StockNameMatcher(const std::vector<stockInfo>& list) {
    if (list.size() >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();

    // Distinct names, each with the entries that carry it (ascending).
    entryCount_ = static_cast<uint32_t>(list.size());
    std::vector<uint32_t> nameOf(list.size(), UINT32_MAX);
    std::vector<uint32_t> entryCount;
    {
        std::size_t totalUnits = 0;
        for (const stockInfo& s : list) totalUnits += s.strStockName.size();
        if (totalUnits >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
        units_.reserve(totalUnits);
        names_.reserve(list.size() + 1);
        std::vector<uint32_t> table(std::size_t{1} << CeilLog2(2 * list.size() + 2), UINT32_MAX);
        const std::size_t mask = table.size() - 1;
        for (uint32_t e = 0; e < list.size(); ++e) {
            const std::u16string_view name = list[e].strStockName;
            if (name.empty()) continue;
            std::size_t i = NameHash(name) & mask;
            while (table[i] != UINT32_MAX) {
                const Name& n = names_[table[i]];
                if (std::u16string_view(units_.data() + n.offset, n.length) == name) break;
                i = (i + 1) & mask;
            }
            if (table[i] == UINT32_MAX) {
                table[i] = static_cast<uint32_t>(names_.size());
                names_.push_back({static_cast<uint32_t>(units_.size()), static_cast<uint32_t>(name.size()), 0});
                units_.insert(units_.end(), name.begin(), name.end());
                entryCount.push_back(0);
            }
            nameOf[e] = table[i];
            ++entryCount[table[i]];
        }
    }
    uint32_t next = 0;
    for (std::size_t p = 0; p < names_.size(); ++p) {
        names_[p].firstEntry = next;
        next += entryCount[p];
    }
    names_.push_back({static_cast<uint32_t>(units_.size()), 0, next});
    names_.shrink_to_fit();
    units_.shrink_to_fit();
    entries_.resize(next);
    std::fill(entryCount.begin(), entryCount.end(), 0);
    for (uint32_t e = 0; e < list.size(); ++e)
        if (nameOf[e] != UINT32_MAX) entries_[names_[nameOf[e]].firstEntry + entryCount[nameOf[e]]++] = e;
    const std::size_t nameCount = names_.size() - 1;
    if (nameCount == 0) return;
    if (nameCount >= (std::size_t{1} << 25)) throw std::bad_alloc();  // byKey_ positions have 26 bits

    // Keys: each name's first min(length, 4) units, and for names of 3 or
    // more units also their first pair, whose slot then says that longer
    // names start with it (it may hold no name itself): a position whose
    // pair has no slot is done after one probe.
    std::size_t keyBound = nameCount;
    for (std::size_t p = 0; p < nameCount; ++p) keyBound += names_[p].length >= 3;
    slotShift_ = 64 - std::max(1u, CeilLog2(keyBound + keyBound / 3 + 1));  // at most three quarters full
    slots_.assign(std::size_t{1} << (64 - slotShift_), Slot{});
    const auto slotFor = [&](uint64_t key, unsigned keyUnits) -> uint32_t {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = SlotHash(key, keyUnits) >> slotShift_;
        const auto low = static_cast<uint32_t>(key), high = static_cast<uint32_t>(key >> 32);
        while (slots_[i].keyUnits != 0 &&
               !(slots_[i].keyLow == low && slots_[i].keyHigh == high && slots_[i].keyUnits == keyUnits))
            i = (i + 1) & mask;
        slots_[i].keyLow = low;
        slots_[i].keyHigh = high;
        slots_[i].keyUnits = keyUnits & 7;
        return static_cast<uint32_t>(i);
    };
    // While building, a slot's `first` counts its names.
    std::vector<uint32_t> slotOfName(nameCount);
    std::size_t pairs = 0;
    for (uint32_t p = 0; p < nameCount; ++p) {
        const Name& n = names_[p];
        const unsigned keyUnits = std::min(n.length, 4u);
        Slot& slot = slots_[slotOfName[p] = slotFor(Pack(units_.data() + n.offset, keyUnits), keyUnits)];
        pairs += keyUnits == 2 && slot.first == 0 && !slot.longer3 && !slot.longer4;
        slot.first = slot.first + 1;
        slot.hasName = 1;
        if (n.length >= 3) {
            Slot& pair = slots_[slotFor(Pack(units_.data() + n.offset, 2), 2)];
            pairs += pair.first == 0 && !pair.longer3 && !pair.longer4;
            if (n.length == 3) {
                pair.longer3 = 1;
            } else {
                pair.longer4 = 1;
            }
        }
    }
    // byKey_: one name per key of 1 to 3 units; for a key of 4, the count of
    // its names, then the names, shorter first.
    uint32_t place = 0;
    for (Slot& slot : slots_) {
        if (!slot.hasName) continue;
        const uint32_t count = slot.first;
        slot.first = place & ((1u << 26) - 1);
        place += (slot.keyUnits == 4 ? 1 : 0) + count;
    }
    byKey_.assign(place, 0);
    for (uint32_t p = 0; p < nameCount; ++p) {
        const Slot& slot = slots_[slotOfName[p]];
        if (slot.keyUnits == 4)
            byKey_[slot.first + 1 + byKey_[slot.first]++] = p;
        else
            byKey_[slot.first] = p;
    }
    for (const Slot& slot : slots_)
        if (slot.keyUnits == 4 && byKey_[slot.first] > 1)
            std::stable_sort(byKey_.begin() + slot.first + 1, byKey_.begin() + slot.first + 1 + byKey_[slot.first],
                             [&](uint32_t a, uint32_t b) { return names_[a].length < names_[b].length; });

    // The filters: first pairs of the longer names (none when there are only
    // one-unit names: the pair scan is then skipped), the units of one-unit names.
    if (pairs != 0) {
        const unsigned filterLog2 =
            std::clamp(CeilLog2(pairs * kFilterBitsPerPair), kFilterMinLog2, kFilterMaxLog2);
        filter_.assign((std::size_t{1} << filterLog2) / 32, 0);
        filterShift_ = 32 - (filterLog2 - 5);
    }
    for (uint32_t p = 0; p < nameCount; ++p) {
        const Name& n = names_[p];
        if (n.length >= 2) {
            AddToFilter(LoadPair(units_.data() + n.offset));
        } else {
            if (singles_.empty()) singles_.assign(0x10000 / 64, 0);
            const char16_t u = units_[n.offset];
            singles_[u >> 6] |= uint64_t{1} << (u & 63);
        }
    }
}

void StockNameMatcher::AddToFilter(uint32_t pair) {
    const uint32_t h = PairHash(pair);
    filter_[h >> filterShift_] |= PairBits(h);
}

template <class Count>
const StockNameMatcher::Slot* StockNameMatcher::Lookup(uint64_t key, unsigned keyUnits, Count& count) const {
    const std::size_t mask = slots_.size() - 1;
    const auto low = static_cast<uint32_t>(key), high = static_cast<uint32_t>(key >> 32);
    for (std::size_t i = SlotHash(key, keyUnits) >> slotShift_;; i = (i + 1) & mask) {
        count.Probe();
        const Slot& slot = slots_[i];
        if (slot.keyUnits == 0) return nullptr;
        if (slot.keyLow == low && slot.keyHigh == high && slot.keyUnits == keyUnits) return &slot;
    }
}

// Every name that starts at `at`, given that at least two units are left.
template <class Emit, class Count>
void StockNameMatcher::Candidates(const char16_t* t, std::size_t n, std::size_t at, Emit& emit, Count& count) const {
    const Slot* pair = Lookup(LoadPair(t + at), 2, count);
    if (pair == nullptr) return;
    if (pair->hasName) emit(byKey_[pair->first], at);
    const std::size_t left = n - at;
    if (pair->longer3 && left >= 3)
        if (const Slot* slot = Lookup(Pack(t + at, 3), 3, count)) emit(byKey_[slot->first], at);
    if (pair->longer4 && left >= 4) {
        if (const Slot* slot = Lookup(Pack(t + at, 4), 4, count)) {
            const uint32_t* group = byKey_.data() + slot->first;
            for (uint32_t k = 1; k <= group[0]; ++k) {
                const Name& name = names_[group[k]];
                if (name.length > left) break;  // the rest are longer still
                const char16_t* rest = units_.data() + name.offset + 4;
                if (std::equal(rest, rest + (name.length - 4), t + at + 4)) emit(group[k], at);
            }
        }
    }
}

template <class Emit, class Count>
void StockNameMatcher::Scan(std::u16string_view text, Emit&& emit, Count& count) const {
    const char16_t* t = text.data();
    const std::size_t n = text.size();
    // Starts are reported in 32 bits; a host cannot pass more text than that.
    const std::size_t starts = std::min<std::size_t>(n, std::numeric_limits<uint32_t>::max());
    if (!singles_.empty()) {
        for (std::size_t i = 0; i < starts; ++i) {
            const char16_t u = t[i];
            if (!((singles_[u >> 6] >> (u & 63)) & 1)) continue;
            emit(byKey_[Lookup(u, 1, count)->first], i);
        }
    }
    if (n < 2 || filter_.empty()) return;
    const std::size_t end = std::min(starts, n - 1);  // positions with a pair
    const FilterView filter{filter_.data(), filterShift_};
    uint32_t candidates[kCandidateBuffer];
    const FilterKernel kernel = KernelFunction(g_kernel.load(std::memory_order_relaxed));
    count.Positions(end);
    for (std::size_t at = 0; at < end;) {
        std::size_t found = 0;
        at = kernel(t, at, end, filter, candidates, found);
        count.Passed(found);
        for (std::size_t k = 0; k < found; ++k) Candidates(t, n, candidates[k], emit, count);
    }
}

std::optional<std::vector<StockMatch>> StockNameMatcher::FindAll(std::u16string_view text,
                                                                 std::size_t limit) const {
    std::vector<StockMatch> matches;
    if (names_.size() <= 1) return matches;
    bool over = false;
    NoCount none;
    Scan(text, [&](uint32_t name, std::size_t position) {
        const uint32_t first = names_[name].firstEntry, end = names_[name + 1].firstEntry;
        // One check per occurrence of a name, not per entry.
        if (over || end - first > limit - matches.size()) {
            over = true;
            return;
        }
        for (uint32_t k = first; k < end; ++k)
            matches.push_back({entries_[k], static_cast<uint32_t>(position), names_[name].length});
    }, none);
    if (over) return std::nullopt;
    // Each entry's matches were found in ascending position: a stable sort
    // by entry gives the contract's order.
    SortByEntry(matches, entryCount_);
    return matches;
}

StockNameMatcher::ScanStats StockNameMatcher::Measure(std::u16string_view text) const {
    ScanStats stats;
    if (names_.size() <= 1) return stats;
    CountInto count{stats};
    Scan(text, [](uint32_t, std::size_t) {}, count);
    return stats;
}

std::size_t StockNameMatcher::MemoryUsage() const {
    return filter_.capacity() * sizeof(uint64_t) + slots_.capacity() * sizeof(Slot) +
           byKey_.capacity() * sizeof(uint32_t) + singles_.capacity() * sizeof(uint64_t) +
           names_.capacity() * sizeof(Name) + units_.capacity() * sizeof(char16_t) +
           entries_.capacity() * sizeof(uint32_t);
}

namespace matcher_kernels {

const char* Name(Kernel kernel) {
    switch (kernel) {
        case Kernel::portable: return "portable";
        case Kernel::sse2: return "sse2";
        case Kernel::ssse3: return "ssse3";
        case Kernel::avx2: return "avx2";
    }
    return "?";
}

std::vector<Kernel> Available() { return AvailableKernels(); }

Kernel Chosen() { return g_kernel.load(std::memory_order_relaxed); }

void Use(Kernel kernel) { g_kernel.store(kernel, std::memory_order_relaxed); }

}  // namespace matcher_kernels
}  // namespace varnoke
