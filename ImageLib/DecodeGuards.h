// Checks run on untrusted image bytes before the decoder sees them; each
// rejects input that would make the packaged decoder loop forever, write out
// of bounds, or produce pixels from memory it never wrote. Internal to the
// image library. Errors: none thrown except std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ImageLib::detail {

// Radiance HDR: false when a run-length scanline would stop advancing (a
// zero count, or counts read past the end of the data, which read as zero).
bool hdrRunsAdvance(const uint8_t* data, size_t size);

// JPEG: false when a Huffman table declares more than 256 codes, a scan
// decodes with a Huffman or quantization table that no earlier segment
// defined, or the image ends with a component of the frame that no scan
// set. The decoder would otherwise read its never-written memory.
bool jpegSegmentsSound(const uint8_t* data, size_t size);

// BMP with a palette: false when a pixel names an entry the palette lacks
// (the decoder would read it from memory it never wrote).
bool bmpIndicesInPalette(const uint8_t* data, size_t size);

// PNG: false when the compressed image data is no complete, valid deflate
// stream (the decoder copies never-written bytes for invalid distance codes)
// or expands to more than twice the image's scanlines plus 1 MiB.
bool pngDataInflates(const uint8_t* data, size_t size);

// False when the data ends before the pixels its header announces, for the
// formats whose decoder would otherwise fill the rest from memory it never
// wrote or from zeros: TGA (every variant), Radiance HDR (flat and
// run-length), BMP, and PNG (chunks that run past the end). True for every
// other input.
bool dataCoversHeader(const uint8_t* data, size_t size);

}  // namespace ImageLib::detail
