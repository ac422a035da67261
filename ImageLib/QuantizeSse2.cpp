// The quantizer's scan kernels on SSE2: four palette entries at a time.
#include "QuantizeScan.h"

#include <xmmintrin.h>
#include <emmintrin.h>

namespace ImageLib {
namespace {

struct Lanes {
    using F = __m128;
    static constexpr uint32_t kWidth = 4;
    static F load(const float* p) { return _mm_loadu_ps(p); }
    static F set1(float f) { return _mm_set1_ps(f); }
    static F add(F a, F b) { return _mm_add_ps(a, b); }
    static F sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm_mul_ps(a, b); }
    static F lt(F a, F b) { return _mm_cmplt_ps(a, b); }
    static F eq(F a, F b) { return _mm_cmpeq_ps(a, b); }
    static F andMask(F a, F b) { return _mm_and_ps(a, b); }
    static F orMask(F a, F b) { return _mm_or_ps(a, b); }
    // mask ? a : b, lane by lane.
    static F select(F mask, F a, F b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
    template <int C>
    static F channel(__m128 c) {
        return _mm_shuffle_ps(c, c, C * 0x55);
    }
    static F max(F a, F b) { return _mm_max_ps(a, b); }
    static void store(float* p, F v) { _mm_storeu_ps(p, v); }
    // a < b ? a : b, lane by lane (b where a is NaN).
    static F min(F a, F b) { return _mm_min_ps(a, b); }
    // The smallest lane in every lane, and lane 0.
    static F hminAll(F v) {
        v = _mm_min_ps(v, _mm_shuffle_ps(v, v, 0x4E));
        return _mm_min_ps(v, _mm_shuffle_ps(v, v, 0xB1));
    }
    static float first(F v) { return _mm_cvtss_f32(v); }
    static float hmin(F v) { return first(hminAll(v)); }
    static uint32_t mask(F v) { return uint32_t(_mm_movemask_ps(v)); }
    // Four pixels (alpha, red, green, blue each) as one vector per channel;
    // lane l holds pixel kPixelOfLane[l].
    static constexpr uint32_t kPixelOfLane[4] = {0, 1, 2, 3};
    static void toChannels(const float* p, F& a, F& r, F& g, F& b) {
        a = _mm_loadu_ps(p), r = _mm_loadu_ps(p + 4), g = _mm_loadu_ps(p + 8), b = _mm_loadu_ps(p + 12);
        _MM_TRANSPOSE4_PS(a, r, g, b);
    }
    static void storeInts(int32_t* out, F v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_cvttps_epi32(v)); }
};

}  // namespace
}  // namespace ImageLib

#define LUMIVEX_SCAN_ENTRY scanSse2
#include "QuantizeScan.inc"
