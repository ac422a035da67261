// Through the still reader: 8-bit files give their bytes, 16-bit PNG
// samples their high byte (the sample rounded to 16 bits again, then cut).
#include "bench/ImageLib/PngInput.h"

#include <cmath>

#include "media/Still.h"

namespace benchimage {
namespace {

bool toRgba8(const media::Still& still, const std::string& name, Order order, Rgba8& out, std::string& error) {
    const ImageLib::Picture& image = still.image;
    if (still.bits == 32) {
        error = name + ": cannot decode an 8-bit image (the file holds floats)";
        return false;
    }
    out.width = image.width, out.height = image.height;
    out.pixels.resize(image.pixelBytes());
    // Alpha goes first or last; the colours follow it or lead.
    const size_t first = order == Order::Argb ? 1 : 0, alpha = order == Order::Argb ? 0 : 3;
    for (size_t i = 0; i < out.pixels.size(); i += 4)
        for (size_t c = 0; c < 4; ++c) {
            const uint8_t v =
                image.isEightBit() ? image.rgba8[i + c] : uint8_t(std::lround(image.rgba[i + c] * 65535.0f) >> 8);
            out.pixels[i + (c == 3 ? alpha : first + c)] = v;
        }
    return true;
}

}  // namespace

bool decodeRgba8(const std::vector<uint8_t>& file, const std::string& name, Rgba8& out, std::string& error,
                 Order order) {
    try {
        return toRgba8(media::decodeStill(file, name, true), name, order, out, error);
    } catch (const media::Error& e) {
        error = e.what();
        return false;
    }
}

bool readRgba8(const std::string& path, Rgba8& out, std::string& error, Order order) {
    try {
        return toRgba8(media::readStill(path, true), path, order, out, error);
    } catch (const media::Error& e) {
        error = e.what();
        return false;
    }
}

}  // namespace benchimage
