// The portable filter kernel: the block over four plain 32-bit lanes, for
// processors without the vector kernels' instructions.
#include "recognizer/matcher_block.h"

namespace varnoke::matcher_detail {
namespace {

struct Portable {
    static constexpr unsigned kLanes = 4;
    struct Vec {
        uint32_t lane[kLanes];
    };
    static Vec LoadPairs(const char16_t* at) {
        Vec v;
        for (unsigned j = 0; j < kLanes; ++j) v.lane[j] = LoadPair(at + 2 * j);
        return v;
    }
    static Vec Set(uint32_t x) { return {{x, x, x, x}}; }
    static Vec Mul(Vec v, uint32_t m) {
        for (uint32_t& x : v.lane) x *= m;
        return v;
    }
    static Vec Gather(const uint32_t* words, Vec h, unsigned shift) {
        for (uint32_t& x : h.lane) x = words[x >> shift];
        return h;
    }
    template <int b>
    static Vec Srl(Vec v) {
        for (uint32_t& x : v.lane) x >>= b;
        return v;
    }
    static Vec OneShl(Vec n) {
        for (uint32_t& x : n.lane) x = uint32_t{1} << x;
        return n;
    }
    static Vec And(Vec a, Vec b) {
        for (unsigned j = 0; j < kLanes; ++j) a.lane[j] &= b.lane[j];
        return a;
    }
    static Vec Or(Vec a, Vec b) {
        for (unsigned j = 0; j < kLanes; ++j) a.lane[j] |= b.lane[j];
        return a;
    }
    static unsigned HasAll(Vec word, Vec bits) {
        unsigned mask = 0;
        for (unsigned j = 0; j < kLanes; ++j) mask |= unsigned{(word.lane[j] & bits.lane[j]) == bits.lane[j]} << j;
        return mask;
    }
    static unsigned Eq(Vec v, uint32_t x) {
        unsigned mask = 0;
        for (unsigned j = 0; j < kLanes; ++j) mask |= unsigned{v.lane[j] == x} << j;
        return mask;
    }
    static Vec Broadcast(uint16_t u) { return Set(uint32_t{u} | uint32_t{u} << 16); }
    using Units = unsigned;
    static Units EqUnits(Vec v, Vec u) {
        unsigned any = 0;
        for (unsigned j = 0; j < kLanes; ++j)
            any |= unsigned{(v.lane[j] & 0xFFFF) == (u.lane[j] & 0xFFFF)} |
                   unsigned{(v.lane[j] >> 16) == (u.lane[j] >> 16)};
        return any;
    }
    static Units OrUnits(Units a, Units b) { return a | b; }
    static bool Any(Units a) { return a != 0; }
    static uint32_t Interleave(unsigned even, unsigned odd) {
        return uint32_t{kSpread.bits[even]} | uint32_t{kSpread.bits[odd]} << 1;
    }
};

}  // namespace

extern const Kernels kFilterPortable = KernelsFor<Portable>();

}  // namespace varnoke::matcher_detail
