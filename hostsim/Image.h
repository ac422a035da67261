// A picture as the stand-in host stores it between the caller and its
// worlds: red, green, blue, alpha as floats, 1.0 full, rows top first,
// tightly packed. Values above 1 (from float files) are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hostsim {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<float> rgba;  // width * height * 4

    Image() = default;
    Image(uint32_t w, uint32_t h) : width(w), height(h), rgba(size_t(w) * h * 4, 0.0f) {}
    float* pixel(uint32_t x, uint32_t y) { return &rgba[(size_t(y) * width + x) * 4]; }
    const float* pixel(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// A box-filtered copy at 1/factorX by 1/factorY of the size (rounded up), as
// a host renders a layer at a lower resolution. Factors of 1 copy the image.
Image downsample(const Image& image, uint32_t factorX, uint32_t factorY);

}  // namespace hostsim
