// The quantizer's constant tables and the one-time conversion of the byte
// palettes to float.
#include "PixelMath.h"
#include "ImageLib/Tables.h"

#include <array>
#include <initializer_list>

namespace ImageLib::detail {
namespace {

Surface<Pixel32> weightSurface(uint32_t w, uint32_t h, std::initializer_list<int> values, float divisor) {
    Surface<Pixel32> s(w, h);
    auto it = values.begin();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x, ++it) {
            const float v = float(*it) / divisor;
            s.row(y)[x] = {v, v, v, v};
        }
    return s;
}

// Rows top to bottom; the current pixel is written as 1 (1 / divisor).
DiffusionKernel kernel(uint32_t w, uint32_t h, std::initializer_list<int> values, float divisor) {
    DiffusionKernel k{weightSurface(w, h, values, divisor), 0};
    while (k.current < w && !(k.weights.row(0)[k.current].alpha > 0.0f)) ++k.current;
    return k;
}

struct Kernels {
    std::array<DiffusionKernel, 9> k{{
        kernel(3, 2, {0, 1, 7, 3, 5, 1}, 16),
        kernel(5, 3, {0, 0, 1, 7, 5, 3, 5, 7, 5, 3, 1, 3, 5, 3, 1}, 48),
        kernel(5, 3, {0, 0, 1, 8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1}, 42),
        kernel(4, 3, {0, 1, 1, 1, 1, 1, 1, 0, 0, 1, 0, 0}, 8),
        kernel(5, 2, {0, 0, 1, 8, 4, 2, 4, 8, 4, 2}, 32),
        kernel(5, 3, {0, 0, 1, 5, 3, 2, 4, 5, 4, 2, 0, 2, 3, 2, 0}, 32),
        kernel(5, 2, {0, 0, 1, 4, 3, 1, 2, 3, 2, 1}, 16),
        kernel(3, 2, {0, 1, 2, 1, 1, 0}, 4),
        kernel(7, 4, {0, 0, 0, 1, 0, 32, 0, 12, 0, 26, 0, 30, 0, 16, 0, 12, 0, 26, 0, 12, 0, 5, 0, 12, 0, 12, 0, 5},
               200),
    }};
};

struct Matrices {
    std::array<Surface<Pixel32>, 3> m{{
        weightSurface(2, 2, {1, 3, 4, 2}, 4),
        weightSurface(4, 4, {1, 9, 3, 11, 13, 5, 15, 7, 4, 12, 2, 10, 16, 8, 14, 6}, 17),
        weightSurface(8, 8, {1,  33, 9,  41, 3,  35, 11, 43, 49, 17, 57, 25, 51, 19, 59, 27, 13, 45, 5,  37, 15, 47,
                             7,  39, 61, 29, 53, 21, 63, 31, 55, 23, 4,  36, 12, 44, 2,  34, 10, 42, 52, 20, 60, 28,
                             50, 18, 58, 26, 16, 48, 8,  40, 14, 46, 6,  38, 64, 32, 56, 24, 62, 30, 54, 22},
                      65),
    }};
};

// Palettes 9..21 as 0xRRGGBB; 9 and 10 are taken as b / 255, 11..21 go
// through the same byte-to-float conversion as the 8-bit surfaces.
struct ByteTable {
    uint32_t count;
    uint32_t rgb[16];
};
constexpr ByteTable kFixed[13] = {
    {8, {0x000000, 0x0027FB, 0x00F92C, 0x00FCFE, 0xFF3016, 0xFF3FFC, 0xFFFD33, 0xFFFFFF}},
    {16,
     {0x000000, 0x001290, 0x008F15, 0x009092, 0x9B1708, 0x9A2091, 0x949119, 0xB8B8B8, 0x686868, 0x0027FB, 0x00F92C,
      0x00FCFE, 0xFF3016, 0xFF3FFC, 0xFFFD33, 0xFFFFFF}},
    {16,
     {0x000000, 0x722640, 0x40337F, 0xE434FE, 0x0E5940, 0xCCCCCC, 0x1B9AFE, 0xBFB3FF, 0x404C00, 0xE46501, 0xCCCCCC,
      0xF1A6BF, 0x1BCB01, 0xBFCC80, 0x8DD9BF, 0xFFFFFF}},
    {16,
     {0x000000, 0xFFFFFF, 0x8D3E37, 0x72C1C8, 0x80348B, 0x55A049, 0x40318D, 0xAAB95D, 0x8B5429, 0xD59F74, 0xB86962,
      0x87D6DD, 0xAA5FB6, 0x94E089, 0x8071CC, 0xBFCE72}},
    {16,
     {0x000000, 0xFFFFFF, 0x883932, 0x67B6BD, 0x8B3F96, 0x55A049, 0x40318D, 0xBFCE72, 0x8B5429, 0x574200, 0xB86962,
      0x505050, 0x787878, 0x94E089, 0x7869C4, 0x9F9F9F}},
    {4, {0x000000, 0x00AAAA, 0xAA00AA, 0xAAAAAA}},
    {4, {0x000000, 0x55FFFF, 0xFF55FF, 0xFFFFFF}},
    {4, {0x000000, 0x00AA00, 0xAA0000, 0xAA5500}},
    {4, {0x000000, 0x55FF55, 0xFF5555, 0xFFFF55}},
    {4, {0x000000, 0x00AAAA, 0xAA0000, 0xAAAAAA}},
    {4, {0x000000, 0x55FFFF, 0xFF5555, 0xFFFFFF}},
    {16,
     {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55,
      0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF}},
    {16,
     {0x000000, 0x000000, 0x3EB849, 0x74D07D, 0x5955E0, 0x8076F1, 0xB95E51, 0x65DBEF, 0xDB6559, 0xFF897D, 0xCCC35E,
      0xDED087, 0x3AA241, 0xB766B5, 0xCCCCCC, 0xFFFFFF}},
};

struct FloatPalettes {
    Pixel32 colors[13][16];
    FloatPalettes() {
        for (int p = 0; p < 13; ++p)
            for (uint32_t i = 0; i < kFixed[p].count; ++i) {
                const uint32_t c = kFixed[p].rgb[i];
                const uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
                if (p < 2) colors[p][i] = {1.0f, r / 255.0f, g / 255.0f, b / 255.0f};
                else colors[p][i] = {byteToFloat(255), byteToFloat(r), byteToFloat(g), byteToFloat(b)};
            }
    }
};

}  // namespace

const DiffusionKernel* diffusionKernel(int ditherValue) {
    static const Kernels kernels;
    if (ditherValue < 3 || ditherValue > 11) return nullptr;
    return &kernels.k[size_t(ditherValue - 3)];
}

const Surface<Pixel32>* thresholdMatrix(int ditherValue) {
    static const Matrices matrices;
    if (ditherValue < 13 || ditherValue > 15) return nullptr;
    return &matrices.m[size_t(ditherValue - 13)];
}

}  // namespace ImageLib::detail

namespace ImageLib {

Palette fixedPalette(int palette) {
    if (palette < 9 || palette > 21) return {};
    // Converted once, on first use (the function-local static is the flag).
    static const detail::FloatPalettes palettes;
    const int i = palette - 9;
    return {palettes.colors[i], detail::kFixed[i].count};
}

}  // namespace ImageLib
