// Image-file decoding with stb_image, guarded: sizes are capped and read
// with stbi_info_from_memory before any pixel is decoded, and inputs known to
// hang or overrun the packaged decoder are refused first.
#include "ImageLib/Decode.h"

#include "DecodeGuards.h"

#include <climits>

// At most 16384 pixels per side and 2^25 pixels (an 8K frame) in all: the
// largest 8-bit result is 128 MiB, the largest float one 512 MiB.
#define STBI_MAX_DIMENSIONS (1 << 14)
#define STBI_NO_FAILURE_STRINGS
#define STBI_NO_STDIO
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_PSD
#define STBI_ONLY_HDR
#define STBI_ONLY_TGA
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
// Two things the library does on damaged files that the undefined-behaviour
// sanitizer reports, neither touching memory it should not:
// - The PSD loader's white-matte removal turns colours darker than their
//   matte allows into out-of-range floats and casts them to bytes. Only that
//   pixel's value is lost (a file like that has no meaningful colour there).
// - A JPEG whose entropy-coded data runs on past a marker consumes more bits
//   than the reader holds; the reader then shifts zero bytes (all it supplies
//   after a marker) by 32 or more. A zero shifted by any amount is zero on
//   every processor, and the decoded pixels are garbage from a damaged file.
// These two checks are off for the library's code alone, so the sanitizer
// keeps watching ours.
#ifdef __clang__
#pragma clang attribute push(__attribute__((no_sanitize("float-cast-overflow", "shift-exponent"))), apply_to = function)
#endif
#include <stb/stb_image.h>
#ifdef __clang__
#pragma clang attribute pop
#endif
#pragma GCC diagnostic pop

namespace ImageLib {

namespace {
constexpr long long kMaxPixels = 1LL << 25;
}

const char* describe(DecodeFailure failure) {
    switch (failure) {
        case DecodeFailure::None: return "no failure";
        case DecodeFailure::Empty: return "the file is empty";
        case DecodeFailure::NotAnImage: return "not a JPEG, PNG, BMP, GIF, PSD, HDR or TGA file the decoder accepts";
        case DecodeFailure::Damaged: return "the image data is damaged";
        case DecodeFailure::Truncated: return "the file ends before the image data its header announces";
        case DecodeFailure::TooLarge: return "the image is larger than 16384 pixels a side or 2^25 pixels";
    }
    return "unknown failure";
}

bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out, DecodeFailure* failure) {
    out = DecodedImage();
    const auto refuse = [&](DecodeFailure cause) {
        out = DecodedImage();
        if (failure) *failure = cause;
        return false;
    };
    if (data == nullptr || size == 0) return refuse(DecodeFailure::Empty);
    if (size > size_t(INT_MAX)) return refuse(DecodeFailure::TooLarge);
    const int length = int(size);

    // The guards run first: reading the header (stbi_info) already builds
    // the JPEG Huffman tables.
    if (!detail::hdrRunsAdvance(data, size) || !detail::jpegSegmentsSound(data, size) ||
        !detail::bmpIndicesInPalette(data, size))
        return refuse(DecodeFailure::Damaged);
    if (!detail::dataCoversHeader(data, size)) return refuse(DecodeFailure::Truncated);
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &w, &h, &channels)) return refuse(DecodeFailure::NotAnImage);
    if (w <= 0 || h <= 0 || w > STBI_MAX_DIMENSIONS || h > STBI_MAX_DIMENSIONS ||
        static_cast<long long>(w) * h > kMaxPixels)
        return refuse(DecodeFailure::TooLarge);
    if (!detail::pngDataInflates(data, size)) return refuse(DecodeFailure::Damaged);

    const bool hdr = stbi_is_hdr_from_memory(data, length) != 0;
    void* pixels = hdr ? static_cast<void*>(stbi_loadf_from_memory(data, length, &w, &h, &channels, 4))
                       : static_cast<void*>(stbi_load_from_memory(data, length, &w, &h, &channels, 4));
    if (!pixels) return refuse(DecodeFailure::Damaged);
    out.pixels.reset(pixels);
    if (w <= 0 || h <= 0) return refuse(DecodeFailure::Damaged);
    out.width = uint32_t(w);
    out.height = uint32_t(h);
    out.depth = hdr ? 32 : 8;
    return true;
}

}  // namespace ImageLib
