// The GIF writer's palettes, checked through the reader: pictures of few
// colours come back exactly, smooth pictures come back close, and an
// animated GIF keeps every picture with its own palette.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "media/Media.h"
#include "tests/media/MediaTest.h"

namespace {

std::string folder() { return mediatest::folder("gif"); }

// Writes `pictures` to `file` with the palette size and dither kernel given
// and reads every picture back.
std::vector<ImageLib::Picture> roundTrip(const std::vector<ImageLib::Picture>& pictures, const std::string& file,
                                         uint32_t colours, const char* dither) {
    media::WriterOptions w;
    w.width = pictures[0].width;
    w.height = pictures[0].height;
    w.gifColours = colours;
    w.gifDither = media::gifDitherCode(dither);
    {
        media::VideoWriter writer(file, w);
        for (const ImageLib::Picture& p : pictures) writer.write(p);
        writer.finish();
    }
    media::VideoReader reader(file);
    EXPECT_EQ(reader.info().frameCount, int64_t(pictures.size())) << file;
    std::vector<ImageLib::Picture> back;
    for (size_t k = 0; k < pictures.size(); ++k) back.push_back(ImageLib::asFloat(reader.frameAt((k + 0.5) / 30)));
    return back;
}

struct Difference {
    double psnr;     // dB over red, green and blue
    int worstSteps;  // largest difference of one value, in 255ths
};

Difference difference(const ImageLib::Picture& got, const ImageLib::Picture& want) {
    double squares = 0;
    int worst = 0;
    for (size_t i = 0; i < want.rgba.size(); ++i) {
        if (i % 4 == 3) continue;
        const double d = double(got.rgba[i]) - want.rgba[i];
        squares += d * d;
        worst = std::max(worst, int(std::lround(std::abs(d) * 255)));
    }
    const double mean = squares / (double(want.rgba.size()) / 4 * 3);  // red, green and blue
    return {mean > 0 ? 10 * std::log10(1 / mean) : INFINITY, worst};
}

// Smooth colour: two crossing ramps and a slow wave, shifted by `phase`.
ImageLib::Picture smooth(uint32_t w, uint32_t h, float phase = 0) {
    ImageLib::Picture image(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            float* p = image.pixel(x, y);
            p[0] = float(x) / (w - 1);
            p[1] = 0.2f + 0.6f * y / (h - 1);
            p[2] = 0.5f + 0.4f * std::sin(x * 0.05f + y * 0.07f + phase);
            p[3] = 1;
        }
    return image;
}

}  // namespace

// A picture of no more colours than the palette holds comes back exactly,
// with or without an error-diffusion dither: also colours one step apart,
// which an octree over the top seven bits of each channel merges.
TEST(GifPalette, PicturesOfFewColoursComeBackExactly) {
    const std::string d = folder();
    std::mt19937 random(11);
    for (uint32_t colours : {8u, 64u, 256u}) {
        std::vector<std::array<uint8_t, 3>> set;
        while (set.size() < colours) {
            std::array<uint8_t, 3> c{uint8_t(random()), uint8_t(random()), uint8_t(random())};
            set.push_back(c);
            // Every fourth one with a neighbour one step up in one channel.
            if (set.size() % 4 == 1 && set.size() < colours) {
                c[set.size() % 3] ^= 1;
                set.push_back(c);
            }
        }
        ImageLib::Picture image(48, 40);
        for (uint32_t i = 0; i < image.width * image.height; ++i)
            for (int c = 0; c < 3; ++c) image.rgba[i * 4 + c] = set[(i * 7 + i / 5) % colours][c] / 255.0f;
        for (const char* dither : {"none", "floyd-steinberg", "ordered-8x8"}) {
            const std::string file = d + std::to_string(colours) + dither + ".gif";
            const Difference got = difference(roundTrip({image}, file, colours, dither)[0], image);
            EXPECT_EQ(got.worstSteps, 0) << colours << " colours, " << dither << ": " << got.psnr << " dB";
        }
    }
}

// Smooth colour leaves nothing for an octree to find: its palette follows
// the tree's cells, not where the colours are, and comes back far from the
// picture, most of all with few colours.
TEST(GifPalette, SmoothPicturesComeBackClose) {
    const std::string d = folder();
    const ImageLib::Picture image = smooth(160, 96);
    // Undithered. The engine's octree palette gave 32.3, 26.1 and 21.0 dB,
    // FFmpeg's palettegen 32.6, 26.7 and 20.8 (on the picture in bytes).
    for (auto [colours, least] : {std::pair{256u, 32.8}, std::pair{64u, 26.8}, std::pair{16u, 21.6}}) {
        const std::string file = d + std::to_string(colours) + ".gif";
        const Difference got = difference(roundTrip({image}, file, colours, "none")[0], image);
        EXPECT_GT(got.psnr, least) << colours << " colours";
    }
}

// Every picture of an animated GIF gets a palette of its own, dithered or
// not, and each comes back close to its source.
TEST(GifPalette, AnimatedPicturesEachKeepTheirColours) {
    const std::string d = folder();
    std::vector<ImageLib::Picture> pictures;
    for (int k = 0; k < 6; ++k) pictures.push_back(smooth(96, 64, k * 0.8f));
    // Two pictures of their own colours, far from the rest.
    for (ImageLib::Picture& p : {std::ref(pictures[2]), std::ref(pictures[5])})
        for (size_t i = 0; i < p.rgba.size(); i += 4) p.rgba[i] = 1 - p.rgba[i], p.rgba[i + 1] *= 0.3f;
    for (const char* dither : {"none", "sierra", "ordered-4x4"}) {
        const std::vector<ImageLib::Picture> back = roundTrip(pictures, d + dither + ".gif", 64, dither);
        ASSERT_EQ(back.size(), pictures.size());
        for (size_t k = 0; k < pictures.size(); ++k)
            EXPECT_GT(difference(back[k], pictures[k]).psnr, 26.0) << dither << " picture " << k;
    }
}

// An ordered dither adds `threshold map x palette step` to the picture, and
// the picture is lowered by the map's mean first: a grey ramp in 8 colours
// comes back as bright as it went in, with each map (the 2x2 map, whose
// mean is 0.625, brightened it by 3.5 255ths when lowered by half).
TEST(GifPalette, OrderedDithersKeepTheBrightness) {
    const std::string d = folder();
    ImageLib::Picture grey(128, 16);
    for (uint32_t y = 0; y < grey.height; ++y)
        for (uint32_t x = 0; x < grey.width; ++x) std::fill_n(grey.pixel(x, y), 3, x / 127.0f), grey.pixel(x, y)[3] = 1;
    double want = 0;
    for (size_t i = 0; i < grey.rgba.size(); i += 4) want += grey.rgba[i];
    for (const char* dither : {"ordered-2x2", "ordered-4x4", "ordered-8x8"}) {
        const ImageLib::Picture back = roundTrip({grey}, d + dither + ".gif", 8, dither)[0];
        double got = 0;
        for (size_t i = 0; i < back.rgba.size(); i += 4) got += back.rgba[i];
        EXPECT_NEAR((got - want) / (grey.width * grey.height), 0, 0.006) << dither;
    }
}
