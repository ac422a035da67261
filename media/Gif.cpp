#include "media/Gif.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <unordered_map>
#include <vector>

#include "ImageLib/Quantize.h"

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

// The typical step between neighbouring colours of a palette, per channel:
// the median over its entries of the distance to the nearest other entry
// (Euclidean, over the square root of 3). An adaptive palette crowds its
// entries where the picture's colours are, far closer than an even cube
// of as many colours, so a dither as wide as the cube's step would add a
// pattern several palette steps deep.
float paletteStep(const std::vector<ImageLib::Pixel32>& entries) {
    if (entries.size() < 2) return 0.5f;
    std::vector<float> nearest;
    for (const ImageLib::Pixel32& a : entries) {
        float best = 3;
        for (const ImageLib::Pixel32& b : entries) {
            const float dr = a.red - b.red, dg = a.green - b.green, db = a.blue - b.blue;
            const float d = dr * dr + dg * dg + db * db;
            if (d > 0 && d < best) best = d;
        }
        nearest.push_back(std::sqrt(best / 3));
    }
    std::nth_element(nearest.begin(), nearest.begin() + nearest.size() / 2, nearest.end());
    return nearest[nearest.size() / 2];
}

}  // namespace

void toPalette(const ImageLib::Picture& image, uint32_t colours, int dither, AVFrame& frame, const std::string& file) {
    if (image.isEightBit()) return toPalette(ImageLib::asFloat(image), colours, dither, frame, file);
    auto copy = [&image](float shift) {
        ImageLib::Surface<ImageLib::Pixel32> s(image.width, image.height);
        for (uint32_t y = 0; y < image.height; ++y) {
            const float* in = image.pixel(0, y);
            ImageLib::Pixel32* out = s.row(y);
            for (uint32_t x = 0; x < image.width; ++x, in += 4)
                out[x] = {1.0f, in[0] - shift, in[1] - shift, in[2] - shift};
        }
        return s;
    };
    ImageLib::Surface<ImageLib::Pixel32> work;
    // Palette codes 2..7 are the adaptive palettes of 8..256 colours.
    const int palette = 2 + int(std::log2(double(colours))) - 3;
    if (dither >= 13 && dither <= 15) {
        // Ordered: the adaptive palette of the undithered picture, then the
        // picture lowered by half the dither's reach (`strength` times a
        // threshold map of 0..1, one step of that palette) against that
        // palette, so that the dither does not brighten it on average.
        ImageLib::Surface<ImageLib::Pixel32> plain = copy(0);
        ImageLib::quantizeSurface(plain, palette, 1, 0.0f, false, false);
        std::vector<ImageLib::Pixel32> entries;
        std::set<std::array<float, 3>> seen;
        for (uint32_t y = 0; y < plain.height; ++y)
            for (uint32_t x = 0; x < plain.width; ++x) {
                const ImageLib::Pixel32& p = plain.row(y)[x];
                if (seen.insert({p.red, p.green, p.blue}).second) entries.push_back(p);
            }
        const float strength = paletteStep(entries);
        work = copy(strength / 2);
        ImageLib::detail::quantizeImage(work, entries.data(), uint32_t(entries.size()), dither, strength, false,
                                        ImageLib::detail::vectorPath());
    } else {
        work = copy(0);
        ImageLib::quantizeSurface(work, palette, dither, 0.0f, false, false);
    }

    check(av_frame_make_writable(&frame), file, "cannot write a frame");
    auto* entries = reinterpret_cast<uint32_t*>(frame.data[1]);
    std::unordered_map<uint32_t, uint8_t> index;
    auto byte = [](float v) { return uint32_t(std::lrint((v > 0 ? (v < 1 ? v : 1.0f) : 0.0f) * 255)); };
    for (uint32_t y = 0; y < image.height; ++y) {
        const ImageLib::Pixel32* in = work.row(y);
        uint8_t* out = frame.data[0] + size_t(y) * frame.linesize[0];
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint32_t argb = 0xff000000u | byte(in[x].red) << 16 | byte(in[x].green) << 8 | byte(in[x].blue);
            auto [it, added] = index.try_emplace(argb, uint8_t(index.size()));
            if (added) {
                if (index.size() > 256) throw Error(file + ": the palette came out with more than 256 colours");
                entries[it->second] = argb;
            }
            out[x] = it->second;
        }
    }
    for (size_t i = index.size(); i < 256; ++i) entries[i] = 0xff000000u;
}

}  // namespace av
}  // namespace media
