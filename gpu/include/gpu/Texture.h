// GPU images: Texture (one 2D texture, RGBA storage, 8-bit or float) and
// RenderTarget (a texture with its own framebuffer).
//
// Texels stay in the host's channel order alpha, red, green, blue. An upload
// with swizzle true takes pixels already in that order; with swizzle false it
// takes red, green, blue, alpha pixels (image files) and the texture's channel
// swizzle presents them in the host order.
//
// Depth is bits per channel: 8, 16 (host range 0..32768), 32 (float); 15 is
// read as 16-bit data; other depths of 8 or more use depth/8 bytes. Depths
// below 8 are refused.
//
// Errors: operations return false (or null) and change nothing when the
// depth is refused, a size exceeds the GL's maximum texture size, a byte
// count does not fit in 31 bits, source rows are shorter than a pixel row, or
// new storage would take the process past its GPU memory bound
// (gpu::kMaxGpuBytes, gpu/GLName.h); storageFailure() tells which. Storage the
// GL refuses when it is made (GL_OUT_OF_MEMORY or any other error) leaves the
// texture without storage: GL name 0, size 0, so that nothing claims storage
// that does not exist.
// Held storage: while holdStorage(true) is in force (the output target of a
// frame, whose readback the host sizes), uploads keep the storage's size and
// depth: pixels of another size or depth are placed from the first texel,
// clipped to the storage, converted by the GL, and the rest is left as it was.
// Ownership: each object owns its GL names (deleted once, on release or
// destruction) and a CPU copy of the last uploaded pixels, always in the host
// order alpha, red, green, blue (pixels uploaded as red, green, blue, alpha
// are turned when the copy is made), shared so that a
// surface borrowing it keeps it alive after the texture moves on. The copy of
// a plain texture is read back from the GL when first asked for, since only
// uploads change such a texture; it is taken before the storage is released
// or re-specified without pixels. Render targets, which draws change, copy
// at upload.
// Threads: every operation needs the GL context current (the GL lock).
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gpu/Factory.h"
#include "gpu/GLName.h"

namespace gpu {

class Surface;

using PixelBuffer = std::vector<uint8_t>;

// Why the last create or upload did not give the texture what it asked for.
enum class StorageFailure {
    none,
    refused,      // depth, size or rows the engine or the GL cannot take
    overBudget,   // past gpu::kMaxGpuBytes
    outOfMemory,  // the GL reported GL_OUT_OF_MEMORY
};

// Bytes per channel of a depth; 0 for a refused depth (below 8).
uint32_t bytesPerChannel(uint32_t depth);

class Texture {
public:
    struct Factory;

    Texture() = default;
    virtual ~Texture() = default;
    Texture(Texture&&) = default;
    Texture& operator=(Texture&&) = default;

    // New storage of that size and depth (contents undefined); any earlier
    // storage is released first.
    virtual bool create(uint32_t width, uint32_t height, uint32_t depth, bool swizzle);
    // Deletes the GL storage. The CPU copy stays.
    virtual void release();

    // Re-specifies the storage from `source` (or undefined contents when null;
    // storage of the same size and format is then kept as it is, and is
    // written in place by an upload with pixels). With convert16 and depth
    // 16, host 16-bit values are widened to 0..65534. A source replaces the
    // CPU copy with height x rowBytes bytes (what lies between rows is not kept).
    bool upload(const void* source, uint32_t width, uint32_t height, uint32_t depth, uint64_t rowBytes, bool swizzle,
                bool convert16);
    // Uploads a surface's pixels (host order, 16-bit in the host's range, so
    // widened); with flip, its last row first.
    bool uploadSurface(const Surface& surface, bool flip);
    // Keeps (true) or frees (false) the storage's size and depth for uploads.
    void holdStorage(bool held) { storageHeld_ = held; }
    StorageFailure storageFailure() const { return failure_; }
    // glTexParameteri on this texture.
    void setParameter(GLenum name, GLint value);
    // Decodes an image file (read through the package) into the texture.
    // False when the file is missing, empty or undecodable.
    bool loadFile(const std::string& fileName);

    GLuint glName() const { return name.get(); }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    uint32_t depth() const { return depth_; }
    uint64_t rowBytes() const { return rowBytes_; }
    const std::string& fileName() const { return fileName_; }
    // The CPU copy of the last upload that gave pixels, channels alpha, red,
    // green, blue; null when none.
    std::shared_ptr<PixelBuffer> pixels() const;

protected:
    gpu::TextureName name;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t depth_ = 0;
    uint64_t rowBytes_ = 0;

    // True when something besides uploads writes the storage.
    virtual bool drawnInto() const { return false; }

private:
    // Writes pixels of another size or depth into held storage.
    bool place(const void* source, uint32_t width, uint32_t height, uint32_t depth, uint64_t rowBytes, bool convert16);
    // Storage the GL refused: the name goes, with every claim to a size.
    void loseStorage(StorageFailure why);

    gpu::GpuCharge storageCharge_;
    StorageFailure failure_ = StorageFailure::none;
    bool storageHeld_ = false;
    std::string fileName_;
    // The copy; null while pixelsInTexture_, when it is still only the GL
    // storage's contents (read back by pixels()).
    mutable std::shared_ptr<PixelBuffer> pixels_;
    mutable bool pixelsInTexture_ = false;
    // The storage holds red, green, blue, alpha texels (the last upload with
    // pixels had swizzle false); the copy is turned to the host order.
    bool fileOrder_ = false;
    // The GL storage matches width_, height_ and depth_'s internal format.
    bool hasStorage_ = false;
};

class RenderTarget : public Texture {
public:
    struct Factory;

    // Deletes the texture and the framebuffer.
    void release() override;
    // Texture storage plus a framebuffer cleared to transparent black.
    virtual bool createTarget(uint32_t width, uint32_t height, uint32_t depth);
    // Fills the whole target with transparent black.
    void clear();

    // Both the framebuffer and the texture exist.
    bool usable() const { return framebuffer && name; }
    GLuint framebufferName() const { return framebuffer.get(); }
    GLuint readbackBufferName() const { return readbackBuffer.get(); }

    // Binds the framebuffer for drawing. viewport: x, y, width, height, or null
    // (or a zero or negative width or height) for the whole target.
    void bind(const int32_t* viewport = nullptr);
    // Copies this target onto `destination`, scaling to its size; flip mirrors
    // vertically. Leaves this as read and `destination` as draw framebuffer.
    void blitTo(const RenderTarget& destination, bool flip, bool linear) const;

    // Reads the whole target through a pixel-pack buffer: rows bottom-up,
    // packed, channels alpha, red, green, blue, in the pixel type of the depth.
    // The pointer is valid until endReadback; null when the target is not
    // usable or the read failed.
    const void* beginReadback();
    void endReadback();

protected:
    bool drawnInto() const override { return true; }

private:
    gpu::FramebufferName framebuffer;
    // Kept between readbacks while the target's size and depth stay.
    gpu::BufferName readbackBuffer;
    uint64_t readbackBytes = 0;
    gpu::GpuCharge readbackCharge;
};

struct Texture::Factory : EntityFactory<Texture, kTextureKind> {};
struct RenderTarget::Factory : EntityFactory<RenderTarget, kRenderTargetKind> {};

}  // namespace gpu
