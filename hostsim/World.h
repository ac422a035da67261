// An image buffer as the host hands it to an effect: a PF_EffectWorld over
// pixels the World owns, with its depth (8, 16 in the host range 0..32768,
// or 32-bit float), its channel order in memory and the pixel-format code
// the host reports for it. Rows may carry padding (rowbytes > width * pixel
// size) like a real host's buffers, and may be stored bottom row first
// (rowbytes negative, data still pointing at the top row).
// Not copyable: the module keeps pointers to `def`, so a World stays put.
#pragma once

#include <cstdint>
#include <vector>

#include "hostsim/Image.h"
#include "sdk/PF_Effect.h"

namespace hostsim {

enum class ChannelOrder { ARGB, BGRA };

class World {
public:
    World(uint32_t width, uint32_t height, uint32_t depth, ChannelOrder order, uint32_t pixelFormat,
          uint32_t rowPadding = 0, bool bottomUp = false);
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    PF_EffectWorld def{};  // what the module sees; data points into `pixels`
    uint32_t depth() const { return bitsPerChannel; }
    ChannelOrder order() const { return channelOrder; }
    uint32_t pixelFormat() const { return format; }
    uint32_t bytesPerPixel() const { return bitsPerChannel / 2; }

    // Converts from / to the RGBA image (sizes must match for fill).
    // toImage writes into `image`'s storage when it has the world's size,
    // and keeps an 8-bit picture 8-bit when the world is (deeper worlds
    // read back as floats).
    void fill(const Image& image);
    Image toImage() const;
    void toImage(Image& image) const;
    // Sets every pixel inside `rect` (clipped) to an 8-bit ARGB colour.
    void fillRect(const PF_Pixel& color, const PF_Rect& rect);

private:
    uint8_t* row(uint32_t y) { return static_cast<uint8_t*>(def.data) + int64_t(y) * def.rowbytes; }
    const uint8_t* row(uint32_t y) const { return static_cast<const uint8_t*>(def.data) + int64_t(y) * def.rowbytes; }
    void store(uint8_t* at, const float rgba[4]);
    void load(const uint8_t* at, float rgba[4]) const;

    uint32_t bitsPerChannel;
    ChannelOrder channelOrder;
    uint32_t format;
    std::vector<uint8_t> pixels;
};

// The depth a pixel-format code stands for, from the effect interface's
// format tables: 8, 16, 32, or 0 for an unknown code.
uint32_t depthOfPixelFormat(uint32_t format);
// The memory order of a pixel-format code: blue, green, red, alpha for the
// editing host's BGRA and BGRX codes, alpha, red, green, blue otherwise.
ChannelOrder orderOfPixelFormat(uint32_t format);

}  // namespace hostsim
