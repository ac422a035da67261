// The quantizer's output bytes, recorded before its search, diffusion and
// palette code were rewritten for speed, must not change: every palette,
// every dither, 8/16/32-bit, with amount, grayscale and serpentine varied, on
// random images with padded rows (the padding must come back untouched).
#include "ImageLib/Quantize.h"
#include "ImageTestUtil.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>

using namespace imagetest;

namespace {

uint64_t fnv1a(uint64_t h, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

// 37 x 29 pixels (more than 256 colours, so the adaptive palettes fill up)
// with 3 pixels of padding per row.
constexpr uint32_t kW = 37, kH = 29, kPad = 3;

template <class P>
std::vector<uint8_t> randomImage(uint32_t seed) {
    const size_t n = size_t(kW + kPad) * kH * 4;
    std::vector<uint8_t> bytes(n * sizeof(P) / 4);
    if constexpr (sizeof(P) == 4) {
        bytes = randomBytes(n, seed);
    } else if constexpr (sizeof(P) == 8) {
        std::mt19937 rng(seed);
        auto* v = reinterpret_cast<uint16_t*>(bytes.data());
        for (size_t i = 0; i < n; ++i) v[i] = uint16_t(rng() % 32769);
    } else {
        std::vector<float> f = randomFloats(n, seed, -0.2f, 1.2f);
        f[5] = std::nanf("");  // no entry within reach: the previous choice
        f[42] = 3e3f;
        std::memcpy(bytes.data(), f.data(), bytes.size());
    }
    return bytes;
}

// One digest over every dither value and setting for one palette and depth.
template <class P>
uint64_t digest(int palette, detail::QuantizePath path) {
    struct Setting {
        float amount;
        bool grayscale, serpentine;
    };
    const Setting settings[] = {{0.25f, false, false}, {0.7f, true, true}, {0.0f, false, true}, {1.0f, true, false}};
    uint64_t h = 0xcbf29ce484222325ull;
    uint32_t seed = uint32_t(palette) * 100;
    for (int dither : {1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15}) {
        for (const Setting& s : settings) {
            std::vector<uint8_t> bytes = randomImage<P>(++seed);
            Img<P> img(kW, kH, uint64_t(kW + kPad) * sizeof(P), bytes.data());
            detail::quantizeSurface(img, palette, dither, s.amount, s.grayscale, s.serpentine, path);
            h = fnv1a(h, bytes.data(), bytes.size());
        }
    }
    return h;
}

// Recorded from the code as it was before the rewrite: palette 1..21, then
// 8, 16 and 32-bit.
constexpr uint64_t kGolden[21][3] = {
#include "quantize_golden.inc"
};

// The vector builds this CPU runs.
std::vector<detail::QuantizePath> vectorPaths() {
    std::vector<detail::QuantizePath> paths = {detail::QuantizePath::Sse2};
    if (detail::vectorPath() == detail::QuantizePath::Avx2) paths.push_back(detail::QuantizePath::Avx2);
    return paths;
}

// Quantizes a w x h float image against `palette` on each vector path and
// on the scalar reference; the bytes must match.
void expectPathsAgree(const std::vector<Pixel32>& px, uint32_t w, uint32_t h, const std::vector<Pixel32>& palette,
                      int dither, float amount) {
    Img<Pixel32> want = floatImage(w, h, px);
    const uint32_t count = uint32_t(palette.size());
    detail::quantizeImage(want, palette.data(), count, dither, amount, false, detail::QuantizePath::Scalar);
    for (detail::QuantizePath path : vectorPaths()) {
        Img<Pixel32> got = floatImage(w, h, px);
        detail::quantizeImage(got, palette.data(), count, dither, amount, false, path);
        ASSERT_TRUE(sameBytes(got.data, want.data, w * h * sizeof(Pixel32)))
            << count << " entries, dither " << dither << ", path " << int(path);
    }
}

}  // namespace

// The scalar reference and each vector build this CPU runs.
TEST(QuantizeGolden, OutputBytesAreUnchangedOnEveryPath) {
    std::vector<detail::QuantizePath> paths = vectorPaths();
    paths.insert(paths.begin(), detail::QuantizePath::Scalar);
    for (detail::QuantizePath path : paths) {
        const char* name = path == detail::QuantizePath::Scalar ? "scalar"
                           : path == detail::QuantizePath::Sse2 ? "sse2"
                                                                : "avx2";
        for (int palette = 1; palette <= 21; ++palette) {
            const uint64_t got[3] = {digest<Pixel8>(palette, path), digest<Pixel15>(palette, path),
                                     digest<Pixel32>(palette, path)};
            for (int d = 0; d < 3; ++d)
                EXPECT_EQ(got[d], kGolden[palette - 1][d])
                    << "palette " << palette << " depth " << (8 << d) << " " << name << ": 0x" << std::hex << got[d];
        }
    }
}

// Packed 8-bit rows feed the adaptive palette without a conversion on the
// vector paths; the scalar reference converts them.
TEST(QuantizeGolden, PackedEightBitRowsGiveTheScalarReferencesBytes) {
    const std::vector<uint8_t> original = randomBytes(size_t(kW) * kH * 4, 5);
    for (int palette = 2; palette <= 7; ++palette)
        for (int dither : {1, 3}) {
            std::vector<uint8_t> want = original;
            Img<Pixel8> scalar(kW, kH, 0, want.data());
            detail::quantizeSurface(scalar, palette, dither, 0.5f, false, false, detail::QuantizePath::Scalar);
            for (detail::QuantizePath path : vectorPaths()) {
                std::vector<uint8_t> got = original;
                Img<Pixel8> img(kW, kH, 0, got.data());
                detail::quantizeSurface(img, palette, dither, 0.5f, false, false, path);
                EXPECT_EQ(got, want) << "palette " << palette << " dither " << dither << " path " << int(path);
            }
        }
}

// Palettes of 17..256 entries are searched in sorted blocks that stop early;
// the full scan of the scalar reference decides. Entries and colours on a
// coarse grid give many exactly equal distances (duplicated entries
// included), and a few colours are far out, infinite or NaN.
TEST(QuantizeSortedSearch, MatchesTheFullScanWithTiesAndFarColours) {
    std::mt19937 rng(17);
    const auto grid = [&](int steps) { return float(rng() % (steps + 1)) / float(steps); };
    for (uint32_t count : {17u, 24u, 57u, 200u, 256u}) {
        std::vector<Pixel32> palette(count);
        for (Pixel32& c : palette) c = {1.0f, grid(4), grid(4), grid(4)};
        const uint32_t w = 29, h = 13;
        std::vector<Pixel32> px(w * h);
        for (Pixel32& c : px) c = {grid(2), grid(8), grid(8), grid(8)};
        // Every third colour off the unit cube, as error diffusion makes them.
        for (size_t i = 0; i < px.size(); i += 3) px[i] = {1.0f, grid(8) * 5 - 2, grid(8) * 5 - 2, grid(8) * 5 - 2};
        px[7].green = std::nanf("");
        px[40] = {1.0f, 0.5f, INFINITY, 0.5f};
        px[41].red = -2e3f;
        px[90].blue = 5e3f;
        for (int dither : {1, 3, 11, 15}) expectPathsAgree(px, w, h, palette, dither, 0.5f);
    }
}

// Error diffusion scans several rows at once; a row that starts with colours
// no entry comes near must still take the choice made at the end of the row
// above, and one that meets them at its end its own previous choice.
TEST(QuantizeDiffusionRows, FarColoursTakeTheChoiceBeforeThemInScanOrder) {
    const uint32_t w = 40, h = 9;
    const std::vector<float> f = randomFloats(w * h * 4, 23, 0.0f, 1.0f);
    std::vector<Pixel32> px(w * h);
    std::memcpy(px.data(), f.data(), f.size() * sizeof(float));
    for (uint32_t y = 1; y < h; ++y) {
        for (uint32_t x = 0; x < 3; ++x) px[y * w + x].green = std::nanf("");
        px[y * w + w - 1].red = 1e7f;
    }
    for (uint32_t count : {5u, 40u}) {
        const std::vector<float> c = randomFloats(count * 4, count, 0.0f, 1.0f);
        std::vector<Pixel32> palette(count);
        std::memcpy(palette.data(), c.data(), c.size() * sizeof(float));
        for (int dither = 3; dither <= 11; ++dither) expectPathsAgree(px, w, h, palette, dither, 0.0f);
    }
}
