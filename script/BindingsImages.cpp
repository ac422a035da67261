// LX_ texture and surface functions. Texture ids carry the top byte 0x04,
// render targets 0x03, surfaces 0x06, parameters 0x01 (standing for the
// texture their textureId names).
#include <memory>

#include "ImageLib/Quantize.h"
#include "ImageLib/Surface.h"
#include "gpu/Context.h"
#include "Lookup.h"
#include "Natives.h"
#include "ScriptArgs.h"

namespace script::natives {
namespace {

using namespace lookup;

// Pixels of the surface when it holds at least a whole image of them.
const uint8_t* wholePixels(const gpu::Surface& surface) {
    const uint8_t* pixels = surface.pixels();
    const uint64_t needed = uint64_t(surface.height) * surface.stride;
    return pixels && surface.pixelBytes() >= needed ? pixels : nullptr;
}

// A new surface entity given its placeholder size; null when none is left.
std::pair<uint32_t, gpu::Surface*> newSurface() {
    gpu::Context& registry = gpu::Context::instance();
    const uint32_t id = registry.createEntity(gpu::kSurfaceKind);
    if (id == 0) return {0, nullptr};
    gpu::Surface& surface = registry.getSurface(id);
    surface.create(2, 2, 8, 1);
    return {id, &surface};
}

// Reads a render target into the surface's own buffer. Depths whose rows the
// surface would size differently from the read-back rows leave it without
// pixels (15 is read as 16-bit data).
void copyTarget(gpu::RenderTarget& target, gpu::Surface& surface) {
    const uint32_t depth = target.depth() == 15 ? 16 : target.depth();
    const void* pixels = target.beginReadback();
    if (pixels && gpu::bytesPerChannel(target.depth()) * 8 == depth &&
        surface.assignCopy(target.width(), target.height(), depth, pixels) && depth == 16) {
        ImageLib::narrowToHost16(surface.pixels(), surface.width, surface.height, surface.stride);
    }
    target.endReadback();
}

// Surfaces hold 16-bit pixels in the host's range (full at 32768), as the
// image library reads them; the CPU copy of a 16-bit texture holds the GL's
// range (full at 65535), so such a surface gets a narrowed copy instead.
void shareTexture(const gpu::Texture& source, std::shared_ptr<gpu::PixelBuffer> pixels, gpu::Surface& surface) {
    if (source.depth() == 16) {
        pixels = std::make_shared<gpu::PixelBuffer>(*pixels);
        ImageLib::narrowToHost16(pixels->data(), source.width(), source.height(), source.rowBytes());
    }
    surface.assignShared(source.width(), source.height(), source.depth(), source.rowBytes(), std::move(pixels));
}

}  // namespace

// LX_initTexture(fileName[, ignored]) -> new texture id (also when the file
// could not be loaded), or 0 without arguments.
duk_ret_t initTexture(duk_context* ctx) {
    if (duk_get_top(ctx) == 0) {
        duk_push_uint(ctx, 0);
        return 1;
    }
    const std::string fileName = args::text(ctx, 0);
    if (args::present(ctx, 1)) args::text(ctx, 1);  // converted (ToString may run script code), not used
    requireRoom(ctx, "LX_initTexture", gpu::kTextureKind);
    gpu::StorageFailure outcome = gpu::StorageFailure::none;
    const uint32_t id = shielded(0u, [&] {
        gpu::Context& registry = gpu::Context::instance();
        const uint32_t made = registry.createTextureFromFile(fileName);
        outcome = registry.getTexture(made).storageFailure();
        if (outcome == gpu::StorageFailure::overBudget) registry.releaseEntity(made);
        return made;
    });
    requireGpuMemory(ctx, "LX_initTexture", outcome);
    duk_push_uint(ctx, id);
    return 1;
}

// LX_setTextureParam(id, name, value) -> true when the texture (of a texture,
// render target or parameter id) has storage; glTexParameteri(name, value).
duk_ret_t setTextureParam(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const int32_t name = args::integer(ctx, 1);
    const int32_t value = args::integer(ctx, 2);
    duk_push_boolean(ctx, shielded(false, [&] {
                         gpu::Texture& texture = resolveTexture(id);
                         if (texture.glName() == 0) return false;
                         texture.setParameter(static_cast<GLenum>(name), value);
                         return true;
                     }));
    return 1;
}

// LX_initSurface(width, height, depth) -> new surface id: sized, no pixels.
duk_ret_t initSurface(duk_context* ctx) {
    const uint32_t width = args::id(ctx, 0);
    const uint32_t height = args::id(ctx, 1);
    const uint32_t depth = args::id(ctx, 2);
    if (!gpu::Surface::allowedSize(width, height, depth))
        duk_error(ctx, DUK_ERR_RANGE_ERROR, "LX_initSurface: a surface is at most %u pixels a side and %u MiB",
                  static_cast<unsigned>(gpu::kMaxSurfaceSide), static_cast<unsigned>(gpu::kMaxSurfaceBytes >> 20));
    requireRoom(ctx, "LX_initSurface", gpu::kSurfaceKind);
    duk_push_uint(ctx, shielded(0u, [&] {
                      gpu::Context& registry = gpu::Context::instance();
                      const uint32_t id = registry.createEntity(gpu::kSurfaceKind);
                      if (id != 0) registry.getSurface(id).create(width, height, depth, 1);
                      return id;
                  }));
    return 1;
}

// LX_textureToSurface(id) -> new surface id, or 0 for id 0. A texture (or a
// parameter's texture) is shared with the surface without a copy: the
// surface keeps those pixels alive after the texture is uploaded again or
// released. A render target is read back and copied.
duk_ret_t textureToSurface(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    if (id != 0) {
        requireRoom(ctx, "LX_textureToSurface", gpu::kSurfaceKind);
        // What the new surface will hold: a copy of a render target, or the
        // texture's pixel copy, which it keeps alive.
        const uint64_t bytes = shielded(uint64_t(0), [&] {
            const gpu::Texture& source = resolveTexture(id);
            return uint64_t(source.height()) * source.rowBytes();
        });
        requireSurfaceBytes(ctx, "LX_textureToSurface", bytes);
    }
    duk_push_uint(ctx, shielded(0u, [&] {
                      if (id == 0) return 0u;
                      const auto [surfaceId, surface] = newSurface();
                      if (!surface) return 0u;
                      gpu::Texture& source = resolveTexture(id);
                      if (hasKind(id, gpu::kRenderTargetKind)) {
                          copyTarget(static_cast<gpu::RenderTarget&>(source), *surface);
                      } else if (auto pixels = source.pixels()) {
                          // Quantizing the surface writes into these pixels, as it would
                          // into a borrowed copy; the GL texture is not touched.
                          shareTexture(source, std::move(pixels), *surface);
                      } else {
                          surface->assignExternal(source.width(), source.height(), source.depth(), source.rowBytes(),
                                                  nullptr);
                      }
                      return surfaceId;
                  }));
    return 1;
}

// LX_surfaceToTexture(surface) -> a new texture holding the surface's pixels
// (every call makes another; 16-bit pixels widened from the host's range), or
// false for an id that is not a surface id.
duk_ret_t surfaceToTexture(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    if (!hasKind(id, gpu::kSurfaceKind)) {
        duk_push_false(ctx);
        return 1;
    }
    requireRoom(ctx, "LX_surfaceToTexture", gpu::kTextureKind);
    gpu::StorageFailure outcome = gpu::StorageFailure::none;
    const uint32_t made = shielded(0u, [&] {
        gpu::Context& registry = gpu::Context::instance();
        const uint32_t textureId = registry.createEntity(gpu::kTextureKind);
        if (textureId == 0) return 0u;
        const gpu::Surface& surface = registry.getSurface(id);
        gpu::Texture& texture = registry.getTexture(textureId);
        texture.create(2, 2, 8, true);
        texture.upload(wholePixels(surface), surface.width, surface.height, surface.depth, surface.stride, true, true);
        outcome = texture.storageFailure();
        if (outcome == gpu::StorageFailure::overBudget) registry.releaseEntity(textureId);
        return textureId;
    });
    requireGpuMemory(ctx, "LX_surfaceToTexture", outcome);
    duk_push_uint(ctx, made);
    return 1;
}

// LX_surfaceQuantize(surface, grayscale, palette, dither, amount, serpentine)
// -> true for a surface of nonzero size (quantized when it has pixels of
// depth 8, 16 or 32).
duk_ret_t surfaceQuantize(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const bool grayscale = args::boolean(ctx, 1);
    const int32_t palette = args::integer(ctx, 2);
    const int32_t dither = args::integer(ctx, 3);
    const float amount = static_cast<float>(args::number(ctx, 4));
    const bool serpentine = args::boolean(ctx, 5);
    duk_push_boolean(ctx, shielded(false, [&] {
                         gpu::Surface* surface = sizedSurface(id);
                         if (!surface) return false;
                         if (surface->depth == 8 || surface->depth == 16 || surface->depth == 32) {
                             gpu::quantizeSurface(*surface, palette, dither, amount, grayscale, serpentine);
                         }
                         return true;
                     }));
    return 1;
}

// LX_surfaceCopyTo(surface, target[, flip]) -> true when the surface's pixels
// were uploaded into the texture or usable render target; with flip its first
// row becomes the target's last. A surface without a whole image of pixels
// gives false. Into the frame's output target, which keeps the frame's size
// and depth, the pixels are placed from its first texel and clipped to it.
duk_ret_t surfaceCopyTo(duk_context* ctx) {
    const uint32_t surfaceId = args::id(ctx, 0);
    const uint32_t targetId = args::id(ctx, 1);
    const bool flip = args::boolean(ctx, 2);
    gpu::StorageFailure outcome = gpu::StorageFailure::none;
    const bool copied = shielded(false, [&] {
        const gpu::Surface* surface = sizedSurface(surfaceId);
        gpu::Texture* target = imageWithStorage(targetId);
        if (!surface || !target || !wholePixels(*surface)) return false;
        const bool uploaded = target->uploadSurface(*surface, flip);
        outcome = target->storageFailure();
        return uploaded;
    });
    requireGpuMemory(ctx, "LX_surfaceCopyTo", outcome);
    duk_push_boolean(ctx, copied);
    return 1;
}

}  // namespace script::natives
