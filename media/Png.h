// PNG files through libpng. Reading accepts every PNG (8 and 16 bits, any
// colour type, interlaced or not). Writing favours speed over size: every
// row through the Sub filter, deflate level 1.
//
// The raw encoder takes red, green, blue, alpha: 8 bits, or 16 bits in host
// byte order (written big-endian as PNG requires). With `palette`, an 8-bit
// image of at most 256 distinct colours is stored as a palette image (alpha
// in a tRNS chunk), which decodes to the same pixels. With `alphaFirst` the
// pixels are alpha, red, green, blue instead, as surfaces hold them.
// Errors: decodePng throws media::Error naming `name`; the encoders throw
// std::bad_alloc when memory runs out, std::length_error for an image PNG
// cannot hold (a side of 0 or above 2^31 - 1). No shared state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageLib/Picture.h"
#include "media/Error.h"
#include "media/Still.h"

namespace media {

std::vector<uint8_t> encodePng(const uint8_t* pixels, uint32_t width, uint32_t height, uint64_t stride, int bits,
                               bool palette, bool alphaFirst = false);

// A float picture at `depth` 8 or 16 bits, each value clamped to 0..1 and
// rounded to the nearest step.
std::vector<uint8_t> encodePng(const ImageLib::Picture& image, uint32_t depth);

// The picture of a PNG file in memory, as floats or, with `eightBit` and
// 8-bit samples, as an 8-bit picture.
Still decodePng(const std::vector<uint8_t>& file, const std::string& name, bool eightBit);

}  // namespace media
