// Numbered still sequences against the single-still reader: each frame is
// the picture its file gives alone, to the bit, at 8 and 16 bits and as
// floats; a damaged file is named in the error; the clip's description
// keeps the rate it is given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "media/Media.h"
#include "media/Still.h"
#include "tests/media/MediaTest.h"

namespace fs = std::filesystem;

namespace {

std::string folder() { return mediatest::folder("still"); }

// Values no 8-bit file holds: every 16-bit step at `depth` 16, and for
// floats values above 1, below 0 and far below one 65535th.
ImageLib::Picture randomPicture(uint32_t seed, uint32_t depth) {
    std::mt19937 rng(seed);
    ImageLib::Picture image(7 + seed % 3, 5);
    for (float& v : image.rgba) {
        const uint32_t r = rng();
        v = depth == 16  ? float(r % 65536) / 65535.0f
            : depth == 8 ? float(r % 256) / 255.0f
                         : float(int32_t(r % 200001) - 50000) * 1e-4f * (r % 7 == 0 ? 1e-6f : 1.0f);
    }
    return image;
}

media::ReaderOptions atRate(uint32_t num, uint32_t den = 1) {
    media::ReaderOptions options;
    options.sequenceRateNum = num;
    options.sequenceRateDen = den;
    return options;
}

bool samePixels(const ImageLib::Picture& a, const ImageLib::Picture& b) {
    return a.width == b.width && a.height == b.height && a.rgba.size() == b.rgba.size() &&
           std::memcmp(a.rgba.data(), b.rgba.data(), a.rgba.size() * sizeof(float)) == 0;
}

using mediatest::errorOf;

}  // namespace

TEST(StillSequence, FramesAreTheSingleStillsPictures) {
    const std::string d = folder();
    const struct {
        const char* ext;
        uint32_t depth;
    } kinds[] = {{".png", 16}, {".exr", 32}, {".png", 8}};
    for (const auto& kind : kinds) {
        const std::string base = d + "k" + std::to_string(kind.depth);
        for (uint32_t k = 0; k < 4; ++k)
            media::writeImage(base + "." + std::to_string(20 + k) + kind.ext, randomPicture(k, kind.depth), kind.depth);
        const std::string pattern = base + ".%d" + kind.ext;
        media::VideoReader reader(pattern, atRate(10));
        EXPECT_EQ(reader.info().bitsPerChannel, kind.depth) << pattern;
        EXPECT_EQ(reader.info().frameCount, 4) << pattern;
        for (uint32_t k = 0; k < 4; ++k) {
            const ImageLib::Picture alone = media::readImage(base + "." + std::to_string(20 + k) + kind.ext);
            EXPECT_TRUE(samePixels(reader.frameAt(k * 0.1), alone)) << pattern << " frame " << k;
        }

        // For an 8-bit caller, 8-bit files give their bytes; deeper ones
        // stay as they are.
        media::ReaderOptions bytes = atRate(10);
        bytes.eightBit = true;
        media::VideoReader eight(pattern, bytes);
        for (uint32_t k = 0; k < 4; ++k) {
            const ImageLib::Picture alone = media::readImage(base + "." + std::to_string(20 + k) + kind.ext);
            const ImageLib::Picture& got = eight.frameAt(k * 0.1);
            ASSERT_EQ(got.isEightBit(), kind.depth == 8) << pattern;
            if (!got.isEightBit()) {
                EXPECT_TRUE(samePixels(got, alone)) << pattern << " frame " << k;
                continue;
            }
            ASSERT_TRUE(got.hasEightBitSlack());
            for (size_t i = 0; i < alone.rgba.size(); ++i)
                ASSERT_EQ(got.rgba8[i], std::lround(alone.rgba[i] * 255)) << pattern << " value " << i;
        }
    }
}

TEST(StillSequence, ADamagedFileIsNamed) {
    const std::string d = folder();
    for (uint32_t k = 0; k < 3; ++k) media::writeImage(d + "s." + std::to_string(k) + ".png", randomPicture(k, 16), 16);
    fs::resize_file(d + "s.1.png", fs::file_size(d + "s.1.png") / 2);
    // The reader looks one picture ahead, so the error may come with the
    // first frame already.
    media::VideoReader reader(d + "s.%d.png", atRate(10));
    const std::string error = errorOf([&] {
        reader.frameAt(0);
        reader.frameAt(0.1);
    });
    EXPECT_EQ(error.rfind("cannot read image " + d + "s.1.png: ", 0), 0u) << error;
}

TEST(StillSequence, RateIsTheOneGivenOrTheUsualFractionForIt) {
    const std::string d = folder();
    for (uint32_t k = 0; k < 2; ++k) media::writeImage(d + "r." + std::to_string(k) + ".exr", randomPicture(k, 32), 32);
    const struct {
        uint32_t num, den, wantNum, wantDen;
    } rates[] = {{10000, 1000, 10, 1}, {2997, 100, 30000, 1001}, {24, 1, 24, 1}, {7, 2, 7, 2}};
    for (const auto& r : rates) {
        const media::ClipInfo info = media::probeClip(d + "r.%d.exr", atRate(r.num, r.den));
        EXPECT_EQ(info.rateNum, r.wantNum) << r.num << "/" << r.den;
        EXPECT_EQ(info.rateDen, r.wantDen) << r.num << "/" << r.den;
        EXPECT_EQ(info.width, 7u);
        EXPECT_EQ(info.aspectNum, info.aspectDen);
        EXPECT_FALSE(info.hasAudio);
    }
}
