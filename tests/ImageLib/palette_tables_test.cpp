// The quantizer's constant tables and the adaptive palette's entry order,
// against values written out here by hand.
#include "ImageLib/Octree.h"
#include "ImageLib/Quantize.h"
#include "ImageLib/Tables.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace ImageLib;

namespace {

void expectColour(const Pixel32& c, uint32_t rgb, const std::string& where) {
    EXPECT_NEAR(c.alpha, 1.0, 1e-6) << where;
    EXPECT_NEAR(c.red, ((rgb >> 16) & 0xFF) / 255.0, 1e-6) << where;
    EXPECT_NEAR(c.green, ((rgb >> 8) & 0xFF) / 255.0, 1e-6) << where;
    EXPECT_NEAR(c.blue, (rgb & 0xFF) / 255.0, 1e-6) << where;
}

}  // namespace

TEST(FixedPalettes, HoldTheListedColoursInOrder) {
    const std::vector<std::vector<uint32_t>> listed = {
        {0x000000, 0x0027FB, 0x00F92C, 0x00FCFE, 0xFF3016, 0xFF3FFC, 0xFFFD33, 0xFFFFFF},
        {0x000000, 0x001290, 0x008F15, 0x009092, 0x9B1708, 0x9A2091, 0x949119, 0xB8B8B8, 0x686868, 0x0027FB, 0x00F92C,
         0x00FCFE, 0xFF3016, 0xFF3FFC, 0xFFFD33, 0xFFFFFF},
        {0x000000, 0x722640, 0x40337F, 0xE434FE, 0x0E5940, 0xCCCCCC, 0x1B9AFE, 0xBFB3FF, 0x404C00, 0xE46501, 0xCCCCCC,
         0xF1A6BF, 0x1BCB01, 0xBFCC80, 0x8DD9BF, 0xFFFFFF},
        {0x000000, 0xFFFFFF, 0x8D3E37, 0x72C1C8, 0x80348B, 0x55A049, 0x40318D, 0xAAB95D, 0x8B5429, 0xD59F74, 0xB86962,
         0x87D6DD, 0xAA5FB6, 0x94E089, 0x8071CC, 0xBFCE72},
        {0x000000, 0xFFFFFF, 0x883932, 0x67B6BD, 0x8B3F96, 0x55A049, 0x40318D, 0xBFCE72, 0x8B5429, 0x574200, 0xB86962,
         0x505050, 0x787878, 0x94E089, 0x7869C4, 0x9F9F9F},
        {0x000000, 0x00AAAA, 0xAA00AA, 0xAAAAAA},
        {0x000000, 0x55FFFF, 0xFF55FF, 0xFFFFFF},
        {0x000000, 0x00AA00, 0xAA0000, 0xAA5500},
        {0x000000, 0x55FF55, 0xFF5555, 0xFFFF55},
        {0x000000, 0x00AAAA, 0xAA0000, 0xAAAAAA},
        {0x000000, 0x55FFFF, 0xFF5555, 0xFFFFFF},
        {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55,
         0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF},
        {0x000000, 0x000000, 0x3EB849, 0x74D07D, 0x5955E0, 0x8076F1, 0xB95E51, 0x65DBEF, 0xDB6559, 0xFF897D, 0xCCC35E,
         0xDED087, 0x3AA241, 0xB766B5, 0xCCCCCC, 0xFFFFFF},
    };
    for (int p = 9; p <= 21; ++p) {
        const std::vector<uint32_t>& colours = listed[size_t(p - 9)];
        const Palette palette = fixedPalette(p);
        ASSERT_EQ(palette.count, colours.size()) << "palette " << p;
        for (size_t i = 0; i < colours.size(); ++i)
            expectColour(palette.colors[i], colours[i], "palette " + std::to_string(p) + " entry " + std::to_string(i));
    }
}

TEST(ThresholdMatrices, HoldTheListedValues) {
    struct Listed {
        int dither;
        uint32_t size;
        float divisor;
        std::vector<int> rows;
    };
    const std::vector<Listed> listed = {
        {13, 2, 4, {1, 3, 4, 2}},
        {14, 4, 17, {1, 9, 3, 11, 13, 5, 15, 7, 4, 12, 2, 10, 16, 8, 14, 6}},
        {15, 8, 65, {1,  33, 9,  41, 3,  35, 11, 43, 49, 17, 57, 25, 51, 19, 59, 27, 13, 45, 5,  37, 15, 47,
                     7,  39, 61, 29, 53, 21, 63, 31, 55, 23, 4,  36, 12, 44, 2,  34, 10, 42, 52, 20, 60, 28,
                     50, 18, 58, 26, 16, 48, 8,  40, 14, 46, 6,  38, 64, 32, 56, 24, 62, 30, 54, 22}},
    };
    for (const Listed& m : listed) {
        const ImageLib::Surface<Pixel32>* matrix = detail::thresholdMatrix(m.dither);
        ASSERT_NE(matrix, nullptr) << m.dither;
        ASSERT_EQ(matrix->width, m.size);
        ASSERT_EQ(matrix->height, m.size);
        for (uint32_t y = 0; y < m.size; ++y)
            for (uint32_t x = 0; x < m.size; ++x) {
                const Pixel32& v = matrix->row(y)[x];
                const float expected = float(m.rows[y * m.size + x]) / m.divisor;
                EXPECT_FLOAT_EQ(v.red, expected) << m.dither << " at " << x << "," << y;
                EXPECT_TRUE(v.alpha == v.red && v.green == v.red && v.blue == v.red) << m.dither;
            }
    }
}

namespace {

std::vector<uint8_t> pixels(std::initializer_list<std::pair<std::array<uint8_t, 3>, int>> runs) {
    std::vector<uint8_t> rgba;
    for (const auto& [c, n] : runs)
        for (int i = 0; i < n; ++i) rgba.insert(rgba.end(), {c[0], c[1], c[2], 255});
    return rgba;
}

std::vector<std::array<float, 3>> paletteOf(const std::vector<uint8_t>& rgba, uint32_t limit) {
    OctreeQuantizer q;
    OctreePaletteGuard guard{q};
    buildOctreePalette(q, rgba.data(), uint32_t(rgba.size() / 4), 1, limit);
    std::vector<std::array<float, 3>> out;
    for (uint32_t i = 0; i < q.paletteCount; ++i)
        out.push_back({q.palette[i].red, q.palette[i].green, q.palette[i].blue});
    return out;
}

std::array<float, 3> colour(double r, double g, double b) { return {float(r / 255), float(g / 255), float(b / 255)}; }

}  // namespace

// The palette lists the heap's slots in order, which decides ties in the
// nearest-colour search. Leaves key on (children, count >> 7).
TEST(AdaptivePalette, EntriesFollowTheHeapOrder) {
    // A (256 pixels, key 2) takes slot 1; B (1 pixel, key 0) rises above it;
    // C (128 pixels, key 1) stays below B in slot 3: B, A, C, neither the
    // order of insertion nor that of the tree.
    EXPECT_EQ(paletteOf(pixels({{{0, 0, 0}, 256}, {{255, 255, 255}, 1}, {{0, 0, 254}, 128}}), 8),
              (std::vector<std::array<float, 3>>{colour(255, 255, 255), colour(0, 0, 0), colour(0, 0, 254)}));
    // Limit 2 with three single pixels: A (0,0,0) and B (2,0,0) share a
    // parent N, C (255,255,255) lies elsewhere. A folds into N (key 1, 0),
    // which goes last; C is moved to the top and then folds into its own
    // parent M, which takes slot 3; B, now on top, folds into N, which keeps
    // its slot: M, N.
    EXPECT_EQ(paletteOf(pixels({{{0, 0, 0}, 1}, {{2, 0, 0}, 1}, {{255, 255, 255}, 1}}), 2),
              (std::vector<std::array<float, 3>>{colour(255, 255, 255), colour(1, 0, 0)}));
}
