#include "Lookup.h"

#include <set>

#include "ScriptArgs.h"

namespace script::lookup {
namespace {

const char* kindName(uint32_t kind) {
    switch (kind) {
        case gpu::kParameterKind: return "parameters";
        case gpu::kShaderKind: return "shaders";
        case gpu::kRenderTargetKind: return "render targets";
        case gpu::kTextureKind: return "textures";
        default: return "surfaces";
    }
}

bool isFull(uint32_t kind) {
    gpu::Context& registry = gpu::Context::instance();
    const gpu::Factory* factory = nullptr;
    switch (kind) {
        case gpu::kParameterKind: factory = registry.factory<gpu::Parameter::Factory>(); break;
        case gpu::kShaderKind: factory = registry.factory<gpu::Shader::Factory>(); break;
        case gpu::kRenderTargetKind: factory = registry.factory<gpu::RenderTarget::Factory>(); break;
        case gpu::kTextureKind: factory = registry.factory<gpu::Texture::Factory>(); break;
        case gpu::kSurfaceKind: factory = registry.factory<gpu::Surface::Factory>(); break;
        default: break;
    }
    // Without a registry nothing is created anyway; that is no limit.
    return factory && factory->full();
}

}  // namespace

gpu::Shader* usableShader(uint32_t id) {
    if (!hasKind(id, gpu::kShaderKind)) return nullptr;
    gpu::Shader& shader = gpu::Context::instance().getShader(id);
    return shader.programName() != 0 ? &shader : nullptr;
}

gpu::RenderTarget* usableTarget(uint32_t id) {
    if (!hasKind(id, gpu::kRenderTargetKind)) return nullptr;
    gpu::RenderTarget& target = gpu::Context::instance().getRenderTarget(id);
    return target.usable() ? &target : nullptr;
}

gpu::Texture* imageWithStorage(uint32_t id) {
    gpu::Context& registry = gpu::Context::instance();
    gpu::Texture* image = nullptr;
    if (hasKind(id, gpu::kRenderTargetKind)) {
        gpu::RenderTarget& target = registry.getRenderTarget(id);
        if (target.framebufferName() != 0) image = &target;
    } else if (hasKind(id, gpu::kTextureKind)) {
        image = &registry.getTexture(id);
    }
    return image && image->glName() != 0 ? image : nullptr;
}

gpu::Texture& resolveTexture(uint32_t id) {
    gpu::Context& registry = gpu::Context::instance();
    if (hasKind(id, gpu::kParameterKind)) return registry.getTexture(registry.getParameter(id).textureId);
    if (hasKind(id, gpu::kRenderTargetKind)) return registry.getRenderTarget(id);
    return registry.getTexture(id);
}

gpu::Surface* sizedSurface(uint32_t id) {
    if (!hasKind(id, gpu::kSurfaceKind)) return nullptr;
    gpu::Surface& surface = gpu::Context::instance().getSurface(id);
    return surface.width != 0 && surface.height != 0 ? &surface : nullptr;
}

uint64_t surfaceBytes() {
    auto* surfaces = gpu::Context::instance().factory<gpu::Surface::Factory>();
    if (!surfaces) return 0;
    uint64_t total = 0;
    std::set<const void*> shared;
    for (const auto& [id, surface] : surfaces->entities) {
        total += surface.buffer.size();
        const std::vector<uint8_t>* block = surface.sharedPixels();
        if (block && shared.insert(block).second) total += block->size();
    }
    return total;
}

void requireRoom(duk_context* ctx, const char* what, uint32_t kind) {
    // A released parameter keeps its place among the declared ones, so the
    // places are bounded too: creating and releasing in a loop must not grow
    // the list without end.
    if (kind == gpu::kParameterKind &&
        shielded(false, [] { return gpu::Context::instance().count() >= gpu::kindLimit(gpu::kParameterKind); }))
        duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: at most %u parameters may be declared, released ones included", what,
                  static_cast<unsigned>(gpu::kindLimit(gpu::kParameterKind)));
    if (!shielded(false, [&] { return isFull(kind); })) return;
    duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: at most %u %s may exist at once; release some with LX_release", what,
              static_cast<unsigned>(gpu::kindLimit(kind)), kindName(kind));
}

void requireSurfaceBytes(duk_context* ctx, const char* what, uint64_t adding) {
    const uint64_t held = shielded(uint64_t(0), [] { return surfaceBytes(); });
    if (adding <= gpu::kMaxSurfaceBytes && held <= gpu::kMaxSurfaceBytes - adding) return;
    duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: surfaces may hold at most %u MiB of pixels; release some with LX_release",
              what, static_cast<unsigned>(gpu::kMaxSurfaceBytes >> 20));
}

void requireGpuMemory(duk_context* ctx, const char* what, gpu::StorageFailure outcome) {
    if (outcome != gpu::StorageFailure::overBudget) return;
    const std::string limit = gpu::gpuMemoryLimitText();
    duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: %s; release some with LX_release", what, limit.c_str());
}

}  // namespace script::lookup
