// Registry lookups shared by the LX_ natives. Each returns null (or the
// static default texture, GL name 0) for an id of another kind or one that
// names nothing. The pointers are valid until the next call that may run
// script code or release entities.
//
// Limits: the require* checks end the native with a script RangeError that
// names the limit (a C++ exception in this engine build); call them outside
// `shielded`, before the work, holding no registry reference.
#pragma once

#include <cstdint>

#include "duktape/duktape.h"
#include "gpu/Context.h"

namespace script::lookup {

inline bool hasKind(uint32_t id, uint32_t kind) { return (id & gpu::kKindMask) == kind; }

// A shader whose program exists.
gpu::Shader* usableShader(uint32_t id);
// A render target with both its framebuffer and its texture.
gpu::RenderTarget* usableTarget(uint32_t id);
// A render target (with a framebuffer) or a texture, having GL storage.
gpu::Texture* imageWithStorage(uint32_t id);
// What a texture-like id stands for: a parameter's texture, a render target,
// or a texture.
gpu::Texture& resolveTexture(uint32_t id);
// A surface of nonzero width and height.
gpu::Surface* sizedSurface(uint32_t id);

// Pixel bytes the surfaces hold in memory of their own: their buffers, and
// each block they share with textures once.
uint64_t surfaceBytes();

// Throws "<what>: at most N live <kind>s; release some with LX_release"
// when the kind has no room for another entity (kindLimit).
void requireRoom(duk_context* ctx, const char* what, uint32_t kind);
// Throws when `adding` more pixel bytes would take the surfaces past
// kMaxSurfaceBytes (gpu/SurfaceEntity.h).
void requireSurfaceBytes(duk_context* ctx, const char* what, uint64_t adding);
// Throws "<what>: textures and render targets may hold at most N MiB of GPU
// memory in all; ..." when storage was refused for that bound
// (gpu::kMaxGpuBytes). Called after the work, with its outcome.
void requireGpuMemory(duk_context* ctx, const char* what, gpu::StorageFailure outcome);

}  // namespace script::lookup
