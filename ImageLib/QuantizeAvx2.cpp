// The quantizer's scan kernels on AVX2: eight palette entries at a time.
// Built with AVX2 enabled; called only when the CPU has it.
#include "QuantizeScan.h"

#include <immintrin.h>

#include <cstring>

namespace ImageLib {
namespace {

struct Lanes {
    using F = __m256;
    static constexpr uint32_t kWidth = 8;
    static F load(const float* p) { return _mm256_loadu_ps(p); }
    static F set1(float f) { return _mm256_set1_ps(f); }
    static F add(F a, F b) { return _mm256_add_ps(a, b); }
    static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static F eq(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
    static F andMask(F a, F b) { return _mm256_and_ps(a, b); }
    static F orMask(F a, F b) { return _mm256_or_ps(a, b); }
    // mask ? a : b, lane by lane.
    static F select(F mask, F a, F b) { return _mm256_blendv_ps(b, a, mask); }
    template <int C>
    static F channel(__m128 c) {
        return _mm256_broadcastss_ps(_mm_shuffle_ps(c, c, C * 0x55));
    }
    static F max(F a, F b) { return _mm256_max_ps(a, b); }
    static void store(float* p, F v) { _mm256_storeu_ps(p, v); }
    // a < b ? a : b, lane by lane (b where a is NaN).
    static F min(F a, F b) { return _mm256_min_ps(a, b); }
    // The smallest lane in every lane, and lane 0.
    static F hminAll(F v) {
        v = _mm256_min_ps(v, _mm256_permute2f128_ps(v, v, 1));
        v = _mm256_min_ps(v, _mm256_permute_ps(v, 0x4E));
        return _mm256_min_ps(v, _mm256_permute_ps(v, 0xB1));
    }
    static float first(F v) { return _mm256_cvtss_f32(v); }
    static float hmin(F v) {
        __m128 m = _mm_min_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
        m = _mm_min_ps(m, _mm_shuffle_ps(m, m, 0x4E));
        return _mm_cvtss_f32(_mm_min_ps(m, _mm_shuffle_ps(m, m, 0xB1)));
    }
    static uint32_t mask(F v) { return uint32_t(_mm256_movemask_ps(v)); }
    // Eight pixels (alpha, red, green, blue each) as one vector per channel;
    // lane l holds pixel kPixelOfLane[l] (the in-lane unpacks interleave).
    static constexpr uint32_t kPixelOfLane[8] = {0, 2, 4, 6, 1, 3, 5, 7};
    static void toChannels(const float* p, F& a, F& r, F& g, F& b) {
        const F p01 = _mm256_loadu_ps(p), p23 = _mm256_loadu_ps(p + 8);
        const F p45 = _mm256_loadu_ps(p + 16), p67 = _mm256_loadu_ps(p + 24);
        const F ar02 = _mm256_unpacklo_ps(p01, p23), gb02 = _mm256_unpackhi_ps(p01, p23);
        const F ar46 = _mm256_unpacklo_ps(p45, p67), gb46 = _mm256_unpackhi_ps(p45, p67);
        a = _mm256_shuffle_ps(ar02, ar46, 0x44), r = _mm256_shuffle_ps(ar02, ar46, 0xEE);
        g = _mm256_shuffle_ps(gb02, gb46, 0x44), b = _mm256_shuffle_ps(gb02, gb46, 0xEE);
    }
    static void storeInts(int32_t* out, F v) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_cvttps_epi32(v));
    }
};

}  // namespace
}  // namespace ImageLib

#define LUMIVEX_SCAN_ENTRY scanAvx2
#include "QuantizeScan.inc"

namespace ImageLib::detail {

void bytesToFloatsAvx2(const uint8_t* in, float* out, uint32_t pixels, float inv256, float scale) {
    const __m256 a = _mm256_set1_ps(inv256), b = _mm256_set1_ps(scale);
    uint32_t i = 0;
    for (; i + 2 <= pixels; i += 2) {
        const __m256 f =
            _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 4 * i))));
        _mm256_storeu_ps(out + 4 * i, _mm256_mul_ps(_mm256_mul_ps(f, a), b));
    }
    for (; i < pixels; ++i) {
        int32_t word;
        std::memcpy(&word, in + 4 * i, 4);
        const __m128 f = _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)));
        _mm_storeu_ps(out + 4 * i, _mm_mul_ps(_mm_mul_ps(f, _mm256_castps256_ps128(a)), _mm256_castps256_ps128(b)));
    }
}

void floatsToColourAvx2(const float* in, uint8_t* out, uint32_t pixels, float limit) {
    const __m256 full = _mm256_set1_ps(255.0f), high = _mm256_set1_ps(limit), low = _mm256_set1_ps(-limit);
    // Alpha is each pixel's first byte, the low one of its little-endian word.
    constexpr uint64_t kAlpha = 0x000000FF000000FFull;
    uint32_t i = 0;
    for (; i + 2 <= pixels; i += 2) {
        const __m256 v = _mm256_max_ps(low, _mm256_min_ps(high, _mm256_mul_ps(_mm256_loadu_ps(in + 4 * i), full)));
        const __m256i t = _mm256_cvtps_epi32(v);
        const __m128i s16 = _mm_packs_epi32(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
        const uint64_t packed = uint64_t(_mm_cvtsi128_si64(_mm_packus_epi16(s16, s16)));
        uint64_t kept;
        std::memcpy(&kept, out + 4 * i, 8);
        const uint64_t word = (packed & ~kAlpha) | (kept & kAlpha);
        std::memcpy(out + 4 * i, &word, 8);
    }
    for (; i < pixels; ++i) {
        const __m128 v = _mm_max_ps(_mm256_castps256_ps128(low),
                                    _mm_min_ps(_mm256_castps256_ps128(high),
                                               _mm_mul_ps(_mm_loadu_ps(in + 4 * i), _mm256_castps256_ps128(full))));
        const __m128i t = _mm_cvtps_epi32(v);
        const __m128i s16 = _mm_packs_epi32(t, t);
        const uint32_t packed = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(s16, s16)));
        uint32_t kept;
        std::memcpy(&kept, out + 4 * i, 4);
        const uint32_t word = (packed & ~0xFFu) | (kept & 0xFFu);
        std::memcpy(out + 4 * i, &word, 4);
    }
}

}  // namespace ImageLib::detail
