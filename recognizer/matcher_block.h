// The filter kernels, written once over a vector type and instantiated in
// one file per instruction set (matcher_kernel_*.cpp), each compiled with
// that set's flags. Include it only there: everything here has internal
// linkage, so no function built for a wider set can serve a caller
// elsewhere.
//
// A vector type V holds N = V::kLanes 32-bit lanes and provides:
//   Vec LoadPairs(const char16_t* at)   the N pairs at at, at + 2, ...
//   Vec Set(uint32_t)                   every lane the same
//   Vec Mul(Vec, uint32_t)              lane times a constant, mod 2^32
//   Vec Gather(const uint32_t* words, Vec h, unsigned shift)   words[h >> shift]
//   template <int b> Vec Srl(Vec)       lane >> b
//   Vec OneShl(Vec n)                   1 << n, n in 0..31
//   Vec And(Vec, Vec), Or(Vec, Vec)
//   unsigned HasAll(Vec word, Vec bits) bit j set where lane j of word has all of bits
//   unsigned Eq(Vec, uint32_t)          bit j set where lane j equals
//   Vec Broadcast(uint16_t)             every unit the same
//   Units, Units EqUnits(Vec, Vec), OrUnits(Units, Units), bool Any(Units)
//                                       the 2N units of a load compared with those
//   uint32_t Interleave(unsigned even, unsigned odd)   bit 2j from even's bit j, 2j + 1 from odd's
//
// A block is 2N positions from `at`: one load holds the pairs of the N
// even positions, the same load one unit on those of the N odd ones. The
// pair one unit inwards is the previous position's for a name's end (an
// even position's is the odd load's lane before, an odd one's the even
// load's same lane, the first position's is looked up alone) and the next
// position's for its start (an even one's the odd load's same lane, an odd
// one's the even load's next lane, the last position's alone).
#pragma once

#include <cstddef>
#include <cstdint>

#include "recognizer/matcher_layout.h"

#if defined(__i386__)
// The 32-bit Windows ABI keeps the stack aligned to 4 only: realign it on entry.
#define VARNOKE_KERNEL_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VARNOKE_KERNEL_ENTRY
#endif

namespace varnoke::matcher_detail {
namespace {

// Spreads 8 bits to the even bits of 16, for vector types without bit deposit.
struct SpreadTable {
    uint16_t bits[256];
    constexpr SpreadTable() : bits() {
        for (unsigned m = 0; m < 256; ++m)
            for (unsigned b = 0; b < 8; ++b)
                if (m & (1u << b)) bits[m] = static_cast<uint16_t>(bits[m] | (1u << (2 * b)));
    }
};
inline constexpr SpreadTable kSpread;

// The N pairs of one load: their hashes, their words, and the lanes whose
// word has the pair's anchor bits.
template <class V>
struct Pairs {
    typename V::Vec pairs, h, word;
    unsigned anchors;
};

// 1 << bits b .. b + 4 of each lane.
template <class V, int b>
[[gnu::always_inline]] inline typename V::Vec Bit(typename V::Vec h) {
    return V::OneShl(V::And(V::template Srl<b>(h), V::Set(31)));
}

template <class V>
[[gnu::always_inline]] inline Pairs<V> LookUp(const char16_t* at, FilterWords f) {
    const auto pairs = V::LoadPairs(at);
    const auto h = V::Mul(pairs, kPairMultiplier);
    const auto word = V::Gather(f.words, h, f.shift);
    return {pairs, h, word, V::HasAll(word, V::Or(Bit<V, 8>(h), Bit<V, 13>(h)))};
}

// Lanes whose word has the two-unit bit.
template <class V>
[[gnu::always_inline]] inline unsigned TwoUnit(const Pairs<V>& p) {
    return V::HasAll(p.word, Bit<V, 3>(p.h));
}

// Lanes whose word has their pair's inner bits, and the three-unit bit;
// and the outer bits.
template <class V>
[[gnu::always_inline]] inline void Inner(const Pairs<V>& p, unsigned& inner, unsigned& three) {
    const auto g = V::Mul(p.pairs, kInnerMultiplier);
    inner = V::HasAll(p.word, V::Or(V::OneShl(V::template Srl<27>(g)), Bit<V, 22>(g)));
    three = V::HasAll(p.word, Bit<V, 17>(g));
}
template <class V>
[[gnu::always_inline]] inline unsigned Outer(const Pairs<V>& p) {
    const auto o = V::Mul(p.pairs, kOuterMultiplier);
    return V::HasAll(p.word, V::Or(V::OneShl(V::template Srl<27>(o)), Bit<V, 22>(o)));
}

enum class Direction { down, up };

// Whether the few mode compares units first. Where the few units are
// common in the text (names sharing a beginning taken from it), most
// blocks have one and the compares only cost: over each run of 32 blocks a
// kernel counts the blocks that got past them, and after a run where more
// than a quarter did, it goes without them for the next three.
struct FewState {
    bool compare = true;
    unsigned passed = 0, off = 0;
    void Adapt(unsigned window) {
        if (compare && 4 * passed > window) {
            compare = false;
            off = 3;
        } else if (!compare && --off == 0) {
            compare = true;
        }
        passed = 0;
    }
};

// Going down, a block's lowest positions need the lookups of the two pairs
// just below it (one and two units below `at`), which are the top lanes of
// the next block down: a kernel takes them from there once it has that
// block, and looks them up alone only where that block stopped before its
// lookups. A block says, in one word, what its two lowest positions still
// need, and, once it got as far as its lookups, its top lanes' ones.
enum : uint32_t {
    kNeedEven = 1,  // position at: the inner bits below, and the three-unit bit or the outer bits two below
    kNeedOdd = 2,   // position at + 1: the outer bits below
    kLookedUp = 4,  // the bits below are this block's top lanes' lookups:
    kInner = 8,     //   of the pair at its top position but one (one below the block above)
    kThree = 16,
    kOuter1 = 32,
    kOuter2 = 64,  //   of the pair at its top position but two (two below)
};
inline uint32_t EdgeBelow(FilterWords f, const char16_t* at) {
    const uint32_t one = LoadPair(at - 1), two = LoadPair(at - 2);
    return (MayBeInner(f, one) ? kInner : 0u) | (MayEndThree(f, one) ? kThree : 0u) |
           (MayBeOuter(f, one) ? kOuter1 : 0u) | (MayBeOuter(f, two) ? kOuter2 : 0u);
}
// The two lowest positions' hits, from what they need and the edge.
inline uint32_t EdgeHits(uint32_t needs, uint32_t edge) {
    const bool even = (needs & kNeedEven) && (edge & kInner) && (edge & (kThree | kOuter2));
    const bool odd = (needs & kNeedOdd) && (edge & kOuter1);
    return uint32_t{even} | uint32_t{odd} << 1;
}

// The 2N positions from `at` as a mask, bit k for position at + k. Reads
// at[-2] .. at[2N] going down, at[0] .. at[2N + 2] going up. Where no pair
// of the block may anchor a name, a sparse block stops after the lookups;
// in the few mode (matcher_layout.h), after comparing the block's units
// with the few, and where the anchor pairs are few too, its pairs with them
// instead of looking them up.
// Given `deferred` (going down), the edge is left out, and what it would
// add is said there (kNeedEven and on).
template <class V, Direction D, bool kDense, bool kFew>
[[gnu::always_inline]] inline uint32_t Block(const char16_t* at, FilterWords f, const typename V::Vec* fewUnits,
                                             FewState& few, unsigned& busy, uint32_t* deferred = nullptr) {
    unsigned evenAnchors = 0, oddAnchors = 0;
    if constexpr (kFew) {
        if (few.compare) {
            // The units at fewOffset from each position, in one load.
            const auto units = V::LoadPairs(at + f.fewOffset);
            auto any = V::EqUnits(units, fewUnits[0]);
            for (unsigned k = 1; k < f.fewUnitCount; ++k) any = V::OrUnits(any, V::EqUnits(units, fewUnits[k]));
            if (!kDense && !V::Any(any)) [[likely]]
                return 0;
            ++few.passed;
        }
        if (f.fewCount > 0) {
            const auto evenPairs = V::LoadPairs(at), oddPairs = V::LoadPairs(at + 1);
            for (unsigned k = 0; k < f.fewCount; ++k) {
                evenAnchors |= V::Eq(evenPairs, f.few[k]);
                oddAnchors |= V::Eq(oddPairs, f.few[k]);
            }
            busy += (evenAnchors != 0) + (oddAnchors != 0);
            if (!kDense && (evenAnchors | oddAnchors) == 0) [[likely]]
                return 0;
        }
    }
    Pairs<V> even = LookUp<V>(at, f);
    Pairs<V> odd = LookUp<V>(at + 1, f);
    if (kFew && f.fewCount > 0) {
        even.anchors = evenAnchors;
        odd.anchors = oddAnchors;
    } else {
        busy += (even.anchors != 0) + (odd.anchors != 0);
        if (!kDense && (even.anchors | odd.anchors) == 0) [[likely]]
            return 0;
    }
    // Per lane: the two-unit bit; the inner pair's inner and three-unit
    // bits; the outer pair's outer bits; each from the lane of the position
    // one or two units inwards, and for the block's edge from pairs looked
    // up alone.
    unsigned evenInner, evenThree, oddInner, oddThree;
    Inner(even, evenInner, evenThree);
    Inner(odd, oddInner, oddThree);
    const unsigned evenOuter = Outer(even), oddOuter = Outer(odd);
    constexpr unsigned kTop = V::kLanes - 1;
    unsigned ei, et, eo, oi, ot, oo;  // for the even and the odd positions
    if constexpr (D == Direction::down) {
        const uint32_t e = deferred ? 0 : EdgeBelow(f, at);
        ei = oddInner << 1 | unsigned{(e & kInner) != 0};
        et = oddThree << 1 | unsigned{(e & kThree) != 0};
        eo = evenOuter << 1 | unsigned{(e & kOuter2) != 0};
        oi = evenInner;
        ot = evenThree;
        oo = oddOuter << 1 | unsigned{(e & kOuter1) != 0};
        if (deferred)
            *deferred = (even.anchors & 1) | (odd.anchors & evenInner & 1) << 1 | kLookedUp |
                        (oddInner >> kTop & 1) * kInner | (oddThree >> kTop & 1) * kThree |
                        (oddOuter >> kTop & 1) * kOuter1 | (evenOuter >> kTop & 1) * kOuter2;
    } else {
        const uint32_t one = LoadPair(at + 2 * V::kLanes), two = LoadPair(at + 2 * V::kLanes + 1);
        ei = oddInner;
        et = oddThree;
        eo = evenOuter >> 1 | unsigned{MayBeOuter(f, one)} << kTop;
        oi = evenInner >> 1 | unsigned{MayBeInner(f, one)} << kTop;
        ot = evenThree >> 1 | unsigned{MayEndThree(f, one)} << kTop;
        oo = oddOuter >> 1 | unsigned{MayBeOuter(f, two)} << kTop;
    }
    const unsigned evenHits = even.anchors & (TwoUnit(even) | (ei & (et | eo)));
    const unsigned oddHits = odd.anchors & (TwoUnit(odd) | (oi & (ot | oo)));
    return V::Interleave(evenHits, oddHits);
}

// Whether the units at fewOffset from any of the kSkip * 2N positions from
// `at` is one of the few: four blocks at a time where none is, so that the
// loop's own work is a quarter.
constexpr std::size_t kSkip = 4;
template <class V>
[[gnu::always_inline]] inline bool AnyFew(const char16_t* at, FilterWords f, const typename V::Vec* few) {
    const char16_t* u = at + f.fewOffset;
    auto any = V::EqUnits(V::LoadPairs(u), few[0]);
    for (std::size_t b = 1; b < kSkip; ++b)
        any = V::OrUnits(any, V::EqUnits(V::LoadPairs(u + b * 2 * V::kLanes), few[0]));
    for (unsigned k = 1; k < f.fewUnitCount; ++k)
        for (std::size_t b = 0; b < kSkip; ++b)
            any = V::OrUnits(any, V::EqUnits(V::LoadPairs(u + b * 2 * V::kLanes), few[k]));
    return V::Any(any);
}

// A block branches past a pair-less block; where many blocks have a pair
// that anchors names (text full of them), that branch goes either way and
// costs more than it saves. Over each run of 32 blocks the kernel counts
// the busy halves and takes the next run without the branch when more than
// a quarter were busy. The first run is 8 blocks: a paragraph is often no
// longer than 32. (Text scanned over and over, as in a benchmark, teaches
// the branch predictor its pattern and favours the branch; text read once
// does not.)
struct Density {
    bool dense = false;
    unsigned busy = 0, blocks = 0, window = 8;
};
inline void AdaptDensity(Density& d, FewState& few) {
    if (++d.blocks == d.window) {
        d.dense = 2 * d.busy > d.window;
        few.Adapt(d.window);
        d.busy = 0;
        d.blocks = 0;
        d.window = 32;
    }
}

// Appends at + k for each bit k of `hits`, highest first or lowest first.
inline void AppendDown(uint32_t hits, std::size_t at, uint32_t* out, std::size_t& count) {
    while (hits != 0) {
        const unsigned k = 31u - static_cast<unsigned>(__builtin_clz(hits));
        out[count++] = static_cast<uint32_t>(at + k);
        hits ^= uint32_t{1} << k;
    }
}
inline void AppendUp(uint32_t hits, std::size_t at, uint32_t* out, std::size_t& count) {
    while (hits != 0) {
        out[count++] = static_cast<uint32_t>(at + static_cast<unsigned>(__builtin_ctz(hits)));
        hits &= hits - 1;
    }
}

inline uint32_t Below(std::size_t k) { return k >= 32 ? ~uint32_t{0} : (uint32_t{1} << k) - 1; }

// In the few mode the scalar steps compare too: the kernels of a direction
// pass the same positions.
// A unit past either end of the text, where a name's would be, is no name's.
inline bool IsFew(FilterWords f, const char16_t* t, std::size_t p, std::size_t size) {
    const uint32_t pair = LoadPair(t + p);
    const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(p) + f.fewOffset;
    if (f.fewUnitCount > 0 && (at < 0 || at >= static_cast<std::ptrdiff_t>(size))) return false;
    const char16_t unit = f.fewUnitCount > 0 ? t[at] : 0;
    bool known = f.fewUnitCount == 0;
    for (unsigned k = 0; k < f.fewUnitCount; ++k) known = known || f.fewUnits[k] == unit;
    if (!known) return false;
    for (unsigned k = 0; k < f.fewCount; ++k)
        if (f.few[k] == pair) return true;
    return f.fewCount == 0;
}

// The few units, each in every unit of a vector, once a kernel call.
template <class V, bool kFew>
struct FewVectors {
    typename V::Vec units[kFew ? kFewPairs : 1];
    explicit FewVectors(FilterWords f) {
        if constexpr (kFew)
            for (unsigned k = 0; k < f.fewUnitCount; ++k) units[k] = V::Broadcast(f.fewUnits[k]);
    }
    operator const typename V::Vec *() const { return units; }
};

// The down kernel (see FilterKernel), blocks from the top. The lowest
// positions, fewer than a block, go through one more block over a copy
// padded with two zero units before the text (read only as the first
// positions' inner and outer pairs, where passing too much costs a check,
// never a name) when they are more than half a block; fewer, as in a short
// text, one by one, which is quicker than a block.
template <class V, bool kFew>
[[gnu::always_inline]] inline std::size_t FilterDown(const char16_t* t, std::size_t from, std::size_t to, FilterWords f,
                                                     uint32_t* out, std::size_t& count) {
    constexpr std::size_t kBlock = 2 * V::kLanes;
    static_assert(kBlock <= kKernelSlack);
    const FewVectors<V, kFew> few(f);
    Density density;
    FewState state;
    const std::size_t low = from > 2 ? from : 2;  // a block reads the two units before it
    // The block above, starting at `to`: its hits, and what its lowest
    // positions need of the block below (this one).
    uint32_t aboveHits = 0, aboveNeeds = 0;
    const auto flush = [&](uint32_t below) {
        if ((aboveHits | aboveNeeds) == 0) return;
        const uint32_t edge = aboveNeeds == 0 ? 0 : below & kLookedUp ? below : EdgeBelow(f, t + to);
        AppendDown(aboveHits | EdgeHits(aboveNeeds, edge), to, out, count);
        aboveHits = aboveNeeds = 0;
    };
    // Room for the block above and this one.
    while (to >= low + kBlock && count + 2 * kBlock <= kCandidateBuffer) {
        if constexpr (kFew) {
            if (!density.dense && state.compare && to >= low + kSkip * kBlock &&
                !AnyFew<V>(t + to - kSkip * kBlock, f, few)) {
                flush(0);
                to -= kSkip * kBlock;
                for (std::size_t b = 0; b < kSkip; ++b) AdaptDensity(density, state);
                continue;
            }
        }
        const std::size_t at = to - kBlock;
        uint32_t needs = 0;
        const uint32_t hits = density.dense
                                  ? Block<V, Direction::down, true, kFew>(t + at, f, few, state, density.busy, &needs)
                                  : Block<V, Direction::down, false, kFew>(t + at, f, few, state, density.busy, &needs);
        AdaptDensity(density, state);
        flush(needs);
        aboveHits = hits;
        aboveNeeds = needs & (kNeedEven | kNeedOdd);
        to = at;
    }
    flush(0);
    if (to == from || to >= low + kBlock || count + kBlock > kCandidateBuffer) return to;  // out of room
    // Over a block left (the loop needs two units below a block): the top ones alone.
    while (to > from + kBlock || (to > from && from > 0)) {
        --to;
        if (MayEnd(f, t, to) && IsFew(f, t, to, to + 2)) out[count++] = static_cast<uint32_t>(to);
    }
    if (to == from || count + kBlock > kCandidateBuffer) return to;
    if (2 * to > kBlock) {
        char16_t head[kBlock + 3] = {};
        for (std::size_t i = 0; i <= to; ++i) head[i + 2] = t[i];
        AppendDown(Block<V, Direction::down, true, kFew>(head + 2, f, few, state, density.busy) & Below(to), 0, out,
                   count);
        return 0;
    }
    while (to > 0) {
        --to;
        if (MayEnd(f, t, to) && IsFew(f, t, to, to + 2)) out[count++] = static_cast<uint32_t>(to);
    }
    return to;
}

// The up kernel, blocks from the bottom; the highest positions through one
// more block over a copy padded with zeros after the text (read only as the
// last positions' inner and outer pairs), or one by one.
template <class V, bool kFew>
[[gnu::always_inline]] inline std::size_t FilterUp(const char16_t* t, std::size_t from, std::size_t to, FilterWords f,
                                                   uint32_t* out, std::size_t& count) {
    constexpr std::size_t kBlock = 2 * V::kLanes;
    static_assert(kBlock <= kKernelSlack);
    const std::size_t size = to + 1;  // the units a position below `to` may read
    const FewVectors<V, kFew> few(f);
    Density density;
    FewState state;
    // A block reads three units past its last position.
    while (from + kBlock + 3 <= size && count + kBlock <= kCandidateBuffer) {
        if constexpr (kFew) {
            if (!density.dense && state.compare && from + kSkip * kBlock + 3 <= size && !AnyFew<V>(t + from, f, few)) {
                from += kSkip * kBlock;
                for (std::size_t b = 0; b < kSkip; ++b) AdaptDensity(density, state);
                continue;
            }
        }
        const uint32_t hits = density.dense
                                  ? Block<V, Direction::up, true, kFew>(t + from, f, few, state, density.busy)
                                  : Block<V, Direction::up, false, kFew>(t + from, f, few, state, density.busy);
        AdaptDensity(density, state);
        AppendUp(hits, from, out, count);
        from += kBlock;
    }
    if (from == to || count + kBlock > kCandidateBuffer) return from;
    if (2 * (to - from) > kBlock) {
        // The loop leaves up to a block and one: a block's worth over a
        // padded copy, the one after it alone.
        const std::size_t covered = to - from < kBlock ? to - from : kBlock;
        char16_t tail[kBlock + 3] = {};
        for (std::size_t i = from; i < size && i < from + kBlock + 3; ++i) tail[i - from] = t[i];
        AppendUp(Block<V, Direction::up, true, kFew>(tail, f, few, state, density.busy) & Below(covered), from, out,
                 count);
        from += covered;
    }
    for (; from < to && count < kCandidateBuffer; ++from)
        if (MayStart(f, t, from, size) && IsFew(f, t, from, size)) out[count++] = static_cast<uint32_t>(from);
    return from;
}

// A kernel file's four entries: down and up, plain and in the few mode.
template <class V, bool kFew>
VARNOKE_KERNEL_ENTRY std::size_t Down(const char16_t* t, std::size_t from, std::size_t to, FilterWords f, uint32_t* out,
                                      std::size_t& count) {
    return FilterDown<V, kFew>(t, from, to, f, out, count);
}
template <class V, bool kFew>
VARNOKE_KERNEL_ENTRY std::size_t Up(const char16_t* t, std::size_t from, std::size_t to, FilterWords f, uint32_t* out,
                                    std::size_t& count) {
    return FilterUp<V, kFew>(t, from, to, f, out, count);
}
template <class V>
constexpr Kernels KernelsFor() {
    return {Down<V, false>, Up<V, false>, Down<V, true>, Up<V, true>};
}

}  // namespace
}  // namespace varnoke::matcher_detail
