#include "recognizer/matcher.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <limits>
#include <new>

#include "recognizer/matcher_kernels.h"

// Filter kernels with SIMD, chosen at run time on x86 (any OS, 32 or 64
// bits): SSE2 on 16-byte vectors, AVX2 on 32-byte ones and AVX-512 on
// 64-byte ones. The Windows x86-64 ABI aligns the stack to 16 only and GCC
// cannot realign it there, so no aligned 32- or 64-byte move may touch the
// stack: the 64-bit build's kernels have none (what little they keep there
// moves unaligned), and tests/dll_static_check.sh fails on any in the
// 64-bit DLL. The i686 kernels realign the stack on entry.
// VARNOKE_PORTABLE_MATCHER leaves them all out, to build the portable
// kernel alone.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(VARNOKE_PORTABLE_MATCHER)
#define VARNOKE_MATCHER_X86 1
#include <immintrin.h>
#else
#define VARNOKE_MATCHER_X86 0
#endif
#if VARNOKE_MATCHER_X86 && defined(__i386__)
#define VARNOKE_KERNEL_ENTRY(isa) __attribute__((target(isa), force_align_arg_pointer))
#else
#define VARNOKE_KERNEL_ENTRY(isa) __attribute__((target(isa)))
#endif

namespace varnoke {

namespace {

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;  // 2^64 / golden ratio, odd

// Bits per key in each filter: with two bits set per key,
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

// The filters' hash of a pair of units (the first in the low half), and of
// a key: the high bits pick the word (18 and up at the largest size), bits
// 8-12 and 13-17 the two bits in it.
inline uint32_t PairHash(uint32_t pair) { return pair * 0x9E3779B1u; }
inline uint32_t PairBits(uint32_t h) { return (1u << ((h >> 8) & 31)) | (1u << ((h >> 13) & 31)); }

inline uint32_t LoadPair(const char16_t* at) { return uint32_t{at[0]} | uint32_t{at[1]} << 16; }

// The second stage's hash of a name's key (its first two, three or four
// units), in the layout of PairHash: a different multiplier per key length.
inline uint32_t KeyHash(uint64_t key, unsigned keyUnits) {
    constexpr uint64_t kByLength[5] = {0, 0, 0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull};
    return static_cast<uint32_t>((key * kByLength[keyUnits]) >> 32);
}

// The first stage, in one array of 32-bit words. Every name sets two bits
// in the word its first pair's hash picks; a name of two units sets a third
// one there; a longer name sets two other bits ("follow" bits, from another
// hash of the pair) in the word of its second pair, its units 1 and 2. A
// position passes when its pair's word has the two bits and then either the
// third or, in the word of the pair one unit on, that pair's follow bits.
// That word is the next position's own: a scan that looks up every
// position's word has it already, and where many names start with the
// text's frequent pairs, a position where the text goes on otherwise than
// they do mostly stops there without a second lookup.
// Bits 3-7 mix only the first unit's low byte, but the pair's two bits
// are tested first.
inline uint32_t TwoUnitBit(uint32_t h) { return 1u << ((h >> 3) & 31); }
// The follow bits: the top ten bits of another product, which mix both
// units (bits 8-17 of the pair's hash hold little of the second unit).
constexpr uint32_t kFollowMultiplier = 0x85EBCA77u;
inline uint32_t FollowBits(uint32_t pair) {
    const uint32_t g = pair * kFollowMultiplier;
    return (1u << (g >> 27)) | (1u << ((g >> 22) & 31));
}

struct FilterView {
    const uint32_t* words;
    unsigned shift;
    std::size_t size;  // of the text: a position below size - 2 has a third unit
    bool MayStartPair(uint32_t h) const {
        const uint32_t bits = PairBits(h);
        return (words[h >> shift] & bits) == bits;
    }
    // Whether `pair` may be a name's second pair.
    bool MayFollow(uint32_t pair) const {
        const uint32_t bits = FollowBits(pair);
        return (words[PairHash(pair) >> shift] & bits) == bits;
    }
    // Given MayStartPair.
    bool MayStartRest(const char16_t* t, std::size_t at, uint32_t h) const {
        if (words[h >> shift] & TwoUnitBit(h)) return true;
        return at + 2 < size && MayFollow(LoadPair(t + at + 1));
    }
    bool MayStart(const char16_t* t, std::size_t at) const {
        const uint32_t h = PairHash(LoadPair(t + at));
        return MayStartPair(h) && MayStartRest(t, at, h);
    }
};

// Filter kernels: from `at`, collect the positions in [at, end) that may
// start a name (end + 1 <= text size), stopping early when `out` has
// fewer than kKernelSlack free places. Return where they stopped. The
// vector kernels take the last positions, fewer than a block but more than
// half of one, from a copy of the text's end padded with zeros: the zeros
// are read only as the last position's second pair, where passing too much
// costs a check, never a name. The portable tail cost a fifth of a 1 KiB
// scan; a few positions, as in a short text, it takes quicker than a block.
constexpr std::size_t kKernelSlack = 32;  // the most a block appends
constexpr std::size_t kCandidateBuffer = 256;

std::size_t FilterPortable(const char16_t* t, std::size_t at, std::size_t end, const FilterView& filter, uint32_t* out,
                           std::size_t& count) {
    // Four positions per branch on their pairs' bits (about one in 100
    // passes), then the rest: most blocks have no candidate at all.
    for (; at + 4 <= end && count + kKernelSlack <= kCandidateBuffer; at += 4) {
        const unsigned hits = unsigned{filter.MayStartPair(PairHash(LoadPair(t + at)))} |
                              unsigned{filter.MayStartPair(PairHash(LoadPair(t + at + 1)))} << 1 |
                              unsigned{filter.MayStartPair(PairHash(LoadPair(t + at + 2)))} << 2 |
                              unsigned{filter.MayStartPair(PairHash(LoadPair(t + at + 3)))} << 3;
        if (hits == 0) [[likely]]
            continue;
        for (unsigned k = 0; k < 4; ++k)
            if ((hits & (1u << k)) && filter.MayStartRest(t, at + k, PairHash(LoadPair(t + at + k))))
                out[count++] = static_cast<uint32_t>(at + k);
    }
    for (; at < end && count + kKernelSlack <= kCandidateBuffer; ++at)
        if (filter.MayStart(t, at)) out[count++] = static_cast<uint32_t>(at);
    return at;
}

#if VARNOKE_MATCHER_X86
// Spreads 8 bits to the even bits of 16: merges the masks of even and odd
// positions.
constexpr auto kSpread = [] {
    std::array<uint16_t, 256> spread{};
    for (unsigned m = 0; m < 256; ++m)
        for (unsigned b = 0; b < 8; ++b)
            if (m & (1u << b)) spread[m] = static_cast<uint16_t>(spread[m] | (1u << (2 * b)));
    return spread;
}();

// The vector kernels branch past a block whose pairs start no name; where
// many blocks have a pair that starts names (text full of the names' first
// pairs), that branch goes either way and costs more than it saves: over
// each run of 32 blocks a kernel counts the busy halves and takes the next
// run without the branch when more than a quarter were busy. (Text scanned
// over and over, as in a benchmark, teaches the branch predictor its
// pattern and favours the branch; text read once does not.)
inline void AdaptDensity(bool& dense, unsigned& busy, unsigned& blocks) {
    if (++blocks == 32) {
        dense = busy > 16;
        busy = 0;
        blocks = 0;
    }
}

// Appends the positions at + k for each bit k of `hits`.
inline void AppendHits(unsigned hits, std::size_t at, uint32_t* out, std::size_t& count) {
    while (hits != 0) {
        out[count++] = static_cast<uint32_t>(at + static_cast<unsigned>(std::countr_zero(hits)));
        hits &= hits - 1;
    }
}

// The vector kernels take the pairs of four or eight positions as they are
// in one load (the first unit in the low half of each lane): the even
// positions from one load, the odd ones from the load one unit on, so that
// each position's second pair is a lane of the other load.

// SSE2 alone has no 32-bit multiply, no per-lane shift and no gather: the
// products come from two 32 x 32 -> 64-bit multiplies, the words from four
// loads, and 1 << b from the exponent of the float 2^b.
__attribute__((target("sse2"))) inline __m128i OneShifted(__m128i b) {
    return _mm_cvttps_epi32(_mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(b, _mm_set1_epi32(127)), 23)));
}

__attribute__((target("sse2"))) inline __m128i MulLowSse2(__m128i x, __m128i y) {
    const __m128i even = _mm_mul_epu32(x, y);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), _mm_srli_epi64(y, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

__attribute__((target("sse2"))) inline __m128i GatherSse2(__m128i h, const uint32_t* words, unsigned shift) {
    alignas(16) uint32_t hs[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(hs), h);
    return _mm_setr_epi32(static_cast<int>(words[hs[0] >> shift]), static_cast<int>(words[hs[1] >> shift]),
                          static_cast<int>(words[hs[2] >> shift]), static_cast<int>(words[hs[3] >> shift]));
}

// 1 << bits b .. b + 4 of each lane of h.
template <int b>
__attribute__((target("sse2"))) inline __m128i BitSse2(__m128i h) {
    return OneShifted(_mm_and_si128(_mm_srli_epi32(h, b), _mm_set1_epi32(31)));
}

__attribute__((target("sse2"))) inline __m128i HasAllSse2(__m128i word, __m128i bits) {
    return _mm_cmpeq_epi32(_mm_and_si128(word, bits), bits);
}

// Four positions' pairs (the first unit in the low half of each lane),
// their hashes and words, and whether each word has the pair's two bits.
struct FourSse2 {
    __m128i pairs, h, word;
    unsigned first;
};

__attribute__((target("sse2"))) inline FourSse2 LookUpSse2(__m128i pairs, const uint32_t* words, unsigned shift) {
    const __m128i h = MulLowSse2(pairs, _mm_set1_epi32(static_cast<int>(0x9E3779B1u)));
    const __m128i word = GatherSse2(h, words, shift);
    return {pairs, h, word, static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(
                                HasAllSse2(word, _mm_or_si128(BitSse2<8>(h), BitSse2<13>(h))))))};
}

// Whether each word has the two-unit bit.
__attribute__((target("sse2"))) inline unsigned TwoSse2(const FourSse2& f) {
    return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(HasAllSse2(f.word, BitSse2<3>(f.h)))));
}

// Whether each word has its pair's follow bits.
__attribute__((target("sse2"))) inline unsigned FollowSse2(const FourSse2& f) {
    const __m128i g = MulLowSse2(f.pairs, _mm_set1_epi32(static_cast<int>(kFollowMultiplier)));
    const __m128i bits = _mm_or_si128(OneShifted(_mm_srli_epi32(g, 27)), BitSse2<22>(g));
    return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(HasAllSse2(f.word, bits))));
}

// 8 positions: the 4 even ones, then the 4 odd ones, as a mask. Position
// 2j's second pair is the odd lane j; position 2j + 1's the even lane j + 1,
// and the last one's the pair at 8, looked up on its own.
template <bool kDense>
__attribute__((target("sse2"))) inline unsigned EightSse2(const char16_t* t, const FilterView& filter,
                                                          unsigned& busy) {
    const FourSse2 even = LookUpSse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)), filter.words, filter.shift);
    const FourSse2 odd =
        LookUpSse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 1)), filter.words, filter.shift);
    busy += (even.first != 0) + (odd.first != 0);
    if (!kDense && (even.first | odd.first) == 0) [[likely]]
        return 0;
    const unsigned last = filter.MayFollow(LoadPair(t + 8));
    const unsigned evenHits = even.first & (TwoSse2(even) | FollowSse2(odd));
    const unsigned oddHits = odd.first & (TwoSse2(odd) | (FollowSse2(even) >> 1) | (last << 3));
    return unsigned{kSpread[evenHits]} | unsigned{kSpread[oddHits]} << 1;
}

VARNOKE_KERNEL_ENTRY("sse2")
std::size_t FilterSse2(const char16_t* t, std::size_t at, std::size_t end, const FilterView& filter, uint32_t* out,
                       std::size_t& count) {
    // Reads units at + 0 .. at + 9.
    bool dense = false;
    unsigned busy = 0, blocks = 0;
    for (; at + 8 <= end && at + 10 <= filter.size && count + kKernelSlack <= kCandidateBuffer; at += 8) {
        const unsigned hits = dense ? EightSse2<true>(t + at, filter, busy) : EightSse2<false>(t + at, filter, busy);
        AdaptDensity(dense, busy, blocks);
        AppendHits(hits, at, out, count);
    }
    // The last positions (5 to 8), from a padded copy of the text's end.
    if (end - at <= 4 || count + kKernelSlack > kCandidateBuffer) return FilterPortable(t, at, end, filter, out, count);
    char16_t last[16] = {};
    std::copy(t + at, t + std::min(filter.size, at + 10), last);
    AppendHits(EightSse2<true>(last, filter, busy) & ((1u << (end - at)) - 1), at, out, count);
    return end;
}

// AVX2 on 32-byte vectors.
template <int b>
__attribute__((target("avx2,bmi2"))) inline __m256i BitAvx2(__m256i h) {
    return _mm256_sllv_epi32(_mm256_set1_epi32(1), _mm256_and_si256(_mm256_srli_epi32(h, b), _mm256_set1_epi32(31)));
}

__attribute__((target("avx2,bmi2"))) inline unsigned HasAllAvx2(__m256i word, __m256i bits) {
    return static_cast<unsigned>(
        _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_and_si256(word, bits), bits))));
}

// Eight positions' pairs, their hashes and words, and whether each word has
// the pair's two bits.
struct EightAvx2 {
    __m256i pairs, h, word;
    unsigned first;
};

__attribute__((target("avx2,bmi2"))) inline EightAvx2 LookUpAvx2(__m256i pairs, const int* words, __m128i shift) {
    const __m256i h = _mm256_mullo_epi32(pairs, _mm256_set1_epi32(static_cast<int>(0x9E3779B1u)));
    const __m256i word = _mm256_i32gather_epi32(words, _mm256_srl_epi32(h, shift), 4);
    return {pairs, h, word, HasAllAvx2(word, _mm256_or_si256(BitAvx2<8>(h), BitAvx2<13>(h)))};
}

__attribute__((target("avx2,bmi2"))) inline unsigned FollowAvx2(const EightAvx2& e) {
    const __m256i g = _mm256_mullo_epi32(e.pairs, _mm256_set1_epi32(static_cast<int>(kFollowMultiplier)));
    const __m256i one = _mm256_set1_epi32(1);
    return HasAllAvx2(e.word, _mm256_or_si256(_mm256_sllv_epi32(one, _mm256_srli_epi32(g, 27)), BitAvx2<22>(g)));
}

// 16 positions: the 8 even ones, then the 8 odd ones, as a mask. Position
// 2j's second pair is the odd lane j; position 2j + 1's the even lane j + 1,
// and the last one's the pair at 16, looked up on its own.
template <bool kDense>
__attribute__((target("avx2,bmi2"), always_inline)) inline unsigned SixteenAvx2(const char16_t* t,
                                                                                const FilterView& filter,
                                                                                const int* words, __m128i shift,
                                                                                unsigned& busy) {
    const EightAvx2 even = LookUpAvx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(t)), words, shift);
    const EightAvx2 odd = LookUpAvx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + 1)), words, shift);
    busy += (even.first != 0) + (odd.first != 0);
    if (!kDense && (even.first | odd.first) == 0) [[likely]]
        return 0;
    const unsigned last = filter.MayFollow(LoadPair(t + 16));
    const unsigned evenHits = even.first & (HasAllAvx2(even.word, BitAvx2<3>(even.h)) | FollowAvx2(odd));
    const unsigned oddHits =
        odd.first & (HasAllAvx2(odd.word, BitAvx2<3>(odd.h)) | (FollowAvx2(even) >> 1) | (last << 7));
    return _pdep_u32(evenHits, 0x5555u) | _pdep_u32(oddHits, 0xAAAAu);
}

// Sixteen positions at a time: the eight even ones, then the eight odd ones.
VARNOKE_KERNEL_ENTRY("avx2,bmi2")
std::size_t FilterAvx2(const char16_t* t, std::size_t at, std::size_t end, const FilterView& filter, uint32_t* out,
                       std::size_t& count) {
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(filter.shift));
    const int* words = reinterpret_cast<const int*>(filter.words);
    // Reads units at + 0 .. at + 17.
    bool dense = false;
    unsigned busy = 0, blocks = 0;
    for (; at + 16 <= end && at + 18 <= filter.size && count + kKernelSlack <= kCandidateBuffer; at += 16) {
        const unsigned hits = dense ? SixteenAvx2<true>(t + at, filter, words, shift, busy)
                                    : SixteenAvx2<false>(t + at, filter, words, shift, busy);
        AdaptDensity(dense, busy, blocks);
        AppendHits(hits, at, out, count);
    }
    // The last positions (9 to 16), from a padded copy of the text's end.
    if (end - at <= 8 || count + kKernelSlack > kCandidateBuffer) return FilterPortable(t, at, end, filter, out, count);
    char16_t last[32] = {};
    std::copy(t + at, t + std::min(filter.size, at + 18), last);
    AppendHits(SixteenAvx2<true>(last, filter, words, shift, busy) & ((1u << (end - at)) - 1), at, out, count);
    return end;
}

// AVX-512 (the foundation set) on 64-byte vectors: thirty-two positions per
// block, as the AVX2 kernel takes sixteen. Its gathers cost the same per
// element; it halves the rest of the work, which in a branchless run is
// about as much as the gathers.
// The zero-masked forms of shifts and gathers throughout: GCC 12 takes the
// plain forms' undefined pass-through operand for an uninitialized variable.
constexpr __mmask16 kAll16 = 0xFFFF;

__attribute__((target("avx512f,bmi2"))) inline __m512i OneShiftedAvx512(__m512i n) {
    return _mm512_maskz_sllv_epi32(kAll16, _mm512_set1_epi32(1), n);
}

__attribute__((target("avx512f,bmi2"))) inline __m512i BitAvx512(__m512i h, unsigned b) {
    return OneShiftedAvx512(_mm512_and_si512(_mm512_maskz_srli_epi32(kAll16, h, b), _mm512_set1_epi32(31)));
}

__attribute__((target("avx512f,bmi2"))) inline unsigned HasAllAvx512(__m512i word, __m512i bits) {
    return _mm512_cmpeq_epi32_mask(_mm512_and_si512(word, bits), bits);
}

struct SixteenAvx512 {
    __m512i pairs, h, word;
    unsigned first;
};

__attribute__((target("avx512f,bmi2"))) inline SixteenAvx512 LookUpAvx512(__m512i pairs, const int* words,
                                                                     __m128i shift) {
    const __m512i h = _mm512_mullo_epi32(pairs, _mm512_set1_epi32(static_cast<int>(0x9E3779B1u)));
    const __m512i word = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), kAll16,
                                                     _mm512_maskz_srl_epi32(kAll16, h, shift), words, 4);
    return {pairs, h, word, HasAllAvx512(word, _mm512_or_si512(BitAvx512(h, 8), BitAvx512(h, 13)))};
}

__attribute__((target("avx512f,bmi2"))) inline unsigned FollowAvx512(const SixteenAvx512& e) {
    const __m512i g = _mm512_mullo_epi32(e.pairs, _mm512_set1_epi32(static_cast<int>(kFollowMultiplier)));
    return HasAllAvx512(e.word,
                        _mm512_or_si512(OneShiftedAvx512(_mm512_maskz_srli_epi32(kAll16, g, 27)), BitAvx512(g, 22)));
}


// 32 positions: the 16 even ones, then the 16 odd ones, as a mask; the
// second pairs as in SixteenAvx2, the last one's the pair at 32.
template <bool kDense>
__attribute__((target("avx512f,bmi2"), always_inline)) inline uint32_t ThirtyTwoAvx512(const char16_t* t,
                                                                                        const FilterView& filter,
                                                                                        const int* words,
                                                                                        __m128i shift,
                                                                                        unsigned& busy) {
    const SixteenAvx512 even = LookUpAvx512(_mm512_loadu_si512(t), words, shift);
    const SixteenAvx512 odd = LookUpAvx512(_mm512_loadu_si512(t + 1), words, shift);
    busy += (even.first != 0) + (odd.first != 0);
    if (!kDense && (even.first | odd.first) == 0) [[likely]]
        return 0;
    const unsigned last = filter.MayFollow(LoadPair(t + 32));
    const unsigned evenHits = even.first & (HasAllAvx512(even.word, BitAvx512(even.h, 3)) | FollowAvx512(odd));
    const unsigned oddHits =
        odd.first & (HasAllAvx512(odd.word, BitAvx512(odd.h, 3)) | (FollowAvx512(even) >> 1) | (last << 15));
    return _pdep_u32(evenHits, 0x55555555u) | _pdep_u32(oddHits, 0xAAAAAAAAu);
}

VARNOKE_KERNEL_ENTRY("avx512f,bmi2")
std::size_t FilterAvx512(const char16_t* t, std::size_t at, std::size_t end, const FilterView& filter, uint32_t* out,
                         std::size_t& count) {
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(filter.shift));
    const int* words = reinterpret_cast<const int*>(filter.words);
    // Reads units at + 0 .. at + 33.
    bool dense = false;
    unsigned busy = 0, blocks = 0;
    for (; at + 32 <= end && at + 34 <= filter.size && count + kKernelSlack <= kCandidateBuffer; at += 32) {
        const uint32_t hits = dense ? ThirtyTwoAvx512<true>(t + at, filter, words, shift, busy)
                                    : ThirtyTwoAvx512<false>(t + at, filter, words, shift, busy);
        AdaptDensity(dense, busy, blocks);
        AppendHits(hits, at, out, count);
    }
    // The last positions, fewer than a block: as the AVX2 kernel takes them.
    return FilterAvx2(t, at, end, filter, out, count);
}
#endif

constexpr std::size_t kShortRun = 32;

void InsertionSortByEntry(StockMatch* from, std::size_t size) {
    for (std::size_t i = 1; i < size; ++i) {
        const StockMatch m = from[i];
        std::size_t j = i;
        for (; j > 0 && from[j - 1].entry > m.entry; --j) from[j] = from[j - 1];
        from[j] = m;
    }
}

// A stable sort by entry, in `from` or `spare`, whichever the returned span
// lies in: least significant byte first, one counting pass per byte of the
// largest entry number; short runs by insertion.
std::span<const StockMatch> SortByEntry(std::vector<StockMatch>& from, std::vector<StockMatch>& spare,
                                        std::size_t entries) {
    unsigned passes = 0;
    for (unsigned shift = 0; shift < 32 && (entries - 1) >> shift != 0; shift += 8) ++passes;
    if (from.size() <= kShortRun || passes == 0) {
        InsertionSortByEntry(from.data(), from.size());
        return from;
    }
    // Never shrunk: growing again would fill the new part first.
    if (spare.size() < from.size()) spare.resize(from.size());
    StockMatch* source = from.data();
    for (unsigned pass = 0; pass < passes; ++pass) {
        const unsigned shift = 8 * pass;
        StockMatch* target = source == from.data() ? spare.data() : from.data();
        std::size_t start[257] = {};
        for (std::size_t i = 0; i < from.size(); ++i) ++start[((source[i].entry >> shift) & 0xFF) + 1];
        for (std::size_t d = 1; d <= 256; ++d) start[d] += start[d - 1];
        for (std::size_t i = 0; i < from.size(); ++i) target[start[(source[i].entry >> shift) & 0xFF]++] = source[i];
        source = target;
    }
    return {source, from.size()};
}

using FilterKernel = std::size_t (*)(const char16_t*, std::size_t, std::size_t, const FilterView&, uint32_t*,
                                     std::size_t&);

using matcher_kernels::Kernel;

FilterKernel KernelFunction(Kernel kernel) {
    switch (kernel) {
#if VARNOKE_MATCHER_X86
        case Kernel::sse2:
            return FilterSse2;
        case Kernel::avx2:
            return FilterAvx2;
        case Kernel::avx512:
            return FilterAvx512;
#endif
        default:
            return FilterPortable;
    }
}

std::vector<Kernel> AvailableKernels() {
    std::vector<Kernel> kernels = {Kernel::portable};
#if VARNOKE_MATCHER_X86
    __builtin_cpu_init();  // this runs among the static initializers, perhaps before the library's own
    if (__builtin_cpu_supports("sse2")) kernels.push_back(Kernel::sse2);
    // The wide kernels interleave the even and odd positions' bits with
    // BMI2's bit deposit, which every CPU with AVX2 but a few has.
    const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2 && __builtin_cpu_supports("avx2")) kernels.push_back(Kernel::avx2);
    if (bmi2 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f")) kernels.push_back(Kernel::avx512);
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
    void Passed(std::size_t) {}
    void Probe() {}
};
struct CountInto {
    StockNameMatcher::ScanStats& stats;
    void Positions(std::size_t n) { stats.positions += n; }
    void PassedFirst(std::size_t n) { stats.passedFirst += n; }
    void Passed(std::size_t n) { stats.passed += n; }
    void Probe() { ++stats.probes; }
};

}  // namespace

StockNameMatcher::StockNameMatcher(const std::vector<stockInfo>& list) {
    if (list.size() >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
    entryCount_ = static_cast<uint32_t>(list.size());

    std::size_t totalUnits = 0, named = 0, longer = 0;  // longer: names past 4 units
    for (const stockInfo& s : list) {
        totalUnits += s.strStockName.size();
        named += !s.strStockName.empty();
        longer += s.strStockName.size() > 4;
    }
    if (totalUnits >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
    if (named == 0) {
        names_.push_back({0, 0, 0});
        return;
    }

    // Keys: each name's first min(length, 4) units; a position probes only
    // the keys of the lengths its second filter stage let through. The key
    // table, at most three quarters full, is sized for the distinct names.
    // While building, a slot's `first` counts its names.
    const auto slotShiftFor = [](std::size_t names) {
        return 64 - std::max(1u, CeilLog2(names + names / 3 + 1));
    };
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

    // Distinct names, each with the entries that carry it (ascending). The
    // key table finds the duplicates of names of up to 4 units (the name
    // that is its slot's whole key); a table of their own, those of longer
    // names. The key table is sized for every named entry, and built again
    // in the rare list where duplicates leave the distinct names a smaller one.
    slotShift_ = slotShiftFor(named);
    slots_.assign(std::size_t{1} << (64 - slotShift_), Slot{});
    std::vector<uint32_t> whole(slots_.size(), UINT32_MAX);  // per slot: the name that is its key
    std::vector<uint32_t> longTable(longer ? std::size_t{1} << CeilLog2(2 * longer + 2) : 0, UINT32_MAX);
    std::vector<uint32_t> nameOf(list.size(), UINT32_MAX);
    std::vector<uint32_t> entryCount, slotOfName;
    entryCount.reserve(named);
    slotOfName.reserve(named);
    units_.reserve(totalUnits);
    names_.reserve(named + 1);
    std::size_t keys = 0;          // names of two or more units: the filters' keys, some perhaps alike
    std::size_t fourUnitKeys = 0;  // distinct keys of 4 units
    for (uint32_t e = 0; e < list.size(); ++e) {
        const std::u16string_view name = list[e].strStockName;
        if (name.empty()) continue;
        const unsigned keyUnits = static_cast<unsigned>(std::min<std::size_t>(name.size(), 4));
        const uint32_t s = slotFor(Pack(name.data(), keyUnits), keyUnits);
        uint32_t* known = &whole[s];
        if (name.size() > 4) {
            const std::size_t mask = longTable.size() - 1;
            std::size_t i = NameHash(name) & mask;
            while (longTable[i] != UINT32_MAX &&
                   std::u16string_view(units_.data() + names_[longTable[i]].offset, names_[longTable[i]].length) !=
                       name)
                i = (i + 1) & mask;
            known = &longTable[i];
        }
        if (*known == UINT32_MAX) {
            *known = static_cast<uint32_t>(names_.size());
            names_.push_back({static_cast<uint32_t>(units_.size()), static_cast<uint32_t>(name.size()), 0});
            units_.insert(units_.end(), name.begin(), name.end());
            entryCount.push_back(0);
            slotOfName.push_back(s);
            Slot& slot = slots_[s];
            keys += keyUnits >= 2;
            fourUnitKeys += keyUnits == 4 && slot.first == 0;
            slot.first = slot.first + 1;
        }
        nameOf[e] = *known;
        ++entryCount[*known];
    }
    const std::size_t nameCount = names_.size();
    if (nameCount >= (std::size_t{1} << 25)) throw std::bad_alloc();  // byKey_ positions have 26 bits
    if (slotShiftFor(nameCount) != slotShift_) {
        slotShift_ = slotShiftFor(nameCount);
        slots_.assign(std::size_t{1} << (64 - slotShift_), Slot{});
        fourUnitKeys = 0;
        for (uint32_t p = 0; p < nameCount; ++p) {
            const Name& n = names_[p];
            const unsigned keyUnits = std::min(n.length, 4u);
            Slot& slot = slots_[slotOfName[p] = slotFor(Pack(units_.data() + n.offset, keyUnits), keyUnits)];
            fourUnitKeys += keyUnits == 4 && slot.first == 0;
            slot.first = slot.first + 1;
        }
    }
    uint32_t next = 0;
    for (std::size_t p = 0; p < nameCount; ++p) {
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
    // byKey_: one name per key of 1 to 3 units; for a key of 4, the count of
    // its names, then the names, shorter first. Groups are placed in the
    // order their first names come, in the same pass that fills them.
    byKey_.assign(nameCount + fourUnitKeys, 0);
    uint32_t place = 0;
    std::vector<uint32_t> groups;  // where the keys of 4 units that start several names are
    for (uint32_t p = 0; p < nameCount; ++p) {
        Slot& slot = slots_[slotOfName[p]];
        if (!slot.hasName) {
            const uint32_t count = slot.first;
            slot.first = place & ((1u << 26) - 1);
            slot.hasName = 1;
            if (count > 1) groups.push_back(place);
            place += (slot.keyUnits == 4 ? 1 : 0) + count;
        }
        if (slot.keyUnits == 4)
            byKey_[slot.first + 1 + byKey_[slot.first]++] = p;
        else
            byKey_[slot.first] = p;
    }
    {
        const auto shorter = [&](uint32_t a, uint32_t b) { return names_[a].length < names_[b].length; };
        for (const uint32_t group : groups) {
            const auto begin = byKey_.begin() + group + 1, end = begin + byKey_[group];
            if (end - begin > 16) {
                std::stable_sort(begin, end, shorter);
                continue;
            }
            // Small groups: an insertion sort, stable too, without the
            // buffer stable_sort asks the heap for on every call.
            for (auto i = begin + 1; i != end; ++i) {
                const uint32_t v = *i;
                auto j = i;
                for (; j != begin && shorter(v, *(j - 1)); --j) *j = *(j - 1);
                *j = v;
            }
        }
    }

    // The filters: each name's first two or three units, then its key (none
    // when there are only one-unit names: the scan is then skipped), the
    // units of one-unit names.
    if (keys != 0) {
        const unsigned filterLog2 = std::clamp(CeilLog2(keys * kFilterBitsPerPair), kFilterMinLog2, kFilterMaxLog2);
        filter_.assign((std::size_t{1} << filterLog2) / 32, 0);
        filterShift_ = 32 - (filterLog2 - 5);
    }
    // The second stage: each name's key of two, three or four units, tested
    // at a position that passed the first before any table probe. Where many
    // names start with the text's frequent pairs most such positions end here.
    if (keys != 0) {
        const unsigned secondLog2 = std::clamp(CeilLog2(keys * kFilterBitsPerPair), kFilterMinLog2, kFilterMaxLog2);
        second_.assign((std::size_t{1} << secondLog2) / 32, 0);
        secondShift_ = 32 - (secondLog2 - 5);
    }
    for (uint32_t p = 0; p < nameCount; ++p) {
        const Name& n = names_[p];
        if (n.length >= 2) {
            const unsigned keyUnits = std::min(n.length, 4u);
            const uint32_t key = KeyHash(Pack(units_.data() + n.offset, keyUnits), keyUnits);
            second_[key >> secondShift_] |= PairBits(key);
            const uint32_t pair = LoadPair(units_.data() + n.offset);
            const uint32_t h = PairHash(pair);
            filter_[h >> filterShift_] |= PairBits(h);
            if (n.length == 2) {
                filter_[h >> filterShift_] |= TwoUnitBit(h);
            } else {
                const uint32_t second = LoadPair(units_.data() + n.offset + 1);
                filter_[PairHash(second) >> filterShift_] |= FollowBits(second);
            }
        } else {
            if (singles_.empty()) singles_.assign(0x10000 / 64, 0);
            const char16_t u = units_[n.offset];
            singles_[u >> 6] |= uint64_t{1} << (u & 63);
        }
    }
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
    const std::size_t left = n - at;
    const uint64_t key = left >= 4 ? Pack(t + at, 4) : Pack(t + at, left >= 3 ? 3 : 2);
    const auto second = [&](uint64_t k, unsigned units) {
        const uint32_t h = KeyHash(k, units);
        const uint32_t bits = PairBits(h);
        return (second_[h >> secondShift_] & bits) == bits;
    };
    const uint64_t key2 = key & 0xFFFFFFFFu, key3 = key & 0xFFFFFFFFFFFFull;
    const bool two = second(key2, 2), three = left >= 3 && second(key3, 3), four = left >= 4 && second(key, 4);
    if (!(two | three | four)) return;
    count.Passed(1);
    if (two)
        if (const Slot* slot = Lookup(key2, 2, count); slot != nullptr && slot->hasName) emit(byKey_[slot->first], at);
    if (three)
        if (const Slot* slot = Lookup(key3, 3, count)) emit(byKey_[slot->first], at);
    if (four) {
        if (const Slot* slot = Lookup(key, 4, count)) {
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
    const FilterView filter{filter_.data(), filterShift_, n};
    uint32_t candidates[kCandidateBuffer];
    const FilterKernel kernel = KernelFunction(g_kernel.load(std::memory_order_relaxed));
    count.Positions(end);
    for (std::size_t at = 0; at < end;) {
        std::size_t found = 0;
        at = kernel(t, at, end, filter, candidates, found);
        count.PassedFirst(found);
        for (std::size_t k = 0; k < found; ++k) Candidates(t, n, candidates[k], emit, count);
    }
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
    StockMatch few[kShortRun];
    std::size_t count = 0;
    std::unique_ptr<Scratch> scratch;
    bool over = false;
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
            if (!scratch && count + (end - first) <= kShortRun) {
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
        none);
    // Each entry's matches were found in ascending position: a stable sort
    // by entry gives the contract's order.
    if (!scratch) {
        if (over) return false;
        InsertionSortByEntry(few, count);
        use(target, {few, count});
        return true;
    }
    if (!over) use(target, SortByEntry(scratch->found, scratch->spare, entryCount_));
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
        text, [](uint32_t, std::size_t) {}, count);
    return stats;
}

std::size_t StockNameMatcher::MemoryUsage() const {
    return filter_.capacity() * sizeof(uint32_t) + second_.capacity() * sizeof(uint32_t) +
           slots_.capacity() * sizeof(Slot) + byKey_.capacity() * sizeof(uint32_t) +
           singles_.capacity() * sizeof(uint64_t) + names_.capacity() * sizeof(Name) +
           units_.capacity() * sizeof(char16_t) + entries_.capacity() * sizeof(uint32_t);
}

namespace matcher_kernels {

const char* Name(Kernel kernel) {
    switch (kernel) {
        case Kernel::portable:
            return "portable";
        case Kernel::sse2:
            return "sse2";
        case Kernel::avx2:
            return "avx2";
        case Kernel::avx512:
            return "avx512";
    }
    return "?";
}

std::vector<Kernel> Available() { return AvailableKernels(); }

Kernel Chosen() { return g_kernel.load(std::memory_order_relaxed); }

void Use(Kernel kernel) { g_kernel.store(kernel, std::memory_order_relaxed); }

}  // namespace matcher_kernels
}  // namespace varnoke
