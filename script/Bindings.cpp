#include "Bindings.h"

#include "Natives.h"

namespace script {

namespace {

struct Native {
    const char* name;
    duk_c_function function;
    duk_idx_t nargs;  // DUK_VARARGS for the four init functions
};

using namespace script::natives;

constexpr Native kApi[] = {
    // parameters
    {"LX_initParam", initParam, DUK_VARARGS},
    {"LX_getParamValue", getParamValue, 1},
    {"LX_setParamValue", setParamValue, 2},
    {"LX_setParamMinMax", setParamMinMax, 3},
    {"LX_setParamChoices", setParamChoices, 2},
    {"LX_setParamPrecision", setParamPrecision, 2},
    {"LX_setParamEnabled", setParamEnabled, 2},
    {"LX_setParamFlags", setParamFlags, 2},
    {"LX_getParamFlags", getParamFlags, 1},
    // render targets
    {"LX_initRenderTarget", initRenderTarget, 3},
    {"LX_blitRenderTarget", blitRenderTarget, 4},
    {"LX_getSurfaceDim", getSurfaceDim, 1},
    {"LX_getSequenceRT", getSequenceRT, 0},
    {"LX_getSequenceTexture", getSequenceTexture, 0},
    // shaders
    {"LX_initShader", initShader, DUK_VARARGS},
    {"LX_setShaderParam", setShaderParam, 2},
    {"LX_getShaderParamType", getShaderParamType, 2},
    {"LX_renderShader", renderShader, 4},
    {"LX_setShaderParamVal", setShaderParamVal, 3},
    {"LX_getShaderError", getShaderError, 1},
    // textures
    {"LX_initTexture", initTexture, DUK_VARARGS},
    {"LX_setTextureParam", setTextureParam, 3},
    // surfaces
    {"LX_initSurface", initSurface, DUK_VARARGS},
    {"LX_textureToSurface", textureToSurface, 1},
    {"LX_surfaceToTexture", surfaceToTexture, 1},
    {"LX_surfaceQuantize", surfaceQuantize, 6},
    {"LX_surfaceCopyTo", surfaceCopyTo, 3},
    // context
    {"LX_getTime", getTime, 0},
    {"LX_release", release, 1},
    {"LX_setOutputExtent", setOutputExtent, 2},
    {"LX_getContextExtent", getContextExtent, 0},
    {"LX_getInputOrigin", getInputOrigin, 0},
};

}  // namespace

void registerScriptApi(duk_context* ctx) {
    for (const Native& native : kApi) {
        // [ ] -> [ global ] -> [ global function ] -> [ global ] -> [ ]
        duk_push_global_object(ctx);
        duk_push_c_function(ctx, native.function, native.nargs);
        duk_put_prop_string(ctx, -2, native.name);
        duk_pop(ctx);
    }
}

}  // namespace script
