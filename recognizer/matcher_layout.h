// The matcher's tables as the builder lays them out and the scan and the
// filter kernels read them. Internal to the matcher's files.
//
// Each pass's first filter stage is one array of 32-bit words. Every name of
// two units or more sets two "anchor" bits in the word its anchor pair (its
// last two units, or its first two in the pass of names anchored at their
// start) hashes to; a two-unit name sets a third bit there. A longer name
// sets two "inner" bits, from another hash of the pair, in the word of the
// pair one unit inwards (units L-3 and L-2, or units 1 and 2); a name of
// three a "three-unit" bit there too, and a longer one two "outer" bits, from
// a third hash, in the word of the pair two units inwards (L-4 and L-3, or 2
// and 3). The pair at a text position may anchor a name when its word has
// the anchor bits and then the two-unit bit or, in the word of the pair one
// unit inwards, the inner bits and then the three-unit bit or, in the word
// of the pair two units inwards, the outer bits: four units tested, where
// the text is full of the names' last three (digits, for codes). Those
// words are the neighbouring positions' own, which a kernel looks up
// anyway.
//
// The end is the usual anchor: names that share a beginning with words the
// text is full of mostly differ at their end, and a text full of their
// beginnings then passes no more positions than any other.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace varnoke::matcher_detail {

// The first stage's words as a kernel reads them; and the "few" mode: where
// the names have, at some offset from their anchor pair, a unit of few
// distinct values, a kernel first compares the text's units at that offset
// with those (one compare a unit per block, where a block looks its pairs
// up with two gathers) and looks up only the blocks where one is; where the
// pairs themselves are few, it compares the pairs too instead of looking
// them up. The offset is the names' edge (their last unit, or their first)
// where the anchor pairs are at most kFewPairs; else one or two units
// inwards, where at most kFewInward values cover those: names sharing a
// beginning and anchored at their end share the units before the last one
// or two. A kernel stops comparing for a while where most blocks have one
// of the units (FewState in matcher_block.h).
struct FilterWords {
    const uint32_t* words;
    unsigned shift;                 // a pair hash h picks words[h >> shift]
    const uint32_t* few = nullptr;  // the distinct anchor pairs, when few
    unsigned fewCount = 0;
    const uint16_t* fewUnits = nullptr;  // the distinct units compared first
    unsigned fewUnitCount = 0;
    int fewOffset = 0;  // from a pair's position: -1 to 2
};

// Up to this many units or pairs at the edge, a pass compares; up to this
// many inwards.
inline constexpr std::size_t kFewPairs = 16;
inline constexpr std::size_t kFewInward = 2;

// Candidates one kernel call may collect, and the most one block adds.
inline constexpr std::size_t kCandidateBuffer = 256;
inline constexpr std::size_t kKernelSlack = 32;

// A filter kernel. Examines the pair positions in [from, to) (to < the
// text's size) and appends to out[count++] each position p whose pair may
// anchor a name; stops before a block could overrun kCandidateBuffer. The
// "down" kernels (names anchored at their end, a name ending at p + 1) go
// from the top, highest first, and return the lowest position examined;
// the "up" ones (names anchored at their start, at p) go from the bottom
// and return the position after the highest examined. Every kernel of a
// direction passes every position where a name is anchored; which others
// pass may differ with the kernel's block size.
using FilterKernel = std::size_t (*)(const char16_t* text, std::size_t from, std::size_t to, FilterWords filter,
                                     uint32_t* out, std::size_t& count);
struct Kernels {
    FilterKernel down, up, fewDown, fewUp;
};

// One per file, each built with its own instruction set's flags; null
// where the build leaves a kernel out (another processor, or
// VARNOKE_PORTABLE_MATCHER for the portable one alone).
extern const Kernels kFilterPortable;
extern const Kernels kFilterSse2;
extern const Kernels kFilterAvx2;
extern const Kernels kFilterAvx512;

// Internal linkage on purpose: the kernel files are compiled for wider
// instruction sets, and the linker must never pick their copy of a helper
// for a caller elsewhere.
namespace {

inline constexpr uint32_t kPairMultiplier = 0x9E3779B1u;  // 2^32 / golden ratio, odd
inline constexpr uint32_t kInnerMultiplier = 0x85EBCA77u;
inline constexpr uint32_t kOuterMultiplier = 0xC2B2AE3Du;

// Two units as one integer, the first in the low half.
inline uint32_t LoadPair(const char16_t* at) { return uint32_t{at[0]} | uint32_t{at[1]} << 16; }

// The high bits pick the word (18 and up at the largest size), bits 8-12
// and 13-17 the two anchor bits in it.
inline uint32_t PairHash(uint32_t pair) { return pair * kPairMultiplier; }
inline uint32_t AnchorBits(uint32_t h) { return (1u << ((h >> 8) & 31)) | (1u << ((h >> 13) & 31)); }
// Bits 3-7 mix only the pair's first unit's low byte, but the anchor bits
// are tested first.
inline uint32_t TwoUnitBit(uint32_t h) { return 1u << ((h >> 3) & 31); }
// The top ten bits of another product, which mix both units (bits 8-17
// of the pair's hash hold little of the second unit); and five more of it.
inline uint32_t InnerBits(uint32_t pair) {
    const uint32_t g = pair * kInnerMultiplier;
    return (1u << (g >> 27)) | (1u << ((g >> 22) & 31));
}
inline uint32_t ThreeUnitBit(uint32_t pair) { return 1u << (((pair * kInnerMultiplier) >> 17) & 31); }
inline uint32_t OuterBits(uint32_t pair) {
    const uint32_t o = pair * kOuterMultiplier;
    return (1u << (o >> 27)) | (1u << ((o >> 22) & 31));
}

inline bool HasBits(FilterWords f, uint32_t h, uint32_t bits) { return (f.words[h >> f.shift] & bits) == bits; }

// Whether `pair` may be the pair one unit inwards from a name's anchor (and
// then, whether of a three-unit name), or two units inwards.
inline bool MayBeInner(FilterWords f, uint32_t pair) { return HasBits(f, PairHash(pair), InnerBits(pair)); }
inline bool MayEndThree(FilterWords f, uint32_t pair) { return HasBits(f, PairHash(pair), ThreeUnitBit(pair)); }
inline bool MayBeOuter(FilterWords f, uint32_t pair) { return HasBits(f, PairHash(pair), OuterBits(pair)); }

// Whether a name may end at p + 1, p + 1 < the text's size.
inline bool MayEnd(FilterWords f, const char16_t* t, std::size_t p) {
    const uint32_t h = PairHash(LoadPair(t + p));
    if (!HasBits(f, h, AnchorBits(h))) return false;
    if (HasBits(f, h, TwoUnitBit(h))) return true;
    if (p == 0 || !MayBeInner(f, LoadPair(t + p - 1))) return false;
    return MayEndThree(f, LoadPair(t + p - 1)) || (p > 1 && MayBeOuter(f, LoadPair(t + p - 2)));
}

// Whether a name may start at p, p + 1 < n, the text's size.
inline bool MayStart(FilterWords f, const char16_t* t, std::size_t p, std::size_t n) {
    const uint32_t h = PairHash(LoadPair(t + p));
    if (!HasBits(f, h, AnchorBits(h))) return false;
    if (HasBits(f, h, TwoUnitBit(h))) return true;
    if (p + 2 >= n || !MayBeInner(f, LoadPair(t + p + 1))) return false;
    return MayEndThree(f, LoadPair(t + p + 1)) || (p + 3 < n && MayBeOuter(f, LoadPair(t + p + 2)));
}

// Up to four units as one integer, the first in the low bits: a key.
inline uint64_t Pack(const char16_t* units, unsigned count) {
    if (std::endian::native == std::endian::little && count == 4) {
        uint64_t key;
        std::memcpy(&key, units, sizeof key);
        return key;
    }
    uint64_t key = 0;
    for (unsigned k = 0; k < count; ++k) key |= uint64_t{units[k]} << (16 * k);
    return key;
}

// The second filter stage: a Bloom filter over the names' keys, their two,
// three or four units at the anchor, in the layout of PairHash with a
// multiplier per key length. A key of four units sets the anchor bits when
// it is a name of four, and the root bits when longer names go on from it:
// where the automaton has read past a position already, only a name of
// four needs a lookup there.
inline uint32_t KeyHash(uint64_t key, unsigned units) {
    constexpr uint64_t kByLength[5] = {0, 0, 0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull};
    return static_cast<uint32_t>((key * kByLength[units]) >> 32);
}
inline uint32_t RootBits(uint32_t h) { return (1u << ((h >> 18) & 31)) | (1u << ((h >> 23) & 31)); }

// The key table's hash: the seed is the build's, the high bits pick the
// home slot. Mixed in before the multiply, the seed moves keys that collide
// under one seed apart under the next.
inline uint64_t SlotHash(uint64_t key, unsigned units, uint64_t seed) {
    return ((key ^ seed) + (uint64_t{units} << 61)) * 0x9E3779B97F4A7C15ull;
}

}  // namespace
}  // namespace varnoke::matcher_detail
