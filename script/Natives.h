// The LX_ natives, one function each, registered by registerScriptApi
// (Bindings.cpp). Each reads its arguments, pushes one result and returns 1.
#pragma once

#include "duktape/duktape.h"

namespace script::natives {

// Parameters (BindingsParameters.cpp)
duk_ret_t initParam(duk_context* ctx);
duk_ret_t getParamValue(duk_context* ctx);
duk_ret_t setParamValue(duk_context* ctx);
duk_ret_t setParamMinMax(duk_context* ctx);
duk_ret_t setParamChoices(duk_context* ctx);
duk_ret_t setParamPrecision(duk_context* ctx);
duk_ret_t setParamEnabled(duk_context* ctx);
duk_ret_t setParamFlags(duk_context* ctx);
duk_ret_t getParamFlags(duk_context* ctx);

// Render targets and shaders (BindingsRendering.cpp)
duk_ret_t initRenderTarget(duk_context* ctx);
duk_ret_t blitRenderTarget(duk_context* ctx);
duk_ret_t getSurfaceDim(duk_context* ctx);
duk_ret_t getSequenceRT(duk_context* ctx);
duk_ret_t getSequenceTexture(duk_context* ctx);
duk_ret_t initShader(duk_context* ctx);
duk_ret_t setShaderParam(duk_context* ctx);
duk_ret_t getShaderParamType(duk_context* ctx);
duk_ret_t renderShader(duk_context* ctx);
duk_ret_t setShaderParamVal(duk_context* ctx);
duk_ret_t getShaderError(duk_context* ctx);

// Textures and surfaces (BindingsImages.cpp)
duk_ret_t initTexture(duk_context* ctx);
duk_ret_t setTextureParam(duk_context* ctx);
duk_ret_t initSurface(duk_context* ctx);
duk_ret_t textureToSurface(duk_context* ctx);
duk_ret_t surfaceToTexture(duk_context* ctx);
duk_ret_t surfaceQuantize(duk_context* ctx);
duk_ret_t surfaceCopyTo(duk_context* ctx);

// Context (BindingsContext.cpp)
duk_ret_t getTime(duk_context* ctx);
duk_ret_t release(duk_context* ctx);
duk_ret_t setOutputExtent(duk_context* ctx);
duk_ret_t getContextExtent(duk_context* ctx);
duk_ret_t getInputOrigin(duk_context* ctx);

}  // namespace script::natives
