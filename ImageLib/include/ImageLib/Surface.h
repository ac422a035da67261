// Working images and pixel-depth conversions of the image library.
//
// Pixels have four channels in the order alpha, red, green, blue:
//   Pixel8  unsigned 8-bit, 255 is full;
//   Pixel15 unsigned 16-bit in the host's range, 32768 is full;
//   Pixel32 float, 1.0 is full, values outside 0..1 carried unchanged.
// A Surface<P> either owns its pixels (made from a size; freed by the
// destructor) or is a view over memory owned elsewhere (stride 0 = packed).
// Row y starts at data + y * stride; bytes past width pixels are never touched.
//
// Errors: a size whose byte count does not fit throws std::bad_alloc, like a
// failed allocation; nothing leaks. Conversions of an image with no pixels
// (width or height 0, or null data) do nothing or return an empty image.
// Every conversion has a vector (SSE) and a scalar implementation that give
// bit-identical results; `Kernel` picks one (vector by default).
// Threads: no shared state; a surface must not be used by two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ImageLib {

struct Pixel8 {
    uint8_t alpha, red, green, blue;
};
struct Pixel15 {
    uint16_t alpha, red, green, blue;
};
struct Pixel32 {
    float alpha, red, green, blue;
};

template <class P>
struct PixelDepth;
template <>
struct PixelDepth<Pixel8> {
    static constexpr uint32_t value = 8;
};
template <>
struct PixelDepth<Pixel15> {
    static constexpr uint32_t value = 16;
};
template <>
struct PixelDepth<Pixel32> {
    static constexpr uint32_t value = 32;
};

enum class Kernel { Vector, Scalar };

struct SurfaceBase {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t stride = 0;
    uint32_t depth = 0;
    void* data = nullptr;
    bool ownsData = false;

    SurfaceBase() = default;
    SurfaceBase(const SurfaceBase&) = delete;
    SurfaceBase& operator=(const SurfaceBase&) = delete;
    virtual ~SurfaceBase() = default;
    bool empty() const { return width == 0 || height == 0 || data == nullptr; }
};

// Allocates height * stride bytes aligned for vector loads; throws
// std::bad_alloc when the product overflows or memory runs out.
void* allocatePixels(uint64_t height, uint64_t stride);
void freePixels(void* p);

template <class P>
struct Surface : SurfaceBase {
    static constexpr uint64_t bytesPerPixel = sizeof(P);

    Surface() { depth = PixelDepth<P>::value; }
    // Owning, contents undefined.
    Surface(uint32_t w, uint32_t h) : Surface() {
        stride = uint64_t(w) * bytesPerPixel;
        data = allocatePixels(h, stride);
        width = w;
        height = h;
        ownsData = true;
    }
    // View over pixels owned elsewhere.
    Surface(uint32_t w, uint32_t h, uint64_t s, void* pixels) : Surface() {
        width = w;
        height = h;
        stride = s ? s : uint64_t(w) * bytesPerPixel;
        data = pixels;
    }
    Surface(Surface&& other) noexcept : Surface() { swap(other); }
    Surface& operator=(Surface&& other) noexcept {
        swap(other);
        return *this;
    }
    ~Surface() override {
        if (ownsData) freePixels(data);
    }

    P* row(uint32_t y) { return reinterpret_cast<P*>(static_cast<uint8_t*>(data) + y * stride); }
    const P* row(uint32_t y) const {
        return reinterpret_cast<const P*>(static_cast<const uint8_t*>(data) + y * stride);
    }

private:
    void swap(Surface& o) noexcept {
        std::swap(width, o.width);
        std::swap(height, o.height);
        std::swap(stride, o.stride);
        std::swap(data, o.data);
        std::swap(ownsData, o.ownsData);
    }
};

// v / 255 (as (v / 256) * 1.0039216f), v / 32768, or a row-by-row copy.
Surface<Pixel32> toFloat(const Surface<Pixel8>& src, Kernel k = Kernel::Vector);
Surface<Pixel32> toFloat(const Surface<Pixel15>& src, Kernel k = Kernel::Vector);
Surface<Pixel32> toFloat(const Surface<Pixel32>& src, Kernel k = Kernel::Vector);
// The same into an existing float surface, as far as it reaches.
void toFloat(const Surface<Pixel8>& src, Surface<Pixel32>& dst, Kernel k = Kernel::Vector);
void toFloat(const Surface<Pixel15>& src, Surface<Pixel32>& dst, Kernel k = Kernel::Vector);
void toFloat(const Surface<Pixel32>& src, Surface<Pixel32>& dst, Kernel k = Kernel::Vector);

// Writes `src` into `dst` (same width and height; a smaller dst is filled as
// far as it reaches). 8-bit: round f * 255 to nearest, ties to even, clamp to
// 0..255. 16-bit: truncate f * 32768 toward zero, clamp to 0..32767 (so 1.0
// gives 32767). NaN gives 0; huge values clamp rather than wrap.
void fromFloat(const Surface<Pixel32>& src, Surface<Pixel8>& dst, Kernel k = Kernel::Vector);
void fromFloat(const Surface<Pixel32>& src, Surface<Pixel15>& dst, Kernel k = Kernel::Vector);
void fromFloat(const Surface<Pixel32>& src, Surface<Pixel32>& dst, Kernel k = Kernel::Vector);
// fromFloat's vector kernel for red, green and blue; each destination pixel
// keeps its alpha byte.
void fromFloatKeepingAlpha(const Surface<Pixel32>& src, Surface<Pixel8>& dst);

// Packed copy with bytes red, green, blue, alpha (stride = width * 4),
// rounded like fromFloat to 8 bits.
Surface<Pixel8> toRgba8(const Surface<Pixel32>& src, Kernel k = Kernel::Vector);

// In place: red, green and blue become 0.2126 r + 0.7152 g + 0.0722 b.
void toGrayscale(Surface<Pixel32>& image, Kernel k = Kernel::Vector);

// Widens host 16-bit values (0..32768) to 0..65534: v <= 16384 gives 2v,
// above gives 2(v - 1); values above 32768 count as 32768. Converts width * 4
// values of each row of `src` into `dst`, both with `stride` bytes per row;
// the rest of each destination row is not written.
void expandHost16(const void* src, void* dst, uint32_t width, uint32_t height, uint64_t stride,
                  Kernel k = Kernel::Vector);
// The same into a new buffer of height * stride bytes (null for no pixels).
std::unique_ptr<uint8_t[]> expandHost16(const void* src, uint32_t width, uint32_t height, uint64_t stride,
                                        Kernel k = Kernel::Vector);
// A 16-bit value read back from the GL (0..65535) in the host's 0..32768
// range: v / 2, plus 1 above 32768, so 65535 gives the host's full 32768.
inline uint16_t narrowToHost16(uint16_t v) { return static_cast<uint16_t>(v / 2 + (v > 32768 ? 1 : 0)); }
// The same in place, for every channel of a width x height image.
void narrowToHost16(void* pixels, uint32_t width, uint32_t height, uint64_t stride);

}  // namespace ImageLib
