// Internal to media/: the GIF writer's pictures, each reduced to a palette
// of its own (GifPalette.h) and dithered against it by the image library
// rather than by the encoder.
#pragma once

#include "Av.h"

namespace media::av {

// Fills the PAL8 `frame` (width x height, allocated by the caller) with
// `image` reduced to at most `colours` (8..256, a power of two) colours
// with dither kernel `dither` (gifDitherCode). A picture of no more colours
// than that keeps them exactly and is not dithered. Alpha is not kept.
void toPalette(const ImageLib::Picture& image, uint32_t colours, int dither, AVFrame& frame, const std::string& file);

}  // namespace media::av
