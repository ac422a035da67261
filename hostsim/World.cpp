#include "World.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "hostsim/Error.h"

namespace hostsim {
namespace {

// Memory position of red, green, blue, alpha for each order.
constexpr int kArgbSlots[4] = {1, 2, 3, 0};
constexpr int kBgraSlots[4] = {2, 1, 0, 3};

// lround(clamp(v, 0, 1) * scale) for scales up to 2^16, in float selects
// that vectorise. For 0.5 <= c < 2^22 the float sum c + 0.5 is exact or
// rounds without reaching the next whole number, so truncation floors it;
// below 0.5 (where the sum may round up to 1) the answer is 0. NaN gives 0,
// as the library's result for it does once cut to the sample's width.
inline uint32_t scaled(float v, float scale) {
    const float low = v > 0 ? v : 0.0f;
    const float c = (low < 1 ? low : 1.0f) * scale;
    return c < 0.5f ? 0u : uint32_t(int32_t(c + 0.5f));  // NOLINT(bugprone-incorrect-roundings): c is positive
}

// One row of 8-bit samples in the picture's own order, red first, as
// plain loops over unaliased arrays that vectorise.
void toBytes(const float* __restrict in, uint8_t* __restrict out, size_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = uint8_t(scaled(in[i], 255.0f));
}
void fromBytes(const uint8_t* __restrict in, float* __restrict out, size_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = in[i] / 255.0f;
}

// Pixels of four bytes between red, green, blue, alpha and the world's
// order, one 32-bit word each (little-endian: the first byte lowest).
// ARGB is RGBA turned by a byte; BGRA swaps the first and third bytes.
// Both turns are their own kind of inverse: ARGB back by three bytes.
void reorder(const uint8_t* __restrict in, uint8_t* __restrict out, size_t pixels, ChannelOrder order, bool toWorld) {
    for (size_t x = 0; x < pixels; ++x) {
        uint32_t w;
        std::memcpy(&w, in + 4 * x, 4);
        if (order == ChannelOrder::BGRA) w = (w & 0xFF00FF00u) | (w & 0xFFu) << 16 | (w >> 16 & 0xFFu);
        else w = toWorld ? w << 8 | w >> 24 : w >> 8 | w << 24;
        std::memcpy(out + 4 * x, &w, 4);
    }
}

}  // namespace

World::World(uint32_t width, uint32_t height, uint32_t depth, ChannelOrder order, uint32_t pixelFormat,
             uint32_t rowPadding, bool bottomUp)
    : bitsPerChannel(depth), channelOrder(order), format(pixelFormat) {
    if (depth != 8 && depth != 16 && depth != 32) throw Error("unsupported world depth " + std::to_string(depth));
    if (width > 32768 || height > 32768)
        throw Error("world size " + std::to_string(width) + "x" + std::to_string(height) + " is too large");
    uint32_t rowBytes = width * bytesPerPixel() + rowPadding;
    pixels.assign(size_t(rowBytes) * height, 0);
    def.world_flags = PF_WorldFlag_WRITEABLE | (depth == 16 ? PF_WorldFlag_DEEP : 0);
    def.data = pixels.empty() ? nullptr : pixels.data() + (bottomUp ? size_t(rowBytes) * (height - 1) : 0);
    def.rowbytes = bottomUp ? -int32_t(rowBytes) : int32_t(rowBytes);
    def.width = int32_t(width);
    def.height = int32_t(height);
    def.extent_hint = {0, 0, int32_t(width), int32_t(height)};
    def.pix_aspect_ratio = {1, 1};
}

void World::store(uint8_t* at, const float rgba[4]) {
    const int* slot = channelOrder == ChannelOrder::ARGB ? kArgbSlots : kBgraSlots;
    for (int c = 0; c < 4; ++c) {
        float v = rgba[c];
        if (bitsPerChannel == 8) {
            at[slot[c]] = uint8_t(scaled(v, 255.0f));
        } else if (bitsPerChannel == 16) {
            uint16_t w = uint16_t(scaled(v, 32768.0f));
            std::memcpy(at + slot[c] * 2, &w, 2);
        } else {
            std::memcpy(at + slot[c] * 4, &v, 4);
        }
    }
}

void World::load(const uint8_t* at, float rgba[4]) const {
    const int* slot = channelOrder == ChannelOrder::ARGB ? kArgbSlots : kBgraSlots;
    for (int c = 0; c < 4; ++c) {
        if (bitsPerChannel == 8) {
            rgba[c] = at[slot[c]] / 255.0f;
        } else if (bitsPerChannel == 16) {
            uint16_t w;
            std::memcpy(&w, at + slot[c] * 2, 2);
            rgba[c] = w / 32768.0f;
        } else {
            std::memcpy(&rgba[c], at + slot[c] * 4, 4);
        }
    }
}

void World::fill(const Image& image) {
    if (image.width != uint32_t(def.width) || image.height != uint32_t(def.height))
        throw Error("image of " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                    " does not fit a world of " + std::to_string(def.width) + "x" + std::to_string(def.height));
    if (image.isEightBit()) {
        if (bitsPerChannel != 8) return fill(asFloat(image));
        // Bytes as they are, in the world's order.
        for (uint32_t y = 0; y < image.height; ++y)
            reorder(&image.rgba8[size_t(y) * image.width * 4], row(y), image.width, channelOrder, true);
        return;
    }
    if (bitsPerChannel != 8) {
        for (uint32_t y = 0; y < image.height; ++y)
            for (uint32_t x = 0; x < image.width; ++x) store(row(y) + size_t(x) * bytesPerPixel(), image.pixel(x, y));
        return;
    }
    // The common 8-bit world row by row, with the same rounding as store.
    std::vector<uint8_t> bytes(size_t(image.width) * 4);
    for (uint32_t y = 0; y < image.height; ++y) {
        toBytes(image.pixel(0, y), bytes.data(), bytes.size());
        reorder(bytes.data(), row(y), image.width, channelOrder, true);
    }
}

Image World::toImage() const {
    Image image;
    toImage(image);
    return image;
}

void World::toImage(Image& image) const {
    const uint32_t width = uint32_t(def.width), height = uint32_t(def.height);
    if (image.isEightBit() && bitsPerChannel == 8) {
        // An 8-bit world into 8-bit storage: its bytes in red, green, blue,
        // alpha order.
        image.shapeEightBit(width, height);
        for (uint32_t y = 0; y < height; ++y)
            reorder(row(y), &image.rgba8[size_t(y) * width * 4], width, channelOrder, false);
        return;
    }
    if (image.width != width || image.height != height || image.rgba.empty()) image = Image(width, height);
    if (bitsPerChannel != 8) {
        for (uint32_t y = 0; y < image.height; ++y)
            for (uint32_t x = 0; x < image.width; ++x) load(row(y) + size_t(x) * bytesPerPixel(), image.pixel(x, y));
        return;
    }
    // The common 8-bit world row by row, with the same quotients as load.
    std::vector<uint8_t> bytes(size_t(image.width) * 4);
    for (uint32_t y = 0; y < image.height; ++y) {
        reorder(row(y), bytes.data(), image.width, channelOrder, false);
        fromBytes(bytes.data(), image.pixel(0, y), bytes.size());
    }
}

void World::fillRect(const PF_Pixel& color, const PF_Rect& rect) {
    const float rgba[4] = {color.red / 255.0f, color.green / 255.0f, color.blue / 255.0f, color.alpha / 255.0f};
    int32_t left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    int32_t right = std::min(rect.right, def.width), bottom = std::min(rect.bottom, def.height);
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x) store(row(uint32_t(y)) + size_t(x) * bytesPerPixel(), rgba);
}

uint32_t depthOfPixelFormat(uint32_t format) {
    switch (format) {
        case PrPixelFormat_ARGB_4444_8u:
        case PrPixelFormat_XRGB_4444_8u:
        case PrPixelFormat_BGRA_4444_8u:
        case PrPixelFormat_BGRX_4444_8u: return 8;
        case PrPixelFormat_ARGB_4444_16u:
        case PrPixelFormat_XRGB_4444_16u:
        case PrPixelFormat_BGRA_4444_16u:
        case PrPixelFormat_BGRX_4444_16u:
        case PF_PixelFormat_ARGB64: return 16;
        case PrPixelFormat_ARGB_4444_32f:
        case PrPixelFormat_XRGB_4444_32f:
        case PrPixelFormat_BGRA_4444_32f:
        case PrPixelFormat_BGRX_4444_32f:
        case PF_PixelFormat_ARGB128: return 32;
        default: return 0;
    }
}

ChannelOrder orderOfPixelFormat(uint32_t format) {
    switch (format) {
        case PrPixelFormat_BGRA_4444_8u:
        case PrPixelFormat_BGRX_4444_8u:
        case PrPixelFormat_BGRA_4444_16u:
        case PrPixelFormat_BGRX_4444_16u:
        case PrPixelFormat_BGRA_4444_32f:
        case PrPixelFormat_BGRX_4444_32f: return ChannelOrder::BGRA;
        default: return ChannelOrder::ARGB;
    }
}

}  // namespace hostsim
