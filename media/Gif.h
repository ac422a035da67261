// Internal to media/: the GIF writer's pictures, reduced to an adaptive
// palette and dithered by the image library rather than by the encoder.
#pragma once

#include "media/Av.h"

namespace media::av {

// Fills the PAL8 `frame` (width x height, allocated by the caller) with
// `image` reduced to at most `colours` (8..256, a power of two) colours
// with dither kernel `dither` (gifDitherCode). Alpha is not kept.
void toPalette(const ImageLib::Picture& image, uint32_t colours, int dither, AVFrame& frame, const std::string& file);

}  // namespace media::av
