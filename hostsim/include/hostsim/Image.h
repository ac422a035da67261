// The stand-in host's picture is the image library's (ImageLib/Picture.h);
// what is added here is how a host shrinks a layer for a draft render.
#pragma once

#include <cstdint>

#include "ImageLib/Picture.h"

namespace hostsim {

using Image = ImageLib::Picture;
using ImageLib::asFloat;

// A box-filtered copy at 1/factorX by 1/factorY of the size (rounded up), as
// a host renders a layer at a lower resolution. Factors of 1 copy the image.
Image downsample(const Image& image, uint32_t factorX, uint32_t factorY);

}  // namespace hostsim
