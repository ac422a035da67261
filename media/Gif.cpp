#include "Gif.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "ImageLib/Quantize.h"
#include "ImageLib/Tables.h"
#include "GifPalette.h"

namespace media {

int gifDitherCode(const std::string& name) {
    static const char* const names[] = {"none",           nullptr,  "floyd-steinberg", "jarvis",      "stucki",
                                        "atkinson",       "burkes", "sierra",          "sierra2",     "sierra-lite",
                                        "stevenson-arce", nullptr,  "ordered-2x2",     "ordered-4x4", "ordered-8x8"};
    for (int i = 0; i < int(std::size(names)); ++i)
        if (names[i] && name == names[i]) return i + 1;
    return 0;
}

namespace av {

namespace {

using ImageLib::Pixel32;

uint8_t toByte(float v) { return uint8_t(std::lrint((v > 0 ? (v < 1 ? v : 1.0f) : 0.0f) * 255)); }

// The typical step between neighbouring colours of a palette, per channel:
// the median over its entries of the distance to the nearest other entry
// (Euclidean, over the square root of 3). An adaptive palette crowds its
// entries where the picture's colours are, far closer than an even cube
// of as many colours, so a dither as wide as the cube's step would add a
// pattern several palette steps deep.
float paletteStep(const std::vector<Pixel32>& entries) {
    if (entries.size() < 2) return 0.5f;
    std::vector<float> nearest;
    for (const Pixel32& a : entries) {
        float best = 3;
        for (const Pixel32& b : entries) {
            const float dr = a.red - b.red, dg = a.green - b.green, db = a.blue - b.blue;
            const float d = dr * dr + dg * dg + db * db;
            if (d > 0 && d < best) best = d;
        }
        nearest.push_back(std::sqrt(best / 3));
    }
    std::nth_element(nearest.begin(), nearest.begin() + nearest.size() / 2, nearest.end());
    return nearest[nearest.size() / 2];
}

// The mean of an ordered dither's threshold map, 0..1 (the 2x2 map's is
// not one half).
float thresholdMean(int dither) {
    const ImageLib::Surface<Pixel32>& map = *ImageLib::detail::thresholdMatrix(dither);
    double sum = 0;
    for (uint32_t y = 0; y < map.height; ++y)
        for (uint32_t x = 0; x < map.width; ++x) sum += map.row(y)[x].red;
    return float(sum / (map.width * map.height));
}

}  // namespace

void toPalette(const ImageLib::Picture& image, uint32_t colours, int dither, AVFrame& frame, const std::string& file) {
    if (image.isEightBit()) return toPalette(ImageLib::asFloat(image), colours, dither, frame, file);
    auto copy = [&image](float shift) {
        ImageLib::Surface<Pixel32> s(image.width, image.height);
        for (uint32_t y = 0; y < image.height; ++y) {
            const float* in = image.pixel(0, y);
            Pixel32* out = s.row(y);
            for (uint32_t x = 0; x < image.width; ++x, in += 4)
                out[x] = {1.0f, in[0] - shift, in[1] - shift, in[2] - shift};
        }
        return s;
    };
    ImageLib::Surface<Pixel32> work = copy(0);
    const GifPalette palette = gifPalette(ImageLib::toRgba8(work), colours);
    const std::vector<Pixel32>& entries = palette.entries;
    const bool exact = palette.exact;
    // A palette that holds every colour of the picture needs no dither:
    // an ordered one would only add its pattern.
    const bool ordered = dither >= 13 && dither <= 15 && !exact;
    float strength = 0;
    if (ordered) {
        // The picture lowered by the mean of what the dither adds
        // (`strength`, one step of the palette, times a threshold map of
        // 0..1), so that the dither does not brighten it on average.
        strength = paletteStep(entries);
        work = copy(strength * thresholdMean(dither));
    }
    ImageLib::detail::quantizeImage(work, entries.data(), uint32_t(entries.size()), exact ? 1 : dither, strength, false,
                                    ImageLib::detail::vectorPath());

    check(av_frame_make_writable(&frame), file, "cannot write a frame");
    auto* table = reinterpret_cast<uint32_t*>(frame.data[1]);
    std::unordered_map<uint32_t, uint8_t> index;
    for (uint32_t y = 0; y < image.height; ++y) {
        const Pixel32* in = work.row(y);
        uint8_t* out = frame.data[0] + size_t(y) * frame.linesize[0];
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint32_t argb = 0xff000000u | uint32_t(toByte(in[x].red)) << 16 | uint32_t(toByte(in[x].green)) << 8 |
                                  toByte(in[x].blue);
            auto [it, added] = index.try_emplace(argb, uint8_t(index.size()));
            if (added) {
                if (index.size() > 256) throw Error(file + ": the palette came out with more than 256 colours");
                table[it->second] = argb;
            }
            out[x] = it->second;
        }
    }
    for (size_t i = index.size(); i < 256; ++i) table[i] = 0xff000000u;
}

}  // namespace av
}  // namespace media
