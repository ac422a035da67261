#include "media/Gif.h"

#include <cmath>
#include <unordered_map>

#include "ImageLib/Quantize.h"

namespace media {

int gifDitherCode(const std::string& name) {
    static const char* const names[] = {"none", nullptr, "floyd-steinberg", "jarvis", "stucki", "atkinson",
                                        "burkes", "sierra", "sierra2", "sierra-lite", "stevenson-arce"};
    for (int i = 0; i < int(std::size(names)); ++i)
        if (names[i] && name == names[i]) return i + 1;
    return 0;
}

namespace av {

void toPalette(const hostsim::Image& image, uint32_t colours, int dither, AVFrame& frame, const std::string& file) {
    ImageLib::Surface<ImageLib::Pixel32> work(image.width, image.height);
    for (uint32_t y = 0; y < image.height; ++y) {
        const float* in = image.pixel(0, y);
        ImageLib::Pixel32* out = work.row(y);
        for (uint32_t x = 0; x < image.width; ++x, in += 4) out[x] = {1.0f, in[0], in[1], in[2]};
    }
    // Palette codes 2..7 are the adaptive palettes of 8..256 colours.
    const int palette = 2 + int(std::log2(double(colours))) - 3;
    ImageLib::quantizeSurface(work, palette, dither, 0.0f, false, false);

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
