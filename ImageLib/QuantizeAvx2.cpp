// The quantizer's scan kernels on AVX2: eight palette entries at a time.
// Built with AVX2 enabled; called only when the CPU has it.
#include "ImageLib/QuantizeScan.h"

#include <immintrin.h>

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
    static F channel(__m128 c) { return _mm256_broadcastss_ps(_mm_shuffle_ps(c, c, C * 0x55)); }
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
#include "ImageLib/QuantizeScan.inc"
