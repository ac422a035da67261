// Fast PNG encoding for the command-line tools and benchmarks: rows stored
// unfiltered and compressed in one pass at deflate level 1 (libdeflate),
// which writes a frame several times faster than an adaptive-filter,
// level-6 encoder at a somewhat larger file.
//
// Pixels are red, green, blue, alpha: 8 bits, or 16 bits in host byte order
// (written big-endian as PNG requires). With `palette`, an 8-bit image of at
// most 256 distinct colours is stored as a palette image (alpha in a tRNS
// chunk), which decodes to the same pixels. With `alphaFirst` the pixels are
// alpha, red, green, blue instead, as surfaces hold them.
// Errors: throws std::bad_alloc when memory runs out, std::length_error for
// an image PNG cannot hold (a side of 0 or above 2^31 - 1). No shared state.
#pragma once

#include <cstdint>
#include <vector>

namespace pngwrite {

std::vector<uint8_t> encodePng(const uint8_t* pixels, uint32_t width, uint32_t height, uint64_t stride,
                               int bits, bool palette, bool alphaFirst = false);

}  // namespace pngwrite
