// The AVX-512 filter kernel (the foundation set, with the byte and word
// instructions for the few-pairs compares): the block over 64-byte vectors,
// sixteen lanes. Its gathers cost per element what the AVX2
// kernel's do; it halves the rest of a busy block's work. Shifts and
// gathers take their zero-masked forms: GCC 12 takes the plain forms'
// undefined pass-through operand for an uninitialized variable.
#include "recognizer/matcher_block.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__BMI2__) && !defined(VARNOKE_PORTABLE_MATCHER)
#include <immintrin.h>

namespace varnoke::matcher_detail {
namespace {

constexpr __mmask16 kAll = 0xFFFF;

struct Avx512 {
    static constexpr unsigned kLanes = 16;
    using Vec = __m512i;
    static Vec LoadPairs(const char16_t* at) { return _mm512_loadu_si512(at); }
    static Vec Set(uint32_t x) { return _mm512_set1_epi32(static_cast<int>(x)); }
    static Vec Mul(Vec x, uint32_t m) { return _mm512_mullo_epi32(x, Set(m)); }
    static Vec Gather(const uint32_t* words, Vec h, unsigned shift) {
        return _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), kAll,
                                           _mm512_maskz_srl_epi32(kAll, h, _mm_cvtsi32_si128(static_cast<int>(shift))),
                                           words, 4);
    }
    template <int b>
    static Vec Srl(Vec v) {
        return _mm512_maskz_srli_epi32(kAll, v, b);
    }
    static Vec OneShl(Vec n) { return _mm512_maskz_sllv_epi32(kAll, Set(1), n); }
    static Vec And(Vec a, Vec b) { return _mm512_and_si512(a, b); }
    static Vec Or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
    static unsigned HasAll(Vec word, Vec bits) { return _mm512_cmpeq_epi32_mask(_mm512_and_si512(word, bits), bits); }
    static unsigned Eq(Vec v, uint32_t x) { return _mm512_cmpeq_epi32_mask(v, Set(x)); }
    using Units = __mmask32;
    static Vec Broadcast(uint16_t u) { return _mm512_set1_epi16(static_cast<short>(u)); }
    static Units EqUnits(Vec v, Vec u) { return _mm512_cmpeq_epi16_mask(v, u); }
    static Units OrUnits(Units a, Units b) { return a | b; }
    static bool Any(Units a) { return a != 0; }
    static uint32_t Interleave(unsigned even, unsigned odd) {
        return _pdep_u32(even, 0x55555555u) | _pdep_u32(odd, 0xAAAAAAAAu);
    }
};

}  // namespace

extern const Kernels kFilterAvx512 = KernelsFor<Avx512>();

}  // namespace varnoke::matcher_detail
#else
namespace varnoke::matcher_detail {
extern const Kernels kFilterAvx512 = {nullptr, nullptr, nullptr, nullptr};
}
#endif
