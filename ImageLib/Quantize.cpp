// Quantization: the colour choosers (nearest palette entry, threshold), the
// three scan loops (plain, ordered, error diffusion) and the surface
// write-back. The loops are written once over an arithmetic policy: SseOps
// works on whole 128-bit pixels, ScalarOps is its reference with the same
// operation order, so both give bit-identical results.
#include "ImageLib/Quantize.h"

#include "ImageLib/Octree.h"
#include "ImageLib/PixelMath.h"
#include "ImageLib/SurfaceEntity.h"
#include "ImageLib/Tables.h"

#include <smmintrin.h>

#include <cmath>

#include <vector>

namespace ImageLib {
namespace {

using detail::DiffusionKernel;

struct SseOps {
    using V = __m128;
    static V load(const Pixel32* p) { return _mm_loadu_ps(&p->alpha); }
    static void store(Pixel32* p, V v) { _mm_storeu_ps(&p->alpha, v); }
    static V add(V a, V b) { return _mm_add_ps(a, b); }
    static V sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V splat(float f) { return _mm_set1_ps(f); }
    static float red(V v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, 1)); }
    // (da² + dr²) + (dg² + db²), by two horizontal adds.
    static float distance(V a, V b) {
        const V d = _mm_sub_ps(a, b);
        V s = _mm_mul_ps(d, d);
        s = _mm_hadd_ps(s, s);
        s = _mm_hadd_ps(s, s);
        return _mm_cvtss_f32(s);
    }
};

struct ScalarOps {
    using V = Pixel32;
    static V load(const Pixel32* p) { return *p; }
    static void store(Pixel32* p, V v) { *p = v; }
    static V add(V a, V b) { return {a.alpha + b.alpha, a.red + b.red, a.green + b.green, a.blue + b.blue}; }
    static V sub(V a, V b) { return {a.alpha - b.alpha, a.red - b.red, a.green - b.green, a.blue - b.blue}; }
    static V mul(V a, V b) { return {a.alpha * b.alpha, a.red * b.red, a.green * b.green, a.blue * b.blue}; }
    static V splat(float f) { return {f, f, f, f}; }
    static float red(V v) { return v.red; }
    static float distance(V a, V b) {
        const V d = sub(a, b);
        return (d.alpha * d.alpha + d.red * d.red) + (d.green * d.green + d.blue * d.blue);
    }
};

// Nearest palette entry by squared distance over all four channels; the first
// of equally near entries wins. A colour no entry comes within 1e6 of (far
// out of range, NaN) takes the entry chosen for the previous pixel.
template <class Ops>
struct NearestChooser {
    const Pixel32* colors;
    uint32_t count;
    uint32_t last = 0;

    typename Ops::V operator()(typename Ops::V c) {
        float best = 1e6f;
        uint32_t index = last;
        for (uint32_t e = 0; e < count; ++e) {
            const float d = Ops::distance(Ops::load(colors + e), c);
            if (d < best) {
                best = d;
                index = e;
            }
        }
        last = index;
        return Ops::load(colors + index);
    }
};

// The vector search holds the palette as four lanes of entries (one vector
// per channel) and measures four entries at once with the same operation
// order as SseOps::distance. Each lane keeps its first strictly smaller
// distance; the lanes are then merged by distance, then by lower index, which
// is the entry the one-by-one scan would take.
template <>
struct NearestChooser<SseOps> {
    std::vector<float> lanes;  // per group of four entries: 4 alphas, 4 reds, 4 greens, 4 blues
    const Pixel32* colors;
    uint32_t count;
    uint32_t last = 0;

    NearestChooser(const Pixel32* c, uint32_t n) : colors(c), count(n) {
        const uint32_t groups = (n + 3) / 4;
        lanes.resize(size_t(groups) * 16);
        for (uint32_t g = 0; g < groups; ++g) {
            for (uint32_t j = 0; j < 4; ++j) {
                const uint32_t e = 4 * g + j;
                // Padding entries are infinitely far and never chosen.
                const Pixel32 p = e < n ? c[e] : Pixel32{INFINITY, INFINITY, INFINITY, INFINITY};
                float* group = &lanes[16 * size_t(g)];
                group[j] = p.alpha, group[4 + j] = p.red, group[8 + j] = p.green, group[12 + j] = p.blue;
            }
        }
    }

    __m128 operator()(__m128 c) {
        const __m128 ca = _mm_shuffle_ps(c, c, 0x00), cr = _mm_shuffle_ps(c, c, 0x55),
                     cg = _mm_shuffle_ps(c, c, 0xAA), cb = _mm_shuffle_ps(c, c, 0xFF);
        __m128 best = _mm_set1_ps(1e6f);
        __m128i bestIndex = _mm_setzero_si128();
        __m128i index = _mm_setr_epi32(0, 1, 2, 3);
        const __m128i step = _mm_set1_epi32(4);
        for (size_t g = 0; g < lanes.size(); g += 16, index = _mm_add_epi32(index, step)) {
            const float* group = &lanes[g];
            const __m128 da = _mm_sub_ps(_mm_loadu_ps(group), ca), dr = _mm_sub_ps(_mm_loadu_ps(group + 4), cr);
            const __m128 dg = _mm_sub_ps(_mm_loadu_ps(group + 8), cg), db = _mm_sub_ps(_mm_loadu_ps(group + 12), cb);
            const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(da, da), _mm_mul_ps(dr, dr)),
                                        _mm_add_ps(_mm_mul_ps(dg, dg), _mm_mul_ps(db, db)));
            const __m128 closer = _mm_cmplt_ps(d, best);
            best = _mm_blendv_ps(best, d, closer);
            bestIndex = _mm_blendv_epi8(bestIndex, index, _mm_castps_si128(closer));
        }
        alignas(16) float dist[4];
        alignas(16) int32_t idx[4];
        _mm_store_ps(dist, best);
        _mm_store_si128(reinterpret_cast<__m128i*>(idx), bestIndex);
        int lane = -1;
        for (int j = 0; j < 4; ++j)
            if (dist[j] < 1e6f && (lane < 0 || dist[j] < dist[lane] || (dist[j] == dist[lane] && idx[j] < idx[lane])))
                lane = j;
        if (lane >= 0) last = uint32_t(idx[lane]);
        return SseOps::load(colors + last);
    }
};

// White when red is strictly above the threshold, else black.
template <class Ops>
struct ThresholdChooser {
    float threshold;
    typename Ops::V operator()(typename Ops::V c) const {
        return Ops::load(Ops::red(c) > threshold ? &detail::kWhite : &detail::kBlack);
    }
};

template <class Ops, class Choose>
void plainLoop(Surface<Pixel32>& img, Choose& choose) {
    for (uint32_t y = 0; y < img.height; ++y) {
        Pixel32* row = img.row(y);
        for (uint32_t x = 0; x < img.width; ++x) Ops::store(row + x, choose(Ops::load(row + x)));
    }
}

template <class Ops, class Choose>
void orderedLoop(Surface<Pixel32>& img, const Surface<Pixel32>& matrix, float strength,
                 Choose& choose) {
    const auto s = Ops::splat(strength);
    for (uint32_t y = 0; y < img.height; ++y) {
        Pixel32* row = img.row(y);
        const Pixel32* m = matrix.row(y & (matrix.height - 1));
        for (uint32_t x = 0; x < img.width; ++x) {
            const auto v = Ops::add(Ops::load(row + x), Ops::mul(s, Ops::load(m + (x & (matrix.width - 1)))));
            Ops::store(row + x, choose(v));
        }
    }
}

struct Tap {
    uint32_t row;
    int32_t offset;  // columns right of the current pixel in scan direction
    const Pixel32* weight;
};

template <class Ops, class Choose>
void diffusionLoop(Surface<Pixel32>& img, const DiffusionKernel& kernel, bool serpentine,
                   Choose& choose) {
    const Surface<Pixel32>& k = kernel.weights;
    std::vector<Tap> taps;
    for (uint32_t r = 0; r < k.height; ++r)
        for (uint32_t c = r == 0 ? kernel.current + 1 : 0; c < k.width; ++c)
            if (k.row(r)[c].alpha > 0.0f) taps.push_back({r, int32_t(c) - int32_t(kernel.current), &k.row(r)[c]});

    const int64_t width = img.width;
    for (uint32_t y = 0; y < img.height; ++y) {
        const bool reverse = serpentine && (y & 1);
        const int64_t dir = reverse ? -1 : 1;
        for (int64_t i = 0; i < width; ++i) {
            const int64_t x = reverse ? width - 1 - i : i;
            Pixel32* p = img.row(y) + x;
            const auto c = Ops::load(p);
            const auto q = choose(c);
            Ops::store(p, q);
            const auto err = Ops::sub(c, q);
            for (const Tap& t : taps) {
                if (uint64_t(y) + t.row >= img.height) break;  // taps are in row order
                const int64_t column = i + t.offset;
                if (column < 0 || column >= width) continue;
                Pixel32* target = img.row(y + t.row) + (x + t.offset * dir);
                Ops::store(target, Ops::add(Ops::load(target), Ops::mul(err, Ops::load(t.weight))));
            }
        }
    }
}

enum class Mode { None, Plain, Diffusion, Ordered };

template <class Ops, class Choose>
void runLoop(Surface<Pixel32>& img, Mode mode, int ditherValue, float strength, bool serpentine,
             Choose& choose) {
    switch (mode) {
        case Mode::Plain: plainLoop<Ops>(img, choose); break;
        case Mode::Diffusion:
            diffusionLoop<Ops>(img, *detail::diffusionKernel(ditherValue), serpentine, choose);
            break;
        case Mode::Ordered:
            orderedLoop<Ops>(img, *detail::thresholdMatrix(ditherValue), strength, choose);
            break;
        case Mode::None: break;
    }
}

template <class Ops>
void quantizeWith(Surface<Pixel32>& img, int palette, Mode mode, int ditherValue, float amount,
                  bool serpentine) {
    if (palette == 1) {
        ThresholdChooser<Ops> choose{amount};
        runLoop<Ops>(img, mode, ditherValue, 0.2f, serpentine, choose);
        return;
    }
    if (palette >= 2 && palette <= 7) {
        OctreeQuantizer octree;
        OctreePaletteGuard guard{octree};
        {
            const Surface<Pixel8> rgba = toRgba8(img);
            buildOctreePalette(octree, static_cast<const uint8_t*>(rgba.data), rgba.width,
                               rgba.height, 8u << (palette - 2));
        }
        if (octree.paletteCount == 0) return;
        NearestChooser<Ops> choose{octree.palette, octree.paletteCount};
        runLoop<Ops>(img, mode, ditherValue, amount, serpentine, choose);
        return;
    }
    const Palette fixed = fixedPalette(palette);
    if (fixed.count == 0) return;  // 8, below 1, above 21
    NearestChooser<Ops> choose{fixed.colors, fixed.count};
    runLoop<Ops>(img, mode, ditherValue, amount, serpentine, choose);
}

// Alpha as the working image had it before quantizing.
inline float alphaAsFloat(const Pixel8& p) { return detail::byteToFloat(p.alpha); }
inline float alphaAsFloat(const Pixel15& p) { return detail::host16ToFloat(p.alpha); }
inline float alphaAsFloat(const Pixel32& p) { return p.alpha; }

}  // namespace

void quantizeImage(Surface<Pixel32>& image, int palette, int64_t d, float amount, bool serpentine,
                   Kernel k) {
    if (image.empty()) return;
    Mode mode = Mode::None;
    if (d == 0) mode = Mode::Plain;
    else if (d >= 2 && d <= 10) mode = Mode::Diffusion;
    else if (d >= 12 && d <= 14) mode = Mode::Ordered;
    if (mode == Mode::None) return;
    const int ditherValue = int(d + 1);
    if (k == Kernel::Vector)
        quantizeWith<SseOps>(image, palette, mode, ditherValue, amount, serpentine);
    else
        quantizeWith<ScalarOps>(image, palette, mode, ditherValue, amount, serpentine);
}

template <class P>
bool quantizeSurface(Surface<P>& image, int palette, int dither, float amount, bool grayscale,
                     bool serpentine, Kernel k) {
    if (image.empty() || image.stride < uint64_t(image.width) * sizeof(P)) return false;
    // Rows must start on a whole channel (16-bit and float pixels).
    if (image.stride % alignof(P) != 0 || reinterpret_cast<uintptr_t>(image.data) % alignof(P) != 0) return false;
    Surface<Pixel32> work = toFloat(image, k);
    if (grayscale || palette == 1) toGrayscale(work, k);
    quantizeImage(work, palette, int64_t(dither) - 1, amount, serpentine, k);
    for (uint32_t y = 0; y < image.height; ++y) {
        const P* src = image.row(y);
        Pixel32* dst = work.row(y);
        for (uint32_t x = 0; x < image.width; ++x) dst[x].alpha = alphaAsFloat(src[x]);
    }
    fromFloat(work, image, k);
    return true;
}

template bool quantizeSurface(Surface<Pixel8>&, int, int, float, bool, bool, Kernel);
template bool quantizeSurface(Surface<Pixel15>&, int, int, float, bool, bool, Kernel);
template bool quantizeSurface(Surface<Pixel32>&, int, int, float, bool, bool, Kernel);

namespace {

// Checks that the entity's pixels cover the image before viewing them.
template <class P>
bool quantizeEntity(::Surface& s, int palette, int dither, float amount, bool grayscale,
                    bool serpentine, Kernel k) {
    const uint64_t rowBytes = uint64_t(s.width) * sizeof(P);
    const uint64_t stride = s.stride ? s.stride : rowBytes;
    if (stride < rowBytes) return false;
    const unsigned __int128 need = static_cast<unsigned __int128>(s.height - 1) * stride + rowBytes;
    if (need > s.pixelBytes()) return false;
    Surface<P> view(s.width, s.height, stride, s.pixels());
    return quantizeSurface(view, palette, dither, amount, grayscale, serpentine, k);
}

}  // namespace

bool quantizeSurface(::Surface& s, int palette, int dither, float amount, bool grayscale,
                     bool serpentine, Kernel k) {
    if (s.width == 0 || s.height == 0 || s.pixels() == nullptr) return false;
    switch (s.depth) {
        case 8: return quantizeEntity<Pixel8>(s, palette, dither, amount, grayscale, serpentine, k);
        case 16: return quantizeEntity<Pixel15>(s, palette, dither, amount, grayscale, serpentine, k);
        case 32: return quantizeEntity<Pixel32>(s, palette, dither, amount, grayscale, serpentine, k);
        default: return false;
    }
}

}  // namespace ImageLib
