// Process-wide constants of the quantizer: diffusion kernels, threshold
// matrices, fixed palettes and the two threshold colours. Built once on first
// use and never changed. Internal to the image library.
#pragma once

#include "ImageLib/Quantize.h"
#include "ImageLib/Surface.h"

namespace ImageLib::detail {

// Weights (n / divisor) in all four channels; `current` is the column of the
// current pixel in row 0 (the first entry above 0, holding 1 / divisor).
struct DiffusionKernel {
    Surface<Pixel32> weights;
    uint32_t current = 0;
};

// Dither values 3..11; null for any other value.
const DiffusionKernel* diffusionKernel(int ditherValue);
// Dither values 13..15 (2x2, 4x4, 8x8); null for any other value.
const Surface<Pixel32>* thresholdMatrix(int ditherValue);

constexpr Pixel32 kWhite{1.0f, 1.0f, 1.0f, 1.0f};
constexpr Pixel32 kBlack{1.0f, 0.0f, 0.0f, 0.0f};

}  // namespace ImageLib::detail
