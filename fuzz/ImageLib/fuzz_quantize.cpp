// Quantization and dithering of a surface entity with fuzzed size, stride,
// depth, pixel block length, palette, dither, amount, grayscale and
// serpentine flags, and pixels straight from the input (so 32-bit surfaces
// get NaN, infinities and huge values). Checks: the vector and scalar
// kernels give the same bytes (NaN sign bits aside); a refused surface is
// left untouched; alpha is never changed except a 16-bit 32768 or more (the
// top of the host's range or past it) becoming 32767. Then the adaptive
// palette is built alone from the same bytes with a fuzzed colour limit.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "ImageLib/Octree.h"
#include "ImageLib/Quantize.h"
#include "gpu/SurfaceEntity.h"

namespace {

struct Quantized {
    std::shared_ptr<std::vector<uint8_t>> pixels;
    bool done;
};

Quantized quantize(const std::vector<uint8_t>& block, uint32_t w, uint32_t h, uint32_t depth, uint64_t stride,
                   int palette, int dither, float amount, bool grey, bool serpentine, ImageLib::Kernel k) {
    auto pixels = std::make_shared<std::vector<uint8_t>>(block);
    gpu::Surface s;
    s.assignShared(w, h, depth, stride, pixels);
    const bool done = gpu::quantizeSurface(s, palette, dither, amount, grey, serpentine, k);
    return {pixels, done};
}

// The same bytes, except that any two NaNs of a float surface count as
// equal (the kernels may give a NaN channel different sign bits).
bool sameResult(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t depth) {
    if (a == b) return true;
    if (depth != 32 || a.size() != b.size()) return false;
    for (size_t i = 0; i + 4 <= a.size(); i += 4) {
        float x, y;
        std::memcpy(&x, &a[i], 4);
        std::memcpy(&y, &b[i], 4);
        // Bit for bit (a zero's sign too), where NaNs of any payload match.
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
        if (std::memcmp(&x, &y, 4) != 0 && !(std::isnan(x) && std::isnan(y))) return false;
    }
    return std::equal(a.end() - a.size() % 4, a.end(), b.end() - b.size() % 4);
}

// Alpha of every pixel kept (bytes 0..bytesPerChannel-1 of each pixel).
void checkAlpha(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, uint32_t w, uint32_t h,
                uint32_t depth, uint64_t stride) {
    const uint32_t channel = depth / 8, pixel = channel * 4;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const size_t at = size_t(y) * stride + size_t(x) * pixel;
            if (std::memcmp(&before[at], &after[at], channel) == 0) continue;
            uint16_t a = 0, b = 0;
            if (depth == 16) {
                std::memcpy(&a, &before[at], 2);
                std::memcpy(&b, &after[at], 2);
            }
            if (!(depth == 16 && a >= 32768 && b == 32767)) {
                std::fprintf(stderr, "alpha changed at %u,%u depth %u: %u to %u\n", x, y, depth, a, b);
                __builtin_trap();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const uint32_t kDepths[] = {8, 16, 32, 0, 24};
    const uint32_t depth = kDepths[in.ConsumeIntegralInRange<uint32_t>(0, 4)];
    const uint32_t w = in.ConsumeIntegralInRange<uint32_t>(0, 48);
    const uint32_t h = in.ConsumeIntegralInRange<uint32_t>(0, 48);
    const uint64_t rowBytes = uint64_t(w) * (depth ? depth / 2 : 4);
    // Usually a valid stride with padding; sometimes 0 (packed) or too short.
    const int64_t pad = in.ConsumeIntegralInRange<int64_t>(-8, 40);
    const uint64_t stride = pad < -4 ? 0 : uint64_t(std::max<int64_t>(0, int64_t(rowBytes) + pad));
    const int palette = in.ConsumeIntegralInRange<int>(-1, 23);
    const int dither = in.ConsumeIntegralInRange<int>(-1, 17);
    const float amount = in.ConsumeFloatingPoint<float>();
    const bool grey = in.ConsumeBool(), serpentine = in.ConsumeBool();
    const uint32_t limit = in.ConsumeIntegralInRange<uint32_t>(0, 300);
    // Usually enough bytes for the image; sometimes a few short of it.
    const uint64_t need = h ? (h - 1) * (stride ? stride : rowBytes) + rowBytes : 0;
    const uint64_t shortBy = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<uint64_t>(0, 64);
    std::vector<uint8_t> block(need > shortBy ? need - shortBy : 0);
    const std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
    for (size_t i = 0; i < block.size() && !rest.empty(); ++i) block[i] = rest[i % rest.size()];

    const Quantized vec =
        quantize(block, w, h, depth, stride, palette, dither, amount, grey, serpentine, ImageLib::Kernel::Vector);
    const Quantized sca =
        quantize(block, w, h, depth, stride, palette, dither, amount, grey, serpentine, ImageLib::Kernel::Scalar);
    if (vec.done != sca.done || !sameResult(*vec.pixels, *sca.pixels, depth)) {
        std::fprintf(stderr, "the kernels differ (depth %u, %ux%u, palette %d, dither %d)\n", depth, w, h, palette,
                     dither);
        __builtin_trap();
    }
    if (!vec.done && *vec.pixels != block) __builtin_trap();  // refused: untouched
    if (vec.done) checkAlpha(block, *vec.pixels, w, h, depth, stride ? stride : rowBytes);

    if (w && h && rest.size() >= size_t(w) * h * 4) {
        ImageLib::OctreeQuantizer q;
        ImageLib::OctreePaletteGuard guard{q};
        ImageLib::buildOctreePalette(q, rest.data(), w, h, limit);
        const uint32_t clamped = limit < 1 ? 1 : limit > 256 ? 256 : limit;
        if (q.paletteCount > clamped || q.paletteCount == 0) __builtin_trap();
        for (uint32_t i = 0; i < q.paletteCount; ++i) {
            const ImageLib::Pixel32& c = q.palette[i];
            if (!(c.red >= 0 && c.red <= 1 && c.green >= 0 && c.green <= 1 && c.blue >= 0 && c.blue <= 1))
                __builtin_trap();
        }
    }
    return 0;
}
