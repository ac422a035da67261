#include "gpu/Texture.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ImageLib/Decode.h"
#include "ImageLib/Surface.h"
#include "gpu/SurfaceEntity.h"
#include "WideString.h"
#include "package/FileReaders.h"

namespace gpu {

namespace {

// Largest byte count of one image: keeps every size product within 31 bits,
// the range of the GL's and the host's sizes.
constexpr uint64_t kMaxImageBytes = std::numeric_limits<int32_t>::max();

GLenum pixelType(uint32_t depth) {
    if (depth == 15 || depth == 16) return GL_UNSIGNED_SHORT;
    if (depth == 32) return GL_FLOAT;
    return GL_UNSIGNED_BYTE;
}

GLint internalFormat(uint32_t depth) { return depth <= 8 ? GL_RGBA : GL_RGBA32F; }

// GPU bytes of storage of that size and depth's internal format.
uint64_t storageBytes(uint32_t width, uint32_t height, uint32_t depth) {
    return uint64_t{width} * height * (internalFormat(depth) == GL_RGBA ? 4 : 16);
}

// True when an image of that size and depth can have storage.
bool storable(uint32_t width, uint32_t height, uint32_t depth) {
    const uint32_t channelBytes = bytesPerChannel(depth);
    if (channelBytes == 0) return false;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (maxSize <= 0 || width > static_cast<uint32_t>(maxSize) || height > static_cast<uint32_t>(maxSize)) return false;
    return uint64_t{width} * height * 4 * channelBytes <= kMaxImageBytes;
}

// True when the GL unpacks rows of `rowBytes` exactly as given, so that a
// pack of the stored texels with the same row length gives back those bytes:
// the pixel type has the depth's channel size and rows are whole pixels.
// 16-bit pixels (depth 15 or 16) are stored as floats, and a driver may
// round their way back to either neighbour, so they are always copied.
bool readsBackAsUploaded(uint32_t depth, uint64_t rowBytes) {
    if (pixelType(depth) == GL_UNSIGNED_SHORT) return false;
    const GLenum type = pixelType(depth);
    const uint32_t typeBytes = type == GL_UNSIGNED_BYTE ? 1 : type == GL_UNSIGNED_SHORT ? 2 : 4;
    return typeBytes == bytesPerChannel(depth) && rowBytes % (4 * typeBytes) == 0;
}

// True when `height` rows of `rowBytes` hold a full row of pixels each and fit
// in the size limit.
bool rowsFit(uint32_t width, uint32_t height, uint32_t depth, uint64_t rowBytes) {
    if (rowBytes < uint64_t{width} * 4 * bytesPerChannel(depth)) return false;
    return rowBytes <= kMaxImageBytes && rowBytes * height <= kMaxImageBytes;
}

// Turns each pixel of red, green, blue, alpha into alpha, red, green, blue.
void toHostOrder(PixelBuffer& pixels, uint32_t width, uint32_t height, uint64_t rowBytes, uint32_t channelBytes) {
    const size_t pixelBytes = size_t{4} * channelBytes;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = pixels.data() + y * rowBytes;
        for (uint32_t x = 0; x < width; ++x, p += pixelBytes) std::rotate(p, p + 3 * channelBytes, p + pixelBytes);
    }
}

}  // namespace

uint32_t bytesPerChannel(uint32_t depth) {
    if (depth < 8) return 0;
    if (depth == 15 || depth == 16) return 2;
    return depth / 8;
}

bool Texture::create(uint32_t width, uint32_t height, uint32_t depth, bool swizzle) {
    if (name) release();
    GLuint generated = 0;
    glGenTextures(1, &generated);
    name.reset(generated);
    hasStorage_ = false;
    if (!upload(nullptr, width, height, depth, uint64_t{width} * depth / 8, swizzle, false)) {
        // A name without storage would claim the size of what it held before.
        loseStorage(failure_);
        return false;
    }
    rowBytes_ = 0;
    return true;
}

void Texture::release() {
    pixels();  // the copy outlives the storage
    name.reset();
    storageCharge_.hold(0);
    hasStorage_ = false;
}

void Texture::loseStorage(StorageFailure why) {
    name.reset();
    storageCharge_.hold(0);
    hasStorage_ = false;
    pixels_.reset();
    pixelsInTexture_ = false;
    width_ = height_ = depth_ = 0;
    rowBytes_ = 0;
    failure_ = why;
}

std::shared_ptr<PixelBuffer> Texture::pixels() const {
    // A moved-from texture has no storage to read.
    if (!pixelsInTexture_ || !name) return pixels_;
    auto copy = std::make_shared<PixelBuffer>(static_cast<size_t>(rowBytes_ * height_));
    glBindTexture(GL_TEXTURE_2D, name.get());
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(rowBytes_ / bytesPerChannel(depth_) / 4));
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, pixelType(depth_), copy->data());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (fileOrder_) toHostOrder(*copy, width_, height_, rowBytes_, bytesPerChannel(depth_));
    pixels_ = std::move(copy);
    pixelsInTexture_ = false;
    return pixels_;
}

bool Texture::upload(const void* source, uint32_t width, uint32_t height, uint32_t depth, uint64_t rowBytes,
                     bool swizzle, bool convert16) {
    failure_ = StorageFailure::refused;
    // Name 0 is the GL's default texture object, which no entity owns.
    if (!name || bytesPerChannel(depth) == 0 || (source && !rowsFit(width, height, depth, rowBytes))) return false;
    if (storageHeld_ && hasStorage_ && (width != width_ || height != height_ || depth != depth_)) {
        failure_ = StorageFailure::none;
        return place(source, width, height, depth, rowBytes, convert16);
    }
    // Same size and format: write into the storage there is rather than
    // allocating anew.
    const bool sameStorage =
        hasStorage_ && width == width_ && height == height_ && internalFormat(depth) == internalFormat(depth_);
    // Asking for more than the bound leaves is over it, whatever else the
    // size may be refused for.
    const uint64_t newBytes = storageBytes(width, height, depth);
    if (!sameStorage && !storageCharge_.fits(newBytes)) {
        failure_ = StorageFailure::overBudget;
        return false;
    }
    if (!storable(width, height, depth)) return false;
    failure_ = StorageFailure::none;
    // Storage without pixels may be kept as it is, so the copy is taken now.
    if (!source) pixels();

    glBindTexture(GL_TEXTURE_2D, name.get());
    // Row length in pixels; only pixels given here are unpacked with it.
    const uint64_t rowLength = source ? rowBytes / bytesPerChannel(depth) / 4 : 0;
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowLength));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    // Host-ordered texels read as they are; red, green, blue, alpha texels
    // are turned so that they read as alpha, red, green, blue.
    static const GLint hostOrder[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    static const GLint fileOrder[4] = {GL_ALPHA, GL_RED, GL_GREEN, GL_BLUE};
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle ? hostOrder : fileOrder);

    if (!sameStorage) gpu::clearGLErrors();
    const auto store = [&](GLint format, GLenum type, const void* texels) {
        if (!sameStorage) {
            glTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0, GL_RGBA, type, texels);
        } else if (texels) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, type, texels);
        }
    };
    if (depth == 16 && source && convert16) {
        // The last block is written over only when nothing else holds it: a
        // surface may still be reading it.
        const size_t bytes = static_cast<size_t>(rowBytes * height);
        std::shared_ptr<PixelBuffer> widened = std::move(pixels_);
        if (!widened || widened.use_count() != 1 || widened->size() != bytes)
            widened = std::make_shared<PixelBuffer>(bytes);
        ImageLib::expandHost16(source, widened->data(), width, height, rowBytes);
        store(GL_RGBA32F, GL_UNSIGNED_SHORT, widened->data());
        if (!swizzle) toHostOrder(*widened, width, height, rowBytes, bytesPerChannel(depth));
        pixels_ = std::move(widened);
        pixelsInTexture_ = false;
    } else {
        store(internalFormat(depth), pixelType(depth), source);
        if (source && !drawnInto() && readsBackAsUploaded(depth, rowBytes)) {
            pixels_.reset();
            pixelsInTexture_ = true;
        } else if (source) {
            const auto* bytes = static_cast<const uint8_t*>(source);
            pixels_ = std::make_shared<PixelBuffer>(bytes, bytes + rowBytes * height);
            if (!swizzle) toHostOrder(*pixels_, width, height, rowBytes, bytesPerChannel(depth));
            pixelsInTexture_ = false;
        }
    }
    if (source) fileOrder_ = !swizzle;
    // Others (the text overlay's bitmaps) unpack tightly packed rows.
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (!sameStorage) {
        if (const GLenum error = gpu::takeGLError(); error != GL_NO_ERROR) {
            loseStorage(error == GL_OUT_OF_MEMORY ? StorageFailure::outOfMemory : StorageFailure::refused);
            return false;
        }
        storageCharge_.hold(newBytes);
    }

    hasStorage_ = true;
    width_ = width;
    height_ = height;
    depth_ = depth;
    rowBytes_ = rowBytes;
    return true;
}

bool Texture::place(const void* source, uint32_t width, uint32_t height, uint32_t depth, uint64_t rowBytes,
                    bool convert16) {
    // Without pixels the held storage stays as it is.
    if (!source) return true;
    PixelBuffer widened;
    if (depth == 16 && convert16) {
        widened.resize(static_cast<size_t>(rowBytes * height));
        ImageLib::expandHost16(source, widened.data(), width, height, rowBytes);
        source = widened.data();
    }
    glBindTexture(GL_TEXTURE_2D, name.get());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowBytes / bytesPerChannel(depth) / 4));
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(std::min(width, width_)),
                    static_cast<GLsizei>(std::min(height, height_)), GL_RGBA, pixelType(depth), source);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // The storage no longer holds any one upload's pixels.
    pixels_.reset();
    pixelsInTexture_ = false;
    return true;
}

bool Texture::uploadSurface(const Surface& surface, bool flip) {
    const uint8_t* source = surface.pixels();
    const uint64_t stride = surface.stride;
    if (!source || stride * surface.height > surface.pixelBytes()) return false;
    if (!rowsFit(surface.width, surface.height, surface.depth, stride)) return false;
    if (!flip) return upload(source, surface.width, surface.height, surface.depth, stride, true, true);

    PixelBuffer flipped(static_cast<size_t>(stride * surface.height));
    for (uint32_t row = 0; row < surface.height; ++row) {
        std::memcpy(flipped.data() + (surface.height - 1 - row) * stride, source + row * stride, stride);
    }
    return upload(flipped.data(), surface.width, surface.height, surface.depth, stride, true, true);
}

void Texture::setParameter(GLenum parameterName, GLint value) {
    glBindTexture(GL_TEXTURE_2D, name.get());
    glTexParameteri(GL_TEXTURE_2D, parameterName, value);
}

void RenderTarget::release() {
    Texture::release();
    framebuffer.reset();
}

bool RenderTarget::createTarget(uint32_t width, uint32_t height, uint32_t depth) {
    if (!create(width, height, depth, true)) return false;
    GLuint generated = 0;
    glGenFramebuffers(1, &generated);
    framebuffer.reset(generated);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name.get(), 0);
    // A new target is transparent black.
    clear();
    return usable();
}

void RenderTarget::clear() {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void RenderTarget::bind(const int32_t* viewport) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
    if (viewport && viewport[2] > 0 && viewport[3] > 0) {
        // The GL clamps a size beyond its maximum viewport.
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    } else {
        glViewport(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_));
    }
}

void RenderTarget::blitTo(const RenderTarget& destination, bool flip, bool linear) const {
    // Framebuffer 0 is no target of ours (and headless there is none).
    if (!usable() || !destination.usable()) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer.get());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, destination.framebuffer.get());
    const GLint w = static_cast<GLint>(destination.width_);
    const GLint h = static_cast<GLint>(destination.height_);
    glBlitFramebuffer(0, 0, static_cast<GLint>(width_), static_cast<GLint>(height_), 0, flip ? h : 0, w, flip ? 0 : h,
                      GL_COLOR_BUFFER_BIT, linear ? GL_LINEAR : GL_NEAREST);
}

const void* RenderTarget::beginReadback() {
    if (!usable() || width_ == 0 || height_ == 0 || bytesPerChannel(depth_) == 0) return nullptr;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.get());
    glViewport(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_));
    // Each target reads through a buffer of its own, generated on first use,
    // so no name is shared with (or reserved from) the rest of the module.
    if (!readbackBuffer) {
        GLuint generated = 0;
        glGenBuffers(1, &generated);
        readbackBuffer.reset(generated);
        readbackBytes = 0;
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readbackBuffer.get());
    // The buffer is sized anew only when the target's size or depth changed.
    const uint64_t bytes = uint64_t{width_} * height_ * 4 * bytesPerChannel(depth_);
    if (bytes != readbackBytes) {
        readbackBytes = 0;
        if (!readbackCharge.fits(bytes)) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
            return nullptr;
        }
        gpu::clearGLErrors();
        glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_READ);
        if (gpu::takeGLError() != GL_NO_ERROR) {
            readbackCharge.hold(0);
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
            return nullptr;
        }
        readbackCharge.hold(bytes);
        readbackBytes = bytes;
    }
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), GL_RGBA, pixelType(depth_),
                 nullptr);
    const void* mapped = glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    if (!mapped) {
        // Sized anew next time: the failure may have been the allocation.
        readbackBytes = 0;
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
    return mapped;
}

void RenderTarget::endReadback() {
    if (!readbackBuffer) return;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readbackBuffer.get());
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

bool Texture::loadFile(const std::string& fileName) {
    const std::vector<uint8_t> bytes = package::loadBinaryFile(gpu::widen(fileName));
    if (bytes.empty()) return false;
    fileName_ = fileName;
    ImageLib::DecodedImage image;
    if (!ImageLib::decodeImage(bytes.data(), bytes.size(), image)) return false;
    if (!create(image.width, image.height, image.depth, true)) return false;
    // Decoded pixels are packed red, green, blue, alpha.
    return upload(image.pixels.get(), image.width, image.height, image.depth, uint64_t{image.width} * image.depth / 2,
                  false, false);
}

}  // namespace gpu
