// The AVX2 filter kernel: the block over 32-byte vectors, eight lanes,
// each block's words by two gathers. The even and odd positions' bits are
// interleaved by BMI2's bit deposit, so the kernel needs BMI2 too, which
// all but a few processors with AVX2 have.
#include "recognizer/matcher_block.h"

#if defined(__AVX2__) && defined(__BMI2__) && !defined(VARNOKE_PORTABLE_MATCHER)
#include <immintrin.h>

namespace varnoke::matcher_detail {
namespace {

struct Avx2 {
    static constexpr unsigned kLanes = 8;
    using Vec = __m256i;
    static Vec LoadPairs(const char16_t* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }
    static Vec Set(uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
    static Vec Mul(Vec x, uint32_t m) { return _mm256_mullo_epi32(x, Set(m)); }
    static Vec Gather(const uint32_t* words, Vec h, unsigned shift) {
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(words),
                                      _mm256_srl_epi32(h, _mm_cvtsi32_si128(static_cast<int>(shift))), 4);
    }
    template <int b>
    static Vec Srl(Vec v) {
        return _mm256_srli_epi32(v, b);
    }
    static Vec OneShl(Vec n) { return _mm256_sllv_epi32(Set(1), n); }
    static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
    static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
    static unsigned HasAll(Vec word, Vec bits) {
        return static_cast<unsigned>(
            _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(word, bits), bits))));
    }
    static unsigned Eq(Vec v, uint32_t x) {
        return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(v, Set(x)))));
    }
    using Units = __m256i;
    static Vec Broadcast(uint16_t u) { return _mm256_set1_epi16(static_cast<short>(u)); }
    static Units EqUnits(Vec v, Vec u) { return _mm256_cmpeq_epi16(v, u); }
    static Units OrUnits(Units a, Units b) { return _mm256_or_si256(a, b); }
    static bool Any(Units a) { return !_mm256_testz_si256(a, a); }
    static uint32_t Interleave(unsigned even, unsigned odd) {
        return _pdep_u32(even, 0x5555u) | _pdep_u32(odd, 0xAAAAu);
    }
};

}  // namespace

extern const Kernels kFilterAvx2 = KernelsFor<Avx2>();

}  // namespace varnoke::matcher_detail
#else
namespace varnoke::matcher_detail {
extern const Kernels kFilterAvx2 = {nullptr, nullptr, nullptr, nullptr};
}
#endif
