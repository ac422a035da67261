// The benches' PNG input must give the bytes the engine's decoder gives, so
// that their timings and output files stay comparable with earlier runs.
#include "bench/ImageLib/PngInput.h"
#include "ImageLib/Decode.h"
#include "tools/png/PngWrite.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

using Bytes = std::vector<uint8_t>;

void append(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

Bytes randomBytes(size_t n, uint32_t seed, uint32_t levels = 256) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = uint8_t(rng() % levels * (255 / (levels - 1)));
    return b;
}

TEST(BenchInput, PngGivesTheEngineDecodersBytes) {
    const uint32_t w = 37, h = 23;
    std::vector<std::pair<std::string, Bytes>> files;
    for (int comp = 1; comp <= 4; ++comp) {  // grey, grey + alpha, RGB, RGBA
        Bytes f;
        const Bytes px = randomBytes(size_t(w) * h * comp, comp);
        stbi_write_png_to_func(append, &f, int(w), int(h), comp, px.data(), int(w * comp));
        files.push_back({"8-bit, " + std::to_string(comp) + " channels", f});
    }
    const Bytes deep = randomBytes(size_t(w) * h * 8, 9);
    files.push_back({"16-bit RGBA", pngwrite::encodePng(deep.data(), w, h, uint64_t(w) * 8, 16, false)});
    // Few colours with several alphas: a palette image with a tRNS chunk.
    const Bytes few = randomBytes(size_t(w) * h * 4, 11, 3);
    files.push_back({"palette", pngwrite::encodePng(few.data(), w, h, uint64_t(w) * 4, 8, true)});

    for (const auto& [what, file] : files) {
        SCOPED_TRACE(what);
        ImageLib::DecodedImage expected;
        ASSERT_TRUE(ImageLib::decodeImage(file.data(), file.size(), expected));
        ASSERT_EQ(expected.depth, 8u);
        benchimage::Rgba8 got;
        std::string error;
        ASSERT_TRUE(benchimage::decodeRgba8(file, "in.png", got, error)) << error;
        ASSERT_EQ(got.width, w);
        ASSERT_EQ(got.height, h);
        ASSERT_EQ(got.pixels.size(), size_t(w) * h * 4);
        EXPECT_EQ(std::memcmp(got.pixels.data(), expected.pixels.get(), got.pixels.size()), 0);
    }

    // A cut-off file is refused with its name in the message.
    Bytes cut = files.back().second;
    cut.resize(cut.size() / 2);
    benchimage::Rgba8 got;
    std::string error;
    EXPECT_FALSE(benchimage::decodeRgba8(cut, "cut.png", got, error));
    EXPECT_NE(error.find("cut.png"), std::string::npos) << error;
}

}  // namespace
