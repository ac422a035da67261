// A picture as hosts, readers and writers pass it around outside the
// module: red, green, blue, alpha as floats, 1.0 full, rows top first,
// tightly packed. Values above 1 (from float files) are kept.
// An 8-bit picture holds the same channels as bytes (255 full) in `rgba8`
// and leaves `rgba` empty: 8-bit clips decode to it and 8-bit worlds read
// back into it, so frames pass between them without a round trip through
// floats. As floats, each byte is divided by 255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ImageLib {

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<float> rgba;     // width * height * 4, in a float picture
    std::vector<uint8_t> rgba8;  // width * height * 4 and the slack, in an 8-bit picture

    Picture() = default;
    Picture(uint32_t w, uint32_t h) : width(w), height(h), rgba(size_t(w) * h * 4, 0.0f) {}
    static Picture eightBit(uint32_t w, uint32_t h);
    bool isEightBit() const { return !rgba8.empty(); }
    // Zero bytes an 8-bit picture's storage keeps past its last pixel: the
    // libraries' vector code reads a little beyond the last pixel it
    // converts.
    static constexpr size_t kEightBitSlack = 64;
    size_t pixelBytes() const { return size_t(width) * height * 4; }
    // Makes this an 8-bit picture of w x h, in its own storage where that
    // is large enough (pixels unspecified, the slack zero).
    void shapeEightBit(uint32_t w, uint32_t h);
    bool hasEightBitSlack() const { return rgba8.size() >= pixelBytes() + kEightBitSlack; }
    bool empty() const { return rgba.empty() && rgba8.empty(); }
    float* pixel(uint32_t x, uint32_t y) { return &rgba[(size_t(y) * width + x) * 4]; }
    const float* pixel(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// The picture as floats: a copy of an 8-bit one, else the picture itself.
Picture asFloat(const Picture& image);
Picture asFloat(Picture&& image);

}  // namespace ImageLib
