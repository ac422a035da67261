// Registry lookups shared by the LX_ natives. Each returns null (or the
// static default texture, GL name 0) for an id of another kind or one that
// names nothing. The pointers are valid until the next call that may run
// script code or release entities.
#pragma once

#include <cstdint>

#include "gpu/Context.h"

namespace lumivex::lookup {

inline bool hasKind(uint32_t id, uint32_t kind) { return (id & kKindMask) == kind; }

// A shader whose program exists.
Shader* usableShader(uint32_t id);
// A render target with both its framebuffer and its texture.
RenderTarget* usableTarget(uint32_t id);
// A render target (with a framebuffer) or a texture, having GL storage.
Texture* imageWithStorage(uint32_t id);
// What a texture-like id stands for: a parameter's texture, a render target,
// or a texture.
Texture& resolveTexture(uint32_t id);
// A surface of nonzero width and height.
Surface* sizedSurface(uint32_t id);

}  // namespace lumivex::lookup
