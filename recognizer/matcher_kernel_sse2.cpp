// The SSE2 filter kernel: the block over 16-byte vectors, four lanes.
// SSE2 has no 32-bit multiply, no per-lane shift and no gather: products
// come from two 32 x 32 -> 64-bit multiplies, the words from four loads,
// and 1 << n from the exponent of the float 2^n.
#include "recognizer/matcher_block.h"

#if defined(__SSE2__) && !defined(VARNOKE_PORTABLE_MATCHER)
#include <emmintrin.h>

namespace varnoke::matcher_detail {
namespace {

struct Sse2 {
    static constexpr unsigned kLanes = 4;
    using Vec = __m128i;
    static Vec LoadPairs(const char16_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
    static Vec Set(uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }
    static Vec Mul(Vec x, uint32_t m) {
        const __m128i y = Set(m);
        const __m128i even = _mm_mul_epu32(x, y);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), _mm_srli_epi64(y, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    static Vec Gather(const uint32_t* words, Vec h, unsigned shift) {
        const __m128i i = _mm_srl_epi32(h, _mm_cvtsi32_si128(static_cast<int>(shift)));
        return _mm_setr_epi32(static_cast<int>(words[_mm_cvtsi128_si32(i)]),
                              static_cast<int>(words[_mm_cvtsi128_si32(_mm_shuffle_epi32(i, 1))]),
                              static_cast<int>(words[_mm_cvtsi128_si32(_mm_shuffle_epi32(i, 2))]),
                              static_cast<int>(words[_mm_cvtsi128_si32(_mm_shuffle_epi32(i, 3))]));
    }
    template <int b>
    static Vec Srl(Vec v) {
        return _mm_srli_epi32(v, b);
    }
    static Vec OneShl(Vec n) {
        return _mm_cvttps_epi32(_mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(n, _mm_set1_epi32(127)), 23)));
    }
    static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
    static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
    static unsigned HasAll(Vec word, Vec bits) {
        return static_cast<unsigned>(
            _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(word, bits), bits))));
    }
    static unsigned Eq(Vec v, uint32_t x) {
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, Set(x)))));
    }
    using Units = __m128i;
    static Vec Broadcast(uint16_t u) { return _mm_set1_epi16(static_cast<short>(u)); }
    static Units EqUnits(Vec v, Vec u) { return _mm_cmpeq_epi16(v, u); }
    static Units OrUnits(Units a, Units b) { return _mm_or_si128(a, b); }
    static bool Any(Units a) { return _mm_movemask_epi8(a) != 0; }
    static uint32_t Interleave(unsigned even, unsigned odd) {
        return uint32_t{kSpread.bits[even]} | uint32_t{kSpread.bits[odd]} << 1;
    }
};

}  // namespace

extern const Kernels kFilterSse2 = KernelsFor<Sse2>();

}  // namespace varnoke::matcher_detail
#else
namespace varnoke::matcher_detail {
extern const Kernels kFilterSse2 = {nullptr, nullptr, nullptr, nullptr};
}
#endif
