// Internal to media/: the GIF writer's palette for one picture, chosen to
// keep the picture's squared error small. Deterministic: the same bytes
// give the same palette. Threads: no shared state.
#pragma once

#include <cstdint>
#include <vector>

#include "ImageLib/Surface.h"

namespace media::av {

struct GifPalette {
    // Distinct colours whose channels are whole 255ths, alpha 1.
    std::vector<ImageLib::Pixel32> entries;
    // True when the entries are every colour of the picture.
    bool exact = false;
};

// At most `limit` (1..256) colours for `bytes` (packed red, green, blue,
// alpha; alpha not read): the picture's own colours where it has no more
// than that, else a palette split out of its colours and refined against
// them.
GifPalette gifPalette(const ImageLib::Surface<ImageLib::Pixel8>& bytes, uint32_t limit);

}  // namespace media::av
