// Pixel-depth conversions: a scalar and an SSE kernel per conversion, each
// converting one row, and one walker that runs a kernel over every row.
#include "PixelMath.h"
#include "ImageLib/Surface.h"

#include <smmintrin.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace ImageLib {

using namespace detail;

void* allocatePixels(uint64_t height, uint64_t stride) {
    const unsigned __int128 bytes = static_cast<unsigned __int128>(height) * stride;
    if (bytes > (uint64_t(1) << 48)) throw std::bad_alloc();
    // Round up to the alignment, which aligned_alloc requires of the size.
    const size_t size = (static_cast<size_t>(bytes) + 15) & ~size_t(15);
#ifdef _WIN32
    // The Windows C library has no aligned_alloc; its malloc gives 16-byte
    // alignment on x64, which is all the kernels need.
    void* p = std::malloc(size ? size : 16);
#else
    void* p = std::aligned_alloc(16, size ? size : 16);
#endif
    if (!p) throw std::bad_alloc();
    return p;
}

void freePixels(void* p) { std::free(p); }

namespace {

template <class S, class D, class RowFn>
void walkRows(const Surface<S>& src, Surface<D>& dst, RowFn fn) {
    const uint32_t w = std::min(src.width, dst.width);
    const uint32_t h = std::min(src.height, dst.height);
    if (src.data == nullptr || dst.data == nullptr) return;
    for (uint32_t y = 0; y < h; ++y) fn(src.row(y), dst.row(y), w);
}

// ---- scalar kernels --------------------------------------------------------

// Applies one per-channel conversion to every channel, order kept.
template <class S, class D, class Fn>
void eachChannel(const S* in, D* out, uint32_t n, Fn f) {
    for (uint32_t i = 0; i < n; ++i) out[i] = {f(in[i].alpha), f(in[i].red), f(in[i].green), f(in[i].blue)};
}

void byteToFloatScalar(const Pixel8* in, Pixel32* out, uint32_t n) { eachChannel(in, out, n, byteToFloat); }
void host16ToFloatScalar(const Pixel15* in, Pixel32* out, uint32_t n) { eachChannel(in, out, n, host16ToFloat); }
void floatToByteScalar(const Pixel32* in, Pixel8* out, uint32_t n) { eachChannel(in, out, n, floatToByte); }
void floatToHost16Scalar(const Pixel32* in, Pixel15* out, uint32_t n) { eachChannel(in, out, n, floatToHost16); }

void floatToRgba8Scalar(const Pixel32* in, Pixel8* out, uint32_t n) {
    // The result's bytes are red, green, blue, alpha.
    for (uint32_t i = 0; i < n; ++i)
        out[i] = {floatToByte(in[i].red), floatToByte(in[i].green), floatToByte(in[i].blue), floatToByte(in[i].alpha)};
}

void grayscaleScalar(Pixel32* p, uint32_t n) {
    // Same association as the vector path's two horizontal adds.
    for (uint32_t i = 0; i < n; ++i) {
        const float y = (0.0f * p[i].alpha + 0.2126f * p[i].red) + (0.7152f * p[i].green + 0.0722f * p[i].blue);
        p[i].red = p[i].green = p[i].blue = y;
    }
}

inline uint16_t expand16(uint16_t v) {
    v = std::min<uint16_t>(v, 32768);
    return uint16_t(v <= 16384 ? 2 * v : 2 * (v - 1));
}

void expandScalar(const uint16_t* in, uint16_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = expand16(in[i]);
}

// ---- SSE kernels: one pixel is one 128-bit vector of four channels ---------

inline __m128 load(const Pixel32* p) { return _mm_loadu_ps(&p->alpha); }
inline void store(Pixel32* p, __m128 v) { _mm_storeu_ps(&p->alpha, v); }

// Clamps scaled floats so the converter saturates; NaN passes through and
// becomes INT32_MIN like the scalar reference.
inline __m128 clampScaledSse(__m128 v) {
    v = _mm_min_ps(_mm_set1_ps(kScaledLimit), v);
    return _mm_max_ps(_mm_set1_ps(-kScaledLimit), v);
}

inline uint32_t packBytes(__m128 v) {
    const __m128i i = _mm_cvtps_epi32(clampScaledSse(_mm_mul_ps(v, _mm_set1_ps(255.0f))));
    const __m128i s16 = _mm_packs_epi32(i, i);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(s16, s16)));
}

void byteToFloatSse(const Pixel8* in, Pixel32* out, uint32_t n) {
    const __m128 inv256 = _mm_set1_ps(kInv256), scale = _mm_set1_ps(kByteScale);
    for (uint32_t i = 0; i < n; ++i) {
        int32_t word;
        std::memcpy(&word, in + i, 4);
        const __m128 f = _mm_cvtepi32_ps(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)));
        store(out + i, _mm_mul_ps(_mm_mul_ps(f, inv256), scale));
    }
}

void host16ToFloatSse(const Pixel15* in, Pixel32* out, uint32_t n) {
    const __m128 inv = _mm_set1_ps(kInv32768);
    for (uint32_t i = 0; i < n; ++i) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
        store(out + i, _mm_mul_ps(_mm_cvtepi32_ps(_mm_cvtepu16_epi32(v)), inv));
    }
}

void floatToByteSse(const Pixel32* in, Pixel8* out, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t word = packBytes(load(in + i));
        std::memcpy(out + i, &word, 4);
    }
}

void floatToColourSse(const Pixel32* in, Pixel8* out, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t kept;
        std::memcpy(&kept, out + i, 4);
        // Alpha is the first byte, the low one of the little-endian word.
        const uint32_t word = (packBytes(load(in + i)) & ~0xFFu) | (kept & 0xFFu);
        std::memcpy(out + i, &word, 4);
    }
}

void floatToHost16Sse(const Pixel32* in, Pixel15* out, uint32_t n) {
    const __m128 scale = _mm_set1_ps(32768.0f);
    for (uint32_t i = 0; i < n; ++i) {
        const __m128i t = _mm_cvttps_epi32(clampScaledSse(_mm_mul_ps(load(in + i), scale)));
        const __m128i s16 = _mm_max_epi16(_mm_packs_epi32(t, t), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), s16);
    }
}

void floatToRgba8Sse(const Pixel32* in, Pixel8* out, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        const __m128 v = load(in + i);
        const uint32_t word = packBytes(_mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 3, 2, 1)));
        std::memcpy(out + i, &word, 4);
    }
}

void grayscaleSse(Pixel32* p, uint32_t n) {
    const __m128 weights = _mm_setr_ps(0.0f, 0.2126f, 0.7152f, 0.0722f);
    for (uint32_t i = 0; i < n; ++i) {
        const __m128 v = load(p + i);
        __m128 y = _mm_mul_ps(v, weights);
        y = _mm_hadd_ps(y, y);
        y = _mm_hadd_ps(y, y);
        store(p + i, _mm_blend_ps(y, v, 1));  // alpha lane kept
    }
}

inline __m128i expandVec(__m128i v) {
    v = _mm_min_epu16(v, _mm_set1_epi16(int16_t(32768)));
    const __m128i atMostHalf = _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(16384)), _mm_setzero_si128());
    const __m128i two = _mm_andnot_si128(atMostHalf, _mm_set1_epi16(2));
    return _mm_sub_epi16(_mm_add_epi16(v, v), two);
}

void expandSse(const uint16_t* in, uint16_t* out, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), expandVec(v));
    }
    if (i < n) {  // one pixel of four values left
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), expandVec(v));
    }
}

template <class S>
Surface<Pixel32> makeFloatLike(const Surface<S>& src) {
    if (src.empty()) return Surface<Pixel32>();
    return Surface<Pixel32>(src.width, src.height);
}

}  // namespace

void toFloat(const Surface<Pixel8>& src, Surface<Pixel32>& dst, Kernel k) {
    walkRows(src, dst, k == Kernel::Vector ? byteToFloatSse : byteToFloatScalar);
}

void toFloat(const Surface<Pixel15>& src, Surface<Pixel32>& dst, Kernel k) {
    walkRows(src, dst, k == Kernel::Vector ? host16ToFloatSse : host16ToFloatScalar);
}

void toFloat(const Surface<Pixel32>& src, Surface<Pixel32>& dst, Kernel) {
    walkRows(src, dst,
             [](const Pixel32* in, Pixel32* o, uint32_t n) { std::memcpy(o, in, size_t(n) * sizeof(Pixel32)); });
}

namespace {

template <class S>
Surface<Pixel32> converted(const Surface<S>& src, Kernel k) {
    Surface<Pixel32> out = makeFloatLike(src);
    toFloat(src, out, k);
    return out;
}

}  // namespace

Surface<Pixel32> toFloat(const Surface<Pixel8>& src, Kernel k) { return converted(src, k); }
Surface<Pixel32> toFloat(const Surface<Pixel15>& src, Kernel k) { return converted(src, k); }
Surface<Pixel32> toFloat(const Surface<Pixel32>& src, Kernel k) { return converted(src, k); }

void fromFloat(const Surface<Pixel32>& src, Surface<Pixel8>& dst, Kernel k) {
    walkRows(src, dst, k == Kernel::Vector ? floatToByteSse : floatToByteScalar);
}

void fromFloatKeepingAlpha(const Surface<Pixel32>& src, Surface<Pixel8>& dst) { walkRows(src, dst, floatToColourSse); }

void fromFloat(const Surface<Pixel32>& src, Surface<Pixel15>& dst, Kernel k) {
    walkRows(src, dst, k == Kernel::Vector ? floatToHost16Sse : floatToHost16Scalar);
}

void fromFloat(const Surface<Pixel32>& src, Surface<Pixel32>& dst, Kernel) {
    walkRows(src, dst,
             [](const Pixel32* in, Pixel32* o, uint32_t n) { std::memmove(o, in, size_t(n) * sizeof(Pixel32)); });
}

Surface<Pixel8> toRgba8(const Surface<Pixel32>& src, Kernel k) {
    if (src.empty()) return Surface<Pixel8>();
    Surface<Pixel8> out(src.width, src.height);
    walkRows(src, out, k == Kernel::Vector ? floatToRgba8Sse : floatToRgba8Scalar);
    return out;
}

void toGrayscale(Surface<Pixel32>& image, Kernel k) {
    if (image.empty()) return;
    auto fn = k == Kernel::Vector ? grayscaleSse : grayscaleScalar;
    for (uint32_t y = 0; y < image.height; ++y) fn(image.row(y), image.width);
}

void expandHost16(const void* src, void* dst, uint32_t width, uint32_t height, uint64_t stride, Kernel k) {
    if (!src || !dst || width == 0 || height == 0 || stride < uint64_t(width) * 8) return;
    auto fn = k == Kernel::Vector ? expandSse : expandScalar;
    for (uint32_t y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(src) + y * stride);
        auto* out = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(dst) + y * stride);
        fn(in, out, size_t(width) * 4);
    }
}

std::unique_ptr<uint8_t[]> expandHost16(const void* src, uint32_t width, uint32_t height, uint64_t stride, Kernel k) {
    if (!src || width == 0 || height == 0 || stride < uint64_t(width) * 8) return nullptr;
    const unsigned __int128 bytes = static_cast<unsigned __int128>(height) * stride;
    if (bytes > (uint64_t(1) << 48)) throw std::bad_alloc();
    std::unique_ptr<uint8_t[]> out(new uint8_t[static_cast<size_t>(bytes)]);
    expandHost16(src, out.get(), width, height, stride, k);
    return out;
}

void narrowToHost16(void* pixels, uint32_t width, uint32_t height, uint64_t stride) {
    if (!pixels || stride < uint64_t(width) * 8) return;
    for (uint32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(pixels) + y * stride);
        for (size_t i = 0; i < size_t(width) * 4; ++i) row[i] = narrowToHost16(row[i]);
    }
}

}  // namespace ImageLib
