// LX_ render target and shader functions. Render target ids carry the top
// byte 0x03, texture ids 0x04, shader ids 0x02; a render target is usable
// with both its framebuffer and its texture, a shader with its program.
#include <optional>

#include "gpu/Context.h"
#include "Lookup.h"
#include "Natives.h"
#include "ScriptArgs.h"
#include "Scripting.h"

namespace script::natives {
namespace {

using namespace lookup;

// The GL texture a LAYER or TEXTURE uniform should sample for an id: a
// render target's or a texture's own, or that of the texture or render
// target a parameter names in its textureId.
GLuint textureNameOf(uint32_t id) {
    gpu::Context& registry = gpu::Context::instance();
    switch (id & gpu::kKindMask) {
        case gpu::kRenderTargetKind: return registry.getRenderTarget(id).glName();
        case gpu::kTextureKind: return registry.getTexture(id).glName();
        case gpu::kParameterKind: {
            const uint32_t named = registry.getParameter(id).textureId;
            return (named & gpu::kKindMask) == gpu::kParameterKind ? 0 : textureNameOf(named);
        }
        default: return 0;
    }
}

// A uniform's kind as the script sees it: that of the first declared
// parameter of the same name whose value kind matches (a float uniform is an
// ANGLE beside an ANGLE parameter), else the one its GL type gives.
uint32_t scriptKindOf(const gpu::Parameter& uniform) {
    gpu::Context& registry = gpu::Context::instance();
    for (uint32_t i = 0; i < registry.count(); ++i) {
        const gpu::Parameter* declared = registry.at(i);
        if (declared->id != 0 && declared->name == uniform.name &&
            gpu::valueKind(declared->kind) == gpu::valueKind(uniform.kind))
            return declared->kind;
    }
    return uniform.kind;
}

void pushBoolean(duk_context* ctx, bool value) { duk_push_boolean(ctx, value); }

}  // namespace

// LX_initRenderTarget(width, height, depth) -> new render target id, whatever
// became of its storage. A depth other than 8, 16 or 32 gets no storage: the
// rest of the engine (surfaces, readback) knows no other.
duk_ret_t initRenderTarget(duk_context* ctx) {
    const uint32_t width = args::id(ctx, 0);
    const uint32_t height = args::id(ctx, 1);
    uint32_t depth = args::id(ctx, 2);
    if (depth != 8 && depth != 16 && depth != 32) depth = 0;
    requireRoom(ctx, "LX_initRenderTarget", gpu::kRenderTargetKind);
    gpu::StorageFailure outcome = gpu::StorageFailure::none;
    const uint32_t id = shielded(0u, [&] {
        gpu::Context& registry = gpu::Context::instance();
        const uint32_t made = registry.createRenderTarget(width, height, depth);
        outcome = registry.getRenderTarget(made).storageFailure();
        if (outcome == gpu::StorageFailure::overBudget) registry.releaseEntity(made);
        return made;
    });
    requireGpuMemory(ctx, "LX_initRenderTarget", outcome);
    duk_push_uint(ctx, id);
    return 1;
}

// LX_blitRenderTarget(source, destination[, flip[, linear]]) -> true once both
// are usable render targets and the whole source was copied onto the whole
// destination.
duk_ret_t blitRenderTarget(duk_context* ctx) {
    const uint32_t sourceId = args::id(ctx, 0);
    const uint32_t destinationId = args::id(ctx, 1);
    const bool flip = args::boolean(ctx, 2);
    const bool linear = args::boolean(ctx, 3);
    pushBoolean(ctx, shielded(false, [&] {
                    gpu::RenderTarget* source = usableTarget(sourceId);
                    gpu::RenderTarget* destination = usableTarget(destinationId);
                    if (!source || !destination) return false;
                    source->blitTo(*destination, flip, linear);
                    return true;
                }));
    return 1;
}

// LX_getSurfaceDim(id) -> [width, height, depth] of a render target (with a
// framebuffer) or a texture that has storage; false otherwise.
duk_ret_t getSurfaceDim(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    struct Dim {
        double values[3];
    };
    const std::optional<Dim> dim = shielded(std::optional<Dim>(), [&]() -> std::optional<Dim> {
        const gpu::Texture* image = imageWithStorage(id);
        if (!image) return std::nullopt;
        return Dim{{double(image->width()), double(image->height()), double(image->depth())}};
    });
    if (dim) {
        pushNumbers(ctx, dim->values, 3);
    } else {
        duk_push_false(ctx);
    }
    return 1;
}

// LX_getSequenceRT() -> the current sequence's output render target id (0
// before its first frame).
duk_ret_t getSequenceRT(duk_context* ctx) {
    duk_push_uint(ctx, shielded(0u, [] {
                      const gpu::Sequence* sequence = gpu::Context::instance().current();
                      return sequence ? sequence->renderTargetId : 0u;
                  }));
    return 1;
}

// LX_getSequenceTexture() -> the current sequence's input texture id.
duk_ret_t getSequenceTexture(duk_context* ctx) {
    duk_push_uint(ctx, shielded(0u, [] {
                      const gpu::Sequence* sequence = gpu::Context::instance().current();
                      return sequence ? sequence->textureId : 0u;
                  }));
    return 1;
}

// LX_initShader(name[, source]) -> new shader id (also when it failed to
// build), or 0 without arguments. Without a source (or with the text
// "undefined") the shader reads the package file "<name>.frag".
duk_ret_t initShader(duk_context* ctx) {
    if (duk_get_top(ctx) == 0) {
        duk_push_uint(ctx, 0);
        return 1;
    }
    const std::string name = args::text(ctx, 0);
    std::string source = args::present(ctx, 1) ? args::text(ctx, 1) : std::string();
    if (source == "undefined") source.clear();
    requireRoom(ctx, "LX_initShader", gpu::kShaderKind);
    duk_push_uint(ctx, shielded(0u, [&] { return gpu::Context::instance().createShader(name, source); }));
    return 1;
}

// LX_setShaderParam(shader, parameter) -> true when both exist and the shader
// is usable. The parameter's value goes to the uniform of the same name when
// both hold it the same way (valueKind); a sampler gets the GL texture of
// the texture or render target the parameter names.
duk_ret_t setShaderParam(duk_context* ctx) {
    const uint32_t shaderId = args::id(ctx, 0);
    const uint32_t parameterId = args::id(ctx, 1);
    pushBoolean(ctx, shielded(false, [&] {
                    if (!hasKind(shaderId, gpu::kShaderKind) || !hasKind(parameterId, gpu::kParameterKind))
                        return false;
                    const gpu::Parameter& parameter = gpu::Context::instance().getParameter(parameterId);
                    gpu::Shader* shader = usableShader(shaderId);
                    if (parameter.id == 0 || !shader) return false;
                    if (shader->parameterIndex(parameter.name) >= 0) {
                        gpu::Parameter& uniform = shader->parameter(parameter.name);
                        if (gpu::valueKind(uniform.kind) != gpu::valueKind(parameter.kind)) return true;
                        if (gpu::valueKind(parameter.kind) == LX_LAYER) {
                            shader->setParameterValue(parameter.name, textureNameOf(parameterId));
                        } else {
                            for (int i = 0; i < 4; ++i) uniform.value[i] = parameter.value[i];
                        }
                    }
                    return true;
                }));
    return 1;
}

// LX_getShaderParamType(shader, name) -> the LX_Type of the uniform, or 0.
duk_ret_t getShaderParamType(duk_context* ctx) {
    const uint32_t shaderId = args::id(ctx, 0);
    const std::string name = args::text(ctx, 1);
    duk_push_uint(ctx, shielded(0u, [&] {
                      gpu::Shader* shader = usableShader(shaderId);
                      if (!shader || shader->parameterIndex(name) < 0) return 0u;
                      return scriptKindOf(shader->parameter(name));
                  }));
    return 1;
}

// LX_renderShader(shader, target[, flip[, viewport]]) -> true for a usable
// shader and a render target id, also when the target has no framebuffer
// and nothing was drawn. viewport: [x, y, width, height], each an integer
// by the integer rule; a zero or negative size means the whole target. The
// drawing counts against the call's time in all: past it, the rest of the
// target is left undrawn and the call ends with the timeout.
duk_ret_t renderShader(duk_context* ctx) {
    const uint32_t shaderId = args::id(ctx, 0);
    const uint32_t targetId = args::id(ctx, 1);
    const bool flip = args::boolean(ctx, 2);
    float numbers[4] = {0, 0, 0, 0};
    args::floats(ctx, 3, numbers, 4);
    int32_t viewport[4];
    for (int i = 0; i < 4; ++i) viewport[i] = args::toInteger(numbers[i]);
    pushBoolean(ctx, shielded(false, [&] {
                    if (!hasKind(targetId, gpu::kRenderTargetKind)) return false;
                    gpu::Shader* shader = usableShader(shaderId);
                    if (!shader) return false;
                    if (gpu::RenderTarget* target = usableTarget(targetId)) {
                        target->bind(viewport);
                        shader->use();
                        // Drawing stops between bands once the call is over
                        // its time; the next check of the budget ends it.
                        shader->draw(flip, [] { return !Scripting::instance().overTime(); });
                        shader->finish();
                    }
                    return true;
                }));
    return 1;
}

// LX_setShaderParamVal(shader, name, value) -> true for a usable shader. The
// value is converted by the uniform's kind: a number, an array of 2 to 4
// numbers, or an id whose texture a sampler uniform binds. A FLOAT value of
// -12345678 leaves the uniform unchanged.
duk_ret_t setShaderParamVal(duk_context* ctx) {
    const uint32_t shaderId = args::id(ctx, 0);
    const std::string name = args::text(ctx, 1);
    const std::optional<uint32_t> kind = shielded(std::optional<uint32_t>(), [&]() -> std::optional<uint32_t> {
        gpu::Shader* shader = usableShader(shaderId);
        if (!shader) return std::nullopt;
        return shader->parameter(name).kind;
    });
    if (!kind) {
        duk_push_false(ctx);
        return 1;
    }
    args::KindValue value = args::valueForKind(ctx, 2, *kind);
    if (value.count == 1 && value.values[0] == -12345678.0f) value.count = 0;  // "leave unchanged"
    // The conversions may have run script code: look the shader up again.
    pushBoolean(ctx, shielded(false, [&] {
                    gpu::Shader* shader = usableShader(shaderId);
                    if (!shader) return false;
                    const bool exists = shader->parameterIndex(name) >= 0;
                    if (*kind == LX_LAYER || *kind == LX_TEXTURE) {
                        shader->setParameterValue(name, textureNameOf(value.integer));
                    } else if (*kind == LX_BOOL || *kind == LX_POPUP) {
                        shader->setParameterValue(name, value.integer);
                    } else if (exists && value.count > 0) {
                        gpu::Parameter& uniform = shader->parameter(name);
                        if (uniform.kind == *kind) {
                            for (int i = 0; i < value.count; ++i) uniform.value[i] = value.values[i];
                        }
                    }
                    return true;
                }));
    return 1;
}

// LX_getShaderError(shader) -> the shader's error text (empty when it built,
// or for a shader id without a shader), or "Id is not a shader!".
duk_ret_t getShaderError(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const std::string text = shielded(std::string("Id is not a shader!"), [&] {
        if (!hasKind(id, gpu::kShaderKind)) return std::string("Id is not a shader!");
        return gpu::Context::instance().getShader(id).error();
    });
    duk_push_lstring(ctx, text.data(), text.size());
    return 1;
}

}  // namespace script::natives
