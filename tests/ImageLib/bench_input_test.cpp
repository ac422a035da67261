// The benches' PNG input must give the bytes the engine's decoder gives, so
// that their timings and output files stay comparable with earlier runs.
#include "ImageLib/Decode.h"
#include "bench/ImageLib/PngInput.h"
#include "media/Png.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, uint32_t(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// A PNG whose rows cycle through the five filter types; `samples` are
// big-endian at 16 bits.
Bytes makePng(uint32_t w, uint32_t h, int bits, int colourType, int channels, const Bytes& samples) {
    const size_t rowBytes = size_t(w) * channels * bits / 8, bpp = size_t(channels) * bits / 8;
    Bytes rows;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t type = uint8_t(y % 5);
        rows.push_back(type);
        const auto at = [&](uint32_t row, size_t i) { return int(samples[row * rowBytes + i]); };
        for (size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? at(y, i - bpp) : 0, b = y ? at(y - 1, i) : 0;
            const int c = i >= bpp && y ? at(y - 1, i - bpp) : 0;
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            const int predictor[] = {0, a, b, (a + b) / 2, paeth};
            rows.push_back(uint8_t(at(y, i) - predictor[type]));
        }
    }
    uLongf packedSize = compressBound(uLong(rows.size()));
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, rows.data(), uLong(rows.size()), 6);
    packed.resize(packedSize);
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    put32(header, w);
    put32(header, h);
    header.insert(header.end(), {uint8_t(bits), uint8_t(colourType), 0, 0, 0});
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", {});
    return png;
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
    // Grey, grey + alpha, RGB and RGBA at 8 and 16 bits.
    const std::pair<int, int> kinds[] = {{0, 1}, {4, 2}, {2, 3}, {6, 4}};
    for (const auto& [colourType, channels] : kinds)
        for (int bits : {8, 16}) {
            const Bytes samples = randomBytes(size_t(w) * h * channels * bits / 8, uint32_t(colourType + bits));
            files.push_back({"type " + std::to_string(colourType) + ", " + std::to_string(bits) + " bits",
                             makePng(w, h, bits, colourType, channels, samples)});
        }
    const Bytes deep = randomBytes(size_t(w) * h * 8, 9);
    files.push_back({"16-bit RGBA", media::encodePng(deep.data(), w, h, uint64_t(w) * 8, 16, false)});
    // Few colours with several alphas: a palette image with a tRNS chunk.
    const Bytes few = randomBytes(size_t(w) * h * 4, 11, 3);
    files.push_back({"palette", media::encodePng(few.data(), w, h, uint64_t(w) * 4, 8, true)});

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
        // Alpha first: the same pixels with each one's bytes rotated.
        benchimage::Rgba8 argb;
        ASSERT_TRUE(benchimage::decodeRgba8(file, "in.png", argb, error, benchimage::Order::Argb)) << error;
        ASSERT_EQ(argb.pixels.size(), got.pixels.size());
        for (size_t i = 0; i < got.pixels.size(); i += 4) {
            const uint8_t want[4] = {got.pixels[i + 3], got.pixels[i], got.pixels[i + 1], got.pixels[i + 2]};
            ASSERT_EQ(std::memcmp(&argb.pixels[i], want, 4), 0) << "pixel " << i / 4;
        }
    }

    // A cut-off file is refused with its name in the message, on the
    // general path (palette) and the direct one (RGB).
    for (size_t which : {files.size() - 1, size_t(4)}) {
        Bytes cut = files[which].second;
        cut.resize(cut.size() / 2);
        benchimage::Rgba8 got;
        std::string error;
        EXPECT_FALSE(benchimage::decodeRgba8(cut, "cut.png", got, error)) << files[which].first;
        EXPECT_NE(error.find("cut.png"), std::string::npos) << error;
    }
}

}  // namespace
