// Effect fragment shaders from arbitrary text: the rewriting passes and the
// loop guard, then (for inputs whose first byte is odd) compiling, linking
// and listing the uniforms on the headless GL context. Checks: the passes
// are deterministic and keep the rewritten text free of NUL; a refused text
// is left alone; every uniform found is found again by name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gpu/OpenGLContext.h"
#include "gpu/Shader.h"
#include "gpu/ShaderSource.h"

// The headless context, current on the fuzzing thread for the whole run.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static gpu::OpenGLContext context;
    context.create();
    gpu::initGLExtensions();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 16384) return 0;
    const bool compile = data[0] & 1;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string once = gpu::shader_source::rewrite(text);
    if (once != gpu::shader_source::rewrite(text)) __builtin_trap();
    if (text.find('\0') == std::string::npos && once.find('\0') != std::string::npos) __builtin_trap();
    // The loop guard: a refusal leaves the text as it was; a guarded text
    // only grows.
    std::string guarded = text;
    const bool refused = gpu::shader_source::guardLoops(guarded).has_value();
    if (refused ? guarded != text : guarded.size() < text.size()) __builtin_trap();
    std::string piece = text;
    gpu::shader_source::rewriteCall(piece, "texture2D");
    gpu::shader_source::rewriteSamplerCube(piece);
    if (!compile || text.find('\0') != std::string::npos) return 0;

    gpu::Shader shader;
    if (shader.init("fuzz", text)) {
        for (const gpu::Parameter& uniform : shader.uniforms()) {
            if (shader.parameter(uniform.name).name != uniform.name) __builtin_trap();
            shader.setParameterValue(uniform.name, 1);
        }
        shader.use();
    }
    shader.release();
    return 0;
}
