// The generated input of `lumivex render` when no --input is given: colour
// bars over the top half, a grey ramp, then a checkerboard with a one-pixel
// grid, fully opaque. Deterministic for a given size.
#pragma once

#include <cstdint>

#include "hostsim/Image.h"

namespace render {

hostsim::Image makeTestCard(uint32_t width, uint32_t height);

}  // namespace render
