// The fast PNG writer, read back through the command's libpng reader: the
// palette form (with transparency), the direct form once a 257th colour
// appears, and 16 bits in host order; rows come from a padded buffer.
#include "media/Png.h"
#include "media/Still.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Writes the file, reads it back and checks every value against `want`
// (0..1 from the stored integers); returns the PNG colour type.
int roundTrip(const std::vector<uint8_t>& png, const std::vector<float>& want, uint32_t w, uint32_t h) {
    const std::string path = testing::TempDir() + "png_write_test.png";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    std::fwrite(png.data(), 1, png.size(), f);
    std::fclose(f);
    const ImageLib::Picture got = media::readImage(path);
    std::remove(path.c_str());
    EXPECT_EQ(got.width, w);
    EXPECT_EQ(got.height, h);
    EXPECT_EQ(got.rgba, want);
    return png.size() > 25 ? png[25] : -1;
}

}  // namespace

TEST(PngWrite, PaletteDirectAnd16BitImagesReadBackExactly) {
    const uint32_t w = 23, h = 17, pad = 5;
    std::mt19937 rng(9);
    for (uint32_t colours : {7u, 256u, 257u}) {
        std::vector<uint8_t> px((w + pad) * 4 * h, 0xEE);
        std::vector<float> want;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                // Colour k: every pixel index i < colours is its own colour,
                // so exactly `colours` distinct colours appear.
                const uint32_t k = (y * w + x) < colours ? y * w + x : rng() % colours;
                const uint8_t c[4] = {uint8_t(k), uint8_t(k * 7), uint8_t(k >> 8), uint8_t(255 - k % 3)};
                for (int i = 0; i < 4; ++i) {
                    px[(y * (w + pad) + x) * 4 + i] = c[i];
                    want.push_back(float(c[i]) / 255.0f);
                }
            }
        const auto png = media::encodePng(px.data(), w, h, (w + pad) * 4, 8, true);
        EXPECT_EQ(roundTrip(png, want, w, h), colours <= 256 ? 3 : 6) << colours;
        // Alpha first gives the same file.
        std::vector<uint8_t> argb(px);
        for (size_t i = 0; i < argb.size(); i += 4) std::rotate(&argb[i], &argb[i + 3], &argb[i + 4]);
        EXPECT_EQ(media::encodePng(argb.data(), w, h, (w + pad) * 4, 8, true, true), png) << colours;
    }

    std::vector<uint16_t> px16((w + pad) * 4 * h, 0xBEEF);
    std::vector<float> want16;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w * 4; ++x) {
            const uint16_t v = uint16_t(rng());
            px16[y * (w + pad) * 4 + x] = v;
            want16.push_back(float(v) / 65535.0f);
        }
    const auto png = media::encodePng(reinterpret_cast<const uint8_t*>(px16.data()), w, h, (w + pad) * 8, 16, true);
    EXPECT_EQ(roundTrip(png, want16, w, h), 6);
    std::vector<uint16_t> argb16(px16);
    for (size_t i = 0; i < argb16.size(); i += 4) std::rotate(&argb16[i], &argb16[i + 3], &argb16[i + 4]);
    EXPECT_EQ(media::encodePng(reinterpret_cast<const uint8_t*>(argb16.data()), w, h, (w + pad) * 8, 16, true, true),
              png);
    EXPECT_THROW(media::encodePng(png.data(), 0, 1, 8, 8, true), std::length_error);
}
