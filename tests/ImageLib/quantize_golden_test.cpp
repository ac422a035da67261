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
uint64_t digest(int palette, Kernel k) {
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
            quantizeSurface(img, palette, dither, s.amount, s.grayscale, s.serpentine, k);
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

}  // namespace

TEST(QuantizeGolden, OutputBytesAreUnchanged) {
    for (Kernel k : {Kernel::Vector, Kernel::Scalar}) {
        for (int palette = 1; palette <= 21; ++palette) {
            const uint64_t got[3] = {digest<Pixel8>(palette, k), digest<Pixel15>(palette, k),
                                     digest<Pixel32>(palette, k)};
            for (int d = 0; d < 3; ++d)
                EXPECT_EQ(got[d], kGolden[palette - 1][d])
                    << "palette " << palette << " depth " << (8 << d) << (k == Kernel::Vector ? " vector" : " scalar")
                    << ": 0x" << std::hex << got[d];
        }
    }
}
