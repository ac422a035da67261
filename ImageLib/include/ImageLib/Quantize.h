// Palette quantization with optional dithering, on surfaces of 8, 16 or
// 32 bits per channel.
//
// palette: 1 threshold (white when red > amount), 2..7 adaptive with at most
//   8, 16, 32, 64, 128, 256 colours, 9..21 fixed palettes; others do nothing.
// dither:  1 none, 3..11 error diffusion (Floyd-Steinberg, Jarvis-Judice-
//   Ninke, Stucki, Atkinson, Burkes, Sierra, two-row Sierra, Sierra Lite,
//   Stevenson-Arce), 13..15 ordered 2x2, 4x4, 8x8; others do nothing.
// amount:  threshold for palette 1, strength of ordered dithering otherwise.
// Only red, green and blue are written back; alpha keeps its value (a
// 16-bit alpha of 32768 comes back as 32767). Grayscale (or palette 1)
// turns the image grey first, also when the palette or dither does nothing.
//
// Errors: a surface with no pixels, a depth other than 8, 16 or 32, a stride
// shorter than a row or not a whole number of channels, or pixels shorter
// than the image is left untouched.
// Allocation failures throw std::bad_alloc with the surface unchanged.
// Every call gives the same bytes on the scalar reference and on each vector
// build (SSE2; AVX2, picked at run time where the CPU has it).
// Threads: the fixed palettes and dither tables are process-wide constants
// built once on first use; everything else belongs to the call.
#pragma once

#include "ImageLib/Surface.h"

#include <cstdint>

namespace ImageLib {

struct Palette {
    const Pixel32* colors = nullptr;
    uint32_t count = 0;
};

// A view or owning image of one of the three pixel types.
template <class P>
bool quantizeSurface(Surface<P>& image, int palette, int dither, float amount, bool grayscale, bool serpentine,
                     Kernel k = Kernel::Vector);

// The float working image; `internalDither` is the script's dither value - 1.
void quantizeImage(Surface<Pixel32>& image, int palette, int64_t internalDither, float amount, bool serpentine,
                   Kernel k = Kernel::Vector);

// Fixed palette 9..21 (converted to float on first use); empty otherwise.
Palette fixedPalette(int palette);

namespace detail {
// The scalar reference and the two vector builds, which give the same bytes.
enum class QuantizePath { Scalar, Sse2, Avx2 };
// The vector build this CPU runs (Kernel::Vector): AVX2 where it has it.
QuantizePath vectorPath();
// quantizeSurface on a given path (Avx2 only where the CPU has it).
template <class P>
bool quantizeSurface(Surface<P>& image, int palette, int dither, float amount, bool grayscale, bool serpentine,
                     QuantizePath path);
// The float image against `count` (1..256) given colours, script dither value.
void quantizeImage(Surface<Pixel32>& image, const Pixel32* colors, uint32_t count, int dither, float amount,
                   bool serpentine, QuantizePath path);
}  // namespace detail

}  // namespace ImageLib
