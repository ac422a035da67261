// Quantization: the palette choice, the surface write-back and the scalar
// reference of the scan: the colour choosers (nearest palette entry,
// threshold) and the three loops (plain, ordered, error diffusion) one
// channel at a time. The vector kernels (QuantizeScan.h) do the same float
// operations in the same order and must give bit-identical results.
#include "ImageLib/Quantize.h"

#include "Octree.h"
#include "QuantizeScan.h"
#include "PixelMath.h"
#include "ImageLib/Tables.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <vector>

namespace ImageLib {
namespace {

using detail::DiffusionKernel;

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
void orderedLoop(Surface<Pixel32>& img, const Surface<Pixel32>& matrix, float strength, Choose& choose) {
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
void diffusionLoop(Surface<Pixel32>& img, const DiffusionKernel& kernel, bool serpentine, Choose& choose) {
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
void runLoop(Surface<Pixel32>& img, Mode mode, int ditherValue, float strength, bool serpentine, Choose& choose) {
    switch (mode) {
        case Mode::Plain: plainLoop<Ops>(img, choose); break;
        case Mode::Diffusion: diffusionLoop<Ops>(img, *detail::diffusionKernel(ditherValue), serpentine, choose); break;
        case Mode::Ordered: orderedLoop<Ops>(img, *detail::thresholdMatrix(ditherValue), strength, choose); break;
        case Mode::None: break;
    }
}

// The palette laid out for the vector search (see detail::SearchTable);
// palettes of more than 16 entries are sorted by the channel in which they
// spread most, so that the search can stop early.
struct SearchStorage {
    alignas(32) float soa[32 * 32];
    alignas(32) float index[256];
    alignas(32) float boxSoa[32 * 32];
    alignas(32) float boxIndex[256];
    alignas(32) float boxLow[4 * 32];
    alignas(32) float boxHigh[4 * 32];
    float low[32], high[32];
    // The entries' red, green and blue in double for building grid cells,
    // padded to an even count with an entry too far to count.
    alignas(16) double cellRed[256], cellGreen[256], cellBlue[256];
    uint16_t start[256];
    detail::SearchTable table;
    const Pixel32* colors = nullptr;
    uint32_t count = 0;
    std::vector<detail::CellList> cells;
    std::vector<std::unique_ptr<float[]>> cellData;

    SearchStorage(const Pixel32* colors, uint32_t count) {
        uint32_t order[256];
        for (uint32_t i = 0; i < count; ++i) order[i] = i;
        const uint32_t channel = count > 16 ? widestChannel(colors, count) : 0;
        const auto value = [&](uint32_t i) { return (&colors[i].alpha)[channel]; };
        if (channel != 0)
            std::sort(order, order + count,
                      [&](uint32_t a, uint32_t b) { return value(a) < value(b) || (value(a) == value(b) && a < b); });
        table.blocks = (count + 7) / 8;
        layBlocks(colors, count, order, soa, index);
        table.soa = soa;
        table.index = index;
        table.channel = channel;
        if (channel == 0) return;
        for (uint32_t k = 0; k < table.blocks; ++k) {
            low[k] = value(order[8 * k]);
            high[k] = value(order[std::min(count, 8 * k + 8) - 1]);
        }
        for (uint32_t bucket = 0, s = 0; bucket < 256; ++bucket) {
            while (s + 1 < count && value(order[s]) < float(bucket) / 256.0f) ++s;
            start[bucket] = uint16_t(s / 8);
        }
        table.low = low;
        table.high = high;
        table.start = start;
        for (uint32_t i = 0; i < count; ++i) {
            const Pixel32& c = colors[i];
            const auto unit = [](float v) { return v >= 0.0f && v <= 1.0f; };
            if (!(c.alpha == 1.0f && unit(c.red) && unit(c.green) && unit(c.blue))) return;
        }
        this->colors = colors;
        this->count = count;
        for (uint32_t i = 0; i < (count + 1) / 2 * 2; ++i) {
            const Pixel32 far{1e30f, 1e30f, 1e30f, 1e30f};
            const Pixel32& c = i < count ? colors[i] : far;
            cellRed[i] = c.red, cellGreen[i] = c.green, cellBlue[i] = c.blue;
        }
        cells.resize(4096);
        table.cells = cells.data();
        table.buildCell = buildCell;
        table.cellContext = this;
        layBoxes();
    }

    // Entries in blocks of 8 (`order` gives the palette index of each
    // slot), padded with entries that are never chosen.
    static void layBlocks(const Pixel32* colors, uint32_t count, const uint32_t* order, float* blocks, float* numbers) {
        for (uint32_t s = 0; s < 8 * ((count + 7) / 8); ++s) {
            const Pixel32 far{INFINITY, INFINITY, INFINITY, INFINITY};
            const Pixel32& c = s < count ? colors[order[s]] : far;
            float* block = blocks + 32 * (s / 8) + s % 8;
            block[0] = c.alpha, block[8] = c.red, block[16] = c.green, block[24] = c.blue;
            numbers[s] = s < count ? float(order[s]) : 1e9f;
        }
    }

    // Blocks of near neighbours: the entries in the order of their colours'
    // interleaved bits (red, green, blue in 0..1), so that each block spans
    // a small box.
    void layBoxes() {
        const auto key = [&](uint32_t i) {
            // Colours are in 0..1 here, so adding a half rounds.
            const auto bits = [](float v) {
                return uint32_t(v * 255.0f + 0.5f);  // NOLINT(bugprone-incorrect-roundings)
            };
            const uint32_t r = bits(colors[i].red), g = bits(colors[i].green), b = bits(colors[i].blue);
            uint32_t k = 0;
            for (int bit = 7; bit >= 0; --bit)
                k = (k << 3) | ((r >> bit & 1) << 2) | ((g >> bit & 1) << 1) | (b >> bit & 1);
            return k;
        };
        uint32_t order[256];
        for (uint32_t i = 0; i < count; ++i) order[i] = i;
        std::sort(order, order + count,
                  [&](uint32_t a, uint32_t b) { return key(a) < key(b) || (key(a) == key(b) && a < b); });
        layBlocks(colors, count, order, boxSoa, boxIndex);
        std::fill(boxLow, boxLow + 4 * 32, INFINITY);
        std::fill(boxHigh, boxHigh + 4 * 32, INFINITY);
        for (uint32_t s = 0; s < count; ++s) {
            const float* c = &colors[order[s]].alpha;
            for (uint32_t ch = 0; ch < 4; ++ch) {
                float& low = boxLow[32 * ch + s / 8];
                float& high = boxHigh[32 * ch + s / 8];
                low = s % 8 == 0 ? c[ch] : std::min(low, c[ch]);
                high = s % 8 == 0 ? c[ch] : std::max(high, c[ch]);
            }
        }
        table.boxes = {boxSoa, boxIndex, boxLow, boxHigh, table.blocks};
    }

    // Grid cells: the entries whose distance to the cell is within the
    // smallest farthest distance of any entry from it, plus a margin far
    // above the float rounding of a distance under 7 (alpha within -1..3,
    // so that every entry the float search can rank first or equal first
    // is kept. Computed in double from the float entries. Without memory
    // for it the cell stays empty and the search goes without it.
    static void buildCell(void* context, uint32_t cell) {
        try {
            fillCell(*static_cast<SearchStorage*>(context), cell);
        } catch (const std::bad_alloc&) {}
    }

    // Two entries at a time, each with the arithmetic of one.
    static void fillCell(SearchStorage& s, uint32_t cell) {
        const double size = 1.0 / 16;
        const __m128d lo[3] = {_mm_set1_pd((cell >> 8) * size), _mm_set1_pd(((cell >> 4) & 15) * size),
                               _mm_set1_pd((cell & 15) * size)};
        const double* channel[3] = {s.cellRed, s.cellGreen, s.cellBlue};
        const __m128d side = _mm_set1_pd(size), zero = _mm_setzero_pd();
        __m128d bounds = _mm_set1_pd(INFINITY);
        for (uint32_t i = 0; i < s.count; i += 2) {
            __m128d far = zero;
            for (int ch = 0; ch < 3; ++ch) {
                const __m128d d = _mm_sub_pd(_mm_load_pd(channel[ch] + i), lo[ch]), e = _mm_sub_pd(d, side);
                far = _mm_add_pd(far, _mm_max_pd(_mm_mul_pd(d, d), _mm_mul_pd(e, e)));
            }
            bounds = _mm_min_pd(bounds, far);
        }
        const __m128d bound = _mm_add_pd(_mm_min_pd(bounds, _mm_unpackhi_pd(bounds, bounds)), _mm_set1_pd(1e-4));
        std::vector<uint32_t> keep;
        for (uint32_t i = 0; i < s.count; i += 2) {
            __m128d near = zero;
            for (int ch = 0; ch < 3; ++ch) {
                const __m128d v = _mm_load_pd(channel[ch] + i);
                const __m128d out =
                    _mm_max_pd(_mm_max_pd(zero, _mm_sub_pd(lo[ch], v)), _mm_sub_pd(_mm_sub_pd(v, lo[ch]), side));
                near = _mm_add_pd(near, _mm_mul_pd(out, out));
            }
            const int kept = _mm_movemask_pd(_mm_cmple_pd(near, _mm_unpacklo_pd(bound, bound)));
            if (kept & 1) keep.push_back(i);
            if (kept & 2) keep.push_back(i + 1);
        }
        const uint32_t blocks = uint32_t((keep.size() + 7) / 8);
        const uint32_t stored =
            blocks <= detail::kShorterList ? detail::kShorterList : std::max(blocks, detail::kShortList);
        std::unique_ptr<float[]> data(new float[40 * size_t(stored)]);
        float* soa = data.get();
        s.cellData.push_back(std::move(data));
        float* index = soa + 32 * size_t(stored);
        for (uint32_t k = 0; k < 8 * stored; ++k) {
            const Pixel32 far{INFINITY, INFINITY, INFINITY, INFINITY};
            const Pixel32& c = k < keep.size() ? s.colors[keep[k]] : far;
            float* block = soa + 32 * (k / 8) + k % 8;
            block[0] = c.alpha, block[8] = c.red, block[16] = c.green, block[24] = c.blue;
            index[k] = k < keep.size() ? float(keep[k]) : 1e9f;
        }
        s.cells[cell] = {soa, index, blocks};
    }

    static uint32_t widestChannel(const Pixel32* colors, uint32_t count) {
        uint32_t best = 1;
        double bestSpread = -1.0;
        for (uint32_t ch = 1; ch <= 3; ++ch) {
            double sum = 0.0, squares = 0.0;
            for (uint32_t i = 0; i < count; ++i) {
                const double v = (&colors[i].alpha)[ch];
                sum += v;
                squares += v * v;
            }
            const double spread = squares - sum * sum / count;
            if (spread > bestSpread) best = ch, bestSpread = spread;
        }
        return best;
    }
};

// A vector scan set up once per image: the search table, the taps or the
// matrix offsets, and the choice carried from one band of rows to the next.
struct VectorScan {
    detail::ScanJob job;
    std::optional<SearchStorage> search;
    std::vector<detail::ScanTap> taps;
    std::vector<float> offsets;
    uint32_t last = 0;
    uint32_t carry = 0;  // rows below the scanned ones that errors reach
    detail::QuantizePath path;

    VectorScan(Mode mode, int ditherValue, float strength, bool serpentine, const Pixel32* colors, uint32_t count,
               float threshold, detail::QuantizePath p)
        : path(p) {
        job.threshold = threshold;
        job.last = &last;
        if (colors) {
            search.emplace(colors, count);
            job.colors = &colors->alpha;
            job.count = count;
            job.table = search->table;
        }
        if (mode == Mode::Ordered) {
            job.mode = detail::ScanMode::Ordered;
            const Surface<Pixel32>& m = *detail::thresholdMatrix(ditherValue);
            for (uint32_t y = 0; y < m.height; ++y)
                for (uint32_t x = 0; x < m.width; ++x) offsets.push_back(strength * m.row(y)[x].alpha);
            job.offsets = offsets.data();
            job.matrixSize = m.width;
        } else if (mode == Mode::Diffusion) {
            job.mode = detail::ScanMode::Diffusion;
            const detail::DiffusionKernel& kernel = *detail::diffusionKernel(ditherValue);
            const Surface<Pixel32>& k = kernel.weights;
            for (uint32_t r = 0; r < k.height; ++r)
                for (uint32_t c = r == 0 ? kernel.current + 1 : 0; c < k.width; ++c)
                    if (k.row(r)[c].alpha > 0.0f)
                        taps.push_back({r, int32_t(c) - int32_t(kernel.current), k.row(r)[c].alpha});
            job.taps = taps.data();
            job.tapCount = uint32_t(taps.size());
            job.serpentine = serpentine;
            carry = k.height - 1;
        }
    }

    // Scans the first n rows of `rows` (image rows from firstRow on); the
    // diffusion also adds to the rest of them.
    void run(Surface<Pixel32>& rows, uint32_t n, uint32_t firstRow) {
        job.data = static_cast<uint8_t*>(rows.data);
        job.stride = rows.stride;
        job.width = rows.width;
        job.height = n;
        job.firstRow = firstRow;
        job.rowsBelow = rows.height - n;
        if (path == detail::QuantizePath::Avx2) detail::scanAvx2(job);
        else detail::scanSse2(job);
    }
};

// Runs one scan with the threshold (colors null) or the nearest of `count`
// colours.
void runOn(Surface<Pixel32>& img, Mode mode, int ditherValue, float strength, bool serpentine, const Pixel32* colors,
           uint32_t count, float threshold, detail::QuantizePath path) {
    if (path != detail::QuantizePath::Scalar)
        return VectorScan(mode, ditherValue, strength, serpentine, colors, count, threshold, path)
            .run(img, img.height, 0);
    if (!colors) {
        ThresholdChooser<ScalarOps> choose{threshold};
        return runLoop<ScalarOps>(img, mode, ditherValue, strength, serpentine, choose);
    }
    NearestChooser<ScalarOps> choose{colors, count};
    runLoop<ScalarOps>(img, mode, ditherValue, strength, serpentine, choose);
}

// What a palette value quantizes to: the threshold (colors null), the
// adaptive palette of the image (from `rgba()`, its packed 8-bit copy), or a
// fixed palette; `active` is false for values that do nothing.
struct PaletteChoice {
    OctreeQuantizer octree;
    OctreePaletteGuard guard{octree};
    const Pixel32* colors = nullptr;
    uint32_t count = 0;
    float strength = 0.0f;
    bool active = false;

    template <class Rgba>
    PaletteChoice(int palette, float amount, Rgba rgba) : strength(amount) {
        if (palette == 1) {
            strength = 0.2f;
            active = true;
        } else if (palette >= 2 && palette <= 7) {
            {
                const Surface<Pixel8> bytes = rgba();
                buildOctreePalette(octree, static_cast<const uint8_t*>(bytes.data), bytes.width, bytes.height,
                                   8u << (palette - 2));
            }
            colors = octree.palette, count = octree.paletteCount;
            active = count > 0;
        } else {
            const Palette fixed = fixedPalette(palette);  // none for 8, below 1, above 21
            colors = fixed.colors, count = fixed.count;
            active = count > 0;
        }
    }
};

void quantizeOn(Surface<Pixel32>& img, int palette, Mode mode, int ditherValue, float amount, bool serpentine,
                detail::QuantizePath path) {
    const PaletteChoice choice(palette, amount, [&] { return toRgba8(img); });
    if (choice.active)
        runOn(img, mode, ditherValue, choice.strength, serpentine, choice.colors, choice.count, amount, path);
}

// Alpha as the working image had it before quantizing.
inline float alphaAsFloat(const Pixel8& p) { return detail::byteToFloat(p.alpha); }
inline float alphaAsFloat(const Pixel15& p) { return detail::host16ToFloat(p.alpha); }
inline float alphaAsFloat(const Pixel32& p) { return p.alpha; }

detail::QuantizePath pathFor(Kernel k) {
    return k == Kernel::Vector ? detail::vectorPath() : detail::QuantizePath::Scalar;
}

Mode modeOf(int64_t internalDither) {
    if (internalDither == 0) return Mode::Plain;
    if (internalDither >= 2 && internalDither <= 10) return Mode::Diffusion;
    if (internalDither >= 12 && internalDither <= 14) return Mode::Ordered;
    return Mode::None;
}

void quantizeImageOn(Surface<Pixel32>& image, int palette, int64_t d, float amount, bool serpentine,
                     detail::QuantizePath path) {
    const Mode mode = modeOf(d);
    if (image.empty() || mode == Mode::None) return;
    quantizeOn(image, palette, mode, int(d + 1), amount, serpentine, path);
}

}  // namespace

detail::QuantizePath detail::vectorPath() {
    static const QuantizePath path = __builtin_cpu_supports("avx2") ? QuantizePath::Avx2 : QuantizePath::Sse2;
    return path;
}

void detail::quantizeImage(Surface<Pixel32>& image, const Pixel32* colors, uint32_t count, int dither, float amount,
                           bool serpentine, QuantizePath path) {
    const Mode mode = modeOf(int64_t(dither) - 1);
    if (image.empty() || mode == Mode::None || count < 1 || count > 256) return;
    runOn(image, mode, dither, amount, serpentine, colors, count, amount, path);
}

void quantizeImage(Surface<Pixel32>& image, int palette, int64_t d, float amount, bool serpentine, Kernel k) {
    quantizeImageOn(image, palette, d, amount, serpentine, pathFor(k));
}

namespace {

// The vector path converts, scans and writes back a band of rows at a
// time, so that the float rows stay in cache; the diffusion keeps the rows
// below a band that its errors reach and carries them into the next.
constexpr uint32_t kBandRows = 21;

template <class P>
void quantizeInBands(Surface<P>& image, int palette, int dither, float amount, bool grayscale, bool serpentine,
                     detail::QuantizePath path) {
    const auto floatRows = [&](uint32_t y, uint32_t n) {
        const Surface<P> view(image.width, n, image.stride, image.row(y));
        Surface<Pixel32> rows = toFloat(view);
        if (grayscale || palette == 1) toGrayscale(rows);
        return rows;
    };
    const Mode mode = modeOf(int64_t(dither) - 1);
    std::optional<PaletteChoice> choice;
    if (mode != Mode::None)
        choice.emplace(palette, amount, [&] {
            // An 8-bit byte comes back from its float unchanged, so packed
            // 8-bit rows in colour need no conversion: read from each
            // pixel's red on, they are red, green, blue and the next pixel's
            // alpha, which the palette never reads.
            if constexpr (std::is_same_v<P, Pixel8>)
                if (!grayscale && palette != 1 && image.stride == uint64_t(image.width) * sizeof(P))
                    return Surface<Pixel8>(image.width, image.height, image.stride,
                                           static_cast<uint8_t*>(image.data) + 1);
            Surface<Pixel8> rgba(image.width, image.height);
            for (uint32_t y = 0; y < image.height; y += kBandRows) {
                const Surface<Pixel8> part = toRgba8(floatRows(y, std::min(kBandRows, image.height - y)));
                std::memcpy(rgba.row(y), part.data, size_t(part.stride) * part.height);
            }
            return rgba;
        });
    std::optional<VectorScan> scan;
    if (choice && choice->active)
        scan.emplace(mode, dither, choice->strength, serpentine, choice->colors, choice->count, amount, path);
    const uint32_t carry = scan ? scan->carry : 0;

    // Everything is allocated before the first row is written (the scan
    // allocates nothing it cannot do without), so a failing allocation
    // leaves the surface as it was.
    Surface<Pixel32> band(image.width, std::min(kBandRows + carry, image.height));
    const bool avx2Bytes = std::is_same_v<P, Pixel8> && path == detail::QuantizePath::Avx2;
    uint32_t ready = 0;  // rows at the top of `band` already converted
    for (uint32_t y = 0; y < image.height;) {
        const uint32_t n = std::min(kBandRows, image.height - y);
        const uint32_t below = std::min(carry, image.height - y - n);
        if (ready < n + below) {
            const Surface<P> from(image.width, n + below - ready, image.stride, image.row(y + ready));
            Surface<Pixel32> to(image.width, n + below - ready, band.stride, band.row(ready));
            if (avx2Bytes) {
                for (uint32_t r = 0; r < to.height; ++r)
                    detail::bytesToFloatsAvx2(reinterpret_cast<const uint8_t*>(from.row(r)),
                                              reinterpret_cast<float*>(to.row(r)), image.width, detail::kInv256,
                                              detail::kByteScale);
            } else {
                toFloat(from, to);
            }
            if (grayscale || palette == 1) toGrayscale(to);
        }
        Surface<Pixel32> rows(image.width, n + below, band.stride, band.data);
        if (scan) scan->run(rows, n, y);
        Surface<Pixel32> done(image.width, n, band.stride, band.data);
        Surface<P> out(image.width, n, image.stride, image.row(y));
        if constexpr (std::is_same_v<P, Pixel8>) {
            // An 8-bit alpha comes back from its float as the same byte, so
            // the surface's own alpha bytes stay.
            if (avx2Bytes) {
                for (uint32_t r = 0; r < n; ++r)
                    detail::floatsToColourAvx2(reinterpret_cast<const float*>(done.row(r)),
                                               reinterpret_cast<uint8_t*>(out.row(r)), image.width,
                                               detail::kScaledLimit);
            } else {
                fromFloatKeepingAlpha(done, out);
            }
        } else {
            for (uint32_t r = 0; r < n; ++r) {
                const P* src = image.row(y + r);
                Pixel32* dst = band.row(r);
                for (uint32_t x = 0; x < image.width; ++x) dst[x].alpha = alphaAsFloat(src[x]);
            }
            fromFloat(done, out);
        }
        std::memmove(band.row(0), band.row(n), size_t(band.stride) * below);
        ready = below;
        y += n;
    }
}

}  // namespace

template <class P>
bool detail::quantizeSurface(Surface<P>& image, int palette, int dither, float amount, bool grayscale, bool serpentine,
                             QuantizePath path) {
    if (image.empty() || image.stride < uint64_t(image.width) * sizeof(P)) return false;
    // Rows must start on a whole channel (16-bit and float pixels).
    if (image.stride % alignof(P) != 0 || reinterpret_cast<uintptr_t>(image.data) % alignof(P) != 0) return false;
    if (path != QuantizePath::Scalar) {
        quantizeInBands(image, palette, dither, amount, grayscale, serpentine, path);
        return true;
    }
    Surface<Pixel32> work = toFloat(image, Kernel::Scalar);
    if (grayscale || palette == 1) toGrayscale(work, Kernel::Scalar);
    quantizeImageOn(work, palette, int64_t(dither) - 1, amount, serpentine, path);
    for (uint32_t y = 0; y < image.height; ++y) {
        const P* src = image.row(y);
        Pixel32* dst = work.row(y);
        for (uint32_t x = 0; x < image.width; ++x) dst[x].alpha = alphaAsFloat(src[x]);
    }
    fromFloat(work, image, Kernel::Scalar);
    return true;
}

template <class P>
bool quantizeSurface(Surface<P>& image, int palette, int dither, float amount, bool grayscale, bool serpentine,
                     Kernel k) {
    return detail::quantizeSurface(image, palette, dither, amount, grayscale, serpentine, pathFor(k));
}

#define LUMIVEX_QUANTIZE_DEPTH(P)                                                    \
    template bool quantizeSurface(Surface<P>&, int, int, float, bool, bool, Kernel); \
    template bool detail::quantizeSurface(Surface<P>&, int, int, float, bool, bool, detail::QuantizePath);
LUMIVEX_QUANTIZE_DEPTH(Pixel8)
LUMIVEX_QUANTIZE_DEPTH(Pixel15)
LUMIVEX_QUANTIZE_DEPTH(Pixel32)
#undef LUMIVEX_QUANTIZE_DEPTH

}  // namespace ImageLib
