#include "script/Lookup.h"

namespace lumivex::lookup {

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

}  // namespace lumivex::lookup
