// The CPU image entity a script creates by id (kind tag 0x06000000).
//
// A surface records width, height, depth (bits per channel: 8, 16 as the
// host's 0..32768 range, or 32 float) and a row stride, and gets its pixels
// in one of three ways:
//   - assignExternal: borrows memory owned elsewhere that the caller keeps
//     alive for every later use (pixels of the current frame);
//   - assignShared: shares a pixel block (a texture's CPU copy) through a
//     reference count, so the surface keeps reading the old pixels after the
//     texture is uploaded again or released;
//   - assignCopy: owns a private copy in `buffer`.
// `pixels()` gives the borrowed or shared memory when there is some, else the
// start of `buffer`, else null. Channels are alpha, red, green, blue.
//
// Errors: size arithmetic is done in 64 bits; a copy whose byte count cannot
// be represented returns false and leaves the surface as it was. Allocation
// failures propagate as std::bad_alloc with the surface unchanged.
// Limits: a script surface is at most kMaxSurfaceSide pixels a side and
// kMaxSurfaceBytes of pixels; all surfaces together hold at most
// kMaxSurfaceBytes of pixel memory of their own (the script bindings check
// both and end the call with an error naming the limit).
// Threads: none of this locks; callers hold the module's entry lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ImageLib/Surface.h"

namespace gpu {

constexpr uint32_t kMaxSurfaceSide = 32768;
constexpr uint64_t kMaxSurfaceBytes = uint64_t(2) << 30;  // 2 GiB

class Surface {
public:
    // Defined by the registry; owns the surfaces of one kind.
    struct Factory;

    Surface() = default;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    virtual ~Surface();

    // Sets the size with stride = width * depth / 2 (four channels of
    // depth / 8 bytes) and keeps `flag`; allocates nothing, keeps any pixels.
    virtual bool create(uint32_t width, uint32_t height, uint32_t depth, uint8_t flag);

    // Points the surface at pixels it does not own; `buffer` is kept.
    void assignExternal(uint32_t width, uint32_t height, uint32_t depth, uint64_t stride, void* pixels);

    // Shares `pixels` (at least height * stride bytes are expected; fewer
    // makes the surface report no pixels to the image operations).
    void assignShared(uint32_t width, uint32_t height, uint32_t depth, uint64_t stride,
                      std::shared_ptr<std::vector<uint8_t>> pixels);

    // Copies height * (width * depth / 2) bytes from `source` into `buffer`
    // and drops any borrowed or shared pixels. Returns false, changing
    // nothing, when the byte count overflows.
    bool assignCopy(uint32_t width, uint32_t height, uint32_t depth, const void* source);

    uint8_t* pixels();
    const uint8_t* pixels() const;

    // The block shared by assignShared, or null.
    const std::vector<uint8_t>* sharedPixels() const { return shared_.get(); }

    // Whether a surface of that size is allowed: each side at most
    // kMaxSurfaceSide, its packed pixels at most kMaxSurfaceBytes.
    static bool allowedSize(uint32_t width, uint32_t height, uint32_t depth);

    // Bytes known to be readable at pixels(): the size of the owned or shared
    // block, SIZE_MAX for borrowed memory (its owner vouches), 0 for none.
    size_t pixelBytes() const;

    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t stride = 0;
    uint32_t depth = 0;
    uint8_t flag = 0;
    std::vector<uint8_t> buffer;
    void* external = nullptr;

private:
    std::shared_ptr<std::vector<uint8_t>> shared_;
};

// Quantizes the surface's pixels in place (see ImageLib/Quantize.h). Returns
// true when the surface had pixels of a supported depth covering its size
// and was processed.
bool quantizeSurface(Surface& surface, int palette, int dither, float amount, bool grayscale, bool serpentine,
                     ImageLib::Kernel k = ImageLib::Kernel::Vector);

}  // namespace gpu
