#include "gpu/SurfaceEntity.h"

#include "ImageLib/Quantize.h"

#include <cstring>
#include <limits>

namespace gpu {

namespace {

// Bytes per row of a packed four-channel row: width * depth / 2, or false
// when it does not fit in 64 bits.
bool packedStride(uint32_t width, uint32_t depth, uint64_t& stride) {
    const unsigned __int128 bytes = static_cast<unsigned __int128>(width) * depth / 2;
    if (bytes > std::numeric_limits<uint64_t>::max()) return false;
    stride = static_cast<uint64_t>(bytes);
    return true;
}

}  // namespace

Surface::~Surface() = default;

bool Surface::create(uint32_t w, uint32_t h, uint32_t d, uint8_t f) {
    width = w;
    height = h;
    depth = d;
    flag = f;
    // width * depth / 2 always fits: both factors are below 2^32.
    packedStride(w, d, stride);
    return true;
}

void Surface::assignExternal(uint32_t w, uint32_t h, uint32_t d, uint64_t s, void* p) {
    width = w;
    height = h;
    depth = d;
    stride = s;
    shared_.reset();
    external = p;
}

void Surface::assignShared(uint32_t w, uint32_t h, uint32_t d, uint64_t s, std::shared_ptr<std::vector<uint8_t>> p) {
    width = w;
    height = h;
    depth = d;
    stride = s;
    external = p ? p->data() : nullptr;
    shared_ = std::move(p);
}

bool Surface::assignCopy(uint32_t w, uint32_t h, uint32_t d, const void* source) {
    uint64_t s = 0;
    packedStride(w, d, s);
    const unsigned __int128 total = static_cast<unsigned __int128>(s) * h;
    if (total > std::numeric_limits<size_t>::max() / 2) return false;
    const size_t bytes = static_cast<size_t>(total);
    if (bytes != 0 && source == nullptr) return false;
    std::vector<uint8_t> copy(bytes);
    if (bytes) std::memcpy(copy.data(), source, bytes);
    buffer.swap(copy);
    width = w;
    height = h;
    depth = d;
    stride = s;
    external = nullptr;
    shared_.reset();
    return true;
}

bool Surface::allowedSize(uint32_t w, uint32_t h, uint32_t d) {
    uint64_t s = 0;
    if (w > kMaxSurfaceSide || h > kMaxSurfaceSide || !packedStride(w, d, s)) return false;
    return static_cast<unsigned __int128>(s) * h <= kMaxSurfaceBytes;
}

uint8_t* Surface::pixels() {
    if (external) return static_cast<uint8_t*>(external);
    return buffer.empty() ? nullptr : buffer.data();
}

const uint8_t* Surface::pixels() const { return const_cast<Surface*>(this)->pixels(); }

size_t Surface::pixelBytes() const {
    if (shared_) return shared_->size();
    if (external) return std::numeric_limits<size_t>::max();
    return buffer.size();
}

namespace {

// Checks that the entity's pixels cover the image before viewing them.
template <class P>
bool quantizeEntity(Surface& s, int palette, int dither, float amount, bool grayscale, bool serpentine,
                    ImageLib::Kernel k) {
    const uint64_t rowBytes = uint64_t(s.width) * sizeof(P);
    const uint64_t stride = s.stride ? s.stride : rowBytes;
    if (stride < rowBytes) return false;
    const unsigned __int128 need = static_cast<unsigned __int128>(s.height - 1) * stride + rowBytes;
    if (need > s.pixelBytes()) return false;
    ImageLib::Surface<P> view(s.width, s.height, stride, s.pixels());
    return ImageLib::quantizeSurface(view, palette, dither, amount, grayscale, serpentine, k);
}

}  // namespace

bool quantizeSurface(Surface& s, int palette, int dither, float amount, bool grayscale, bool serpentine,
                     ImageLib::Kernel k) {
    if (s.width == 0 || s.height == 0 || s.pixels() == nullptr) return false;
    switch (s.depth) {
        case 8: return quantizeEntity<ImageLib::Pixel8>(s, palette, dither, amount, grayscale, serpentine, k);
        case 16: return quantizeEntity<ImageLib::Pixel15>(s, palette, dither, amount, grayscale, serpentine, k);
        case 32: return quantizeEntity<ImageLib::Pixel32>(s, palette, dither, amount, grayscale, serpentine, k);
        default: return false;
    }
}

}  // namespace gpu
