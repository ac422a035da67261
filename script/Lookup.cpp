#include "script/Lookup.h"

#include <set>

#include "script/ScriptArgs.h"

namespace script::lookup {
namespace {

const char* kindName(uint32_t kind) {
    switch (kind) {
        case kParameterKind: return "parameters";
        case kShaderKind: return "shaders";
        case kRenderTargetKind: return "render targets";
        case kTextureKind: return "textures";
        default: return "surfaces";
    }
}

bool isFull(uint32_t kind) {
    Context& registry = Context::instance();
    const Factory* factory = nullptr;
    switch (kind) {
        case kParameterKind: factory = registry.factory<Parameter::Factory>(); break;
        case kShaderKind: factory = registry.factory<Shader::Factory>(); break;
        case kRenderTargetKind: factory = registry.factory<RenderTarget::Factory>(); break;
        case kTextureKind: factory = registry.factory<Texture::Factory>(); break;
        case kSurfaceKind: factory = registry.factory<Surface::Factory>(); break;
        default: break;
    }
    // Without a registry nothing is created anyway; that is no limit.
    return factory && factory->full();
}

}  // namespace

Shader* usableShader(uint32_t id) {
    if (!hasKind(id, kShaderKind)) return nullptr;
    Shader& shader = Context::instance().getShader(id);
    return shader.programName() != 0 ? &shader : nullptr;
}

RenderTarget* usableTarget(uint32_t id) {
    if (!hasKind(id, kRenderTargetKind)) return nullptr;
    RenderTarget& target = Context::instance().getRenderTarget(id);
    return target.usable() ? &target : nullptr;
}

Texture* imageWithStorage(uint32_t id) {
    Context& registry = Context::instance();
    Texture* image = nullptr;
    if (hasKind(id, kRenderTargetKind)) {
        RenderTarget& target = registry.getRenderTarget(id);
        if (target.framebufferName() != 0) image = &target;
    } else if (hasKind(id, kTextureKind)) {
        image = &registry.getTexture(id);
    }
    return image && image->glName() != 0 ? image : nullptr;
}

Texture& resolveTexture(uint32_t id) {
    Context& registry = Context::instance();
    if (hasKind(id, kParameterKind)) return registry.getTexture(registry.getParameter(id).textureId);
    if (hasKind(id, kRenderTargetKind)) return registry.getRenderTarget(id);
    return registry.getTexture(id);
}

Surface* sizedSurface(uint32_t id) {
    if (!hasKind(id, kSurfaceKind)) return nullptr;
    Surface& surface = Context::instance().getSurface(id);
    return surface.width != 0 && surface.height != 0 ? &surface : nullptr;
}

uint64_t surfaceBytes() {
    auto* surfaces = Context::instance().factory<Surface::Factory>();
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
    if (kind == kParameterKind &&
        shielded(false, [] { return Context::instance().count() >= kindLimit(kParameterKind); }))
        duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: at most %u parameters may be declared, released ones included", what,
                  static_cast<unsigned>(kindLimit(kParameterKind)));
    if (!shielded(false, [&] { return isFull(kind); })) return;
    duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: at most %u %s may exist at once; release some with LX_release", what,
              static_cast<unsigned>(kindLimit(kind)), kindName(kind));
}

void requireSurfaceBytes(duk_context* ctx, const char* what, uint64_t adding) {
    const uint64_t held = shielded(uint64_t(0), [] { return surfaceBytes(); });
    if (adding <= kMaxSurfaceBytes && held <= kMaxSurfaceBytes - adding) return;
    duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: surfaces may hold at most %u MiB of pixels; release some with LX_release",
              what, static_cast<unsigned>(kMaxSurfaceBytes >> 20));
}

void requireGpuMemory(duk_context* ctx, const char* what, StorageFailure outcome) {
    if (outcome != StorageFailure::overBudget) return;
    const std::string limit = gpu::gpuMemoryLimitText();
    duk_error(ctx, DUK_ERR_RANGE_ERROR, "%s: %s; release some with LX_release", what, limit.c_str());
}

}  // namespace script::lookup
