// Image file decoding for textures. Files are untrusted: sizes are capped,
// and files shorter than their header requires, or whose data would have the
// decoder loop, overrun or read memory it never wrote, are rejected before it
// runs; a rejected file is reported like an undecodable one, with its cause.
// Threads: no shared state; calls may run on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace ImageLib {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Four channels in red, green, blue, alpha order, tightly packed:
// depth 8 gives 4 bytes per pixel, depth 32 (Radiance HDR) 16 bytes of float.
struct DecodedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;
    std::unique_ptr<void, FreeDeleter> pixels;
};

// Why a file was refused.
enum class DecodeFailure { None, Empty, NotAnImage, Damaged, Truncated, TooLarge };

// The cause in a few words, for messages.
const char* describe(DecodeFailure failure);

// Decodes a whole file held in memory. Returns false (and leaves `out` empty)
// for an empty, undecodable, oversized, short or rejected file, and then
// sets `failure` when it is given.
bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out, DecodeFailure* failure = nullptr);

}  // namespace ImageLib
