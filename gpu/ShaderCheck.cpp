#include "gpu/ShaderCheck.h"

#include <stdexcept>

#include "gpu/Context.h"
#include "gpu/OpenGLContext.h"

namespace gpu {

// The engine's registry on a context of its own, for the check's life.
struct ShaderCheck::Session {
    Session() {
        if (gl.create() != 0 || gl.makeCurrent() != 0)
            throw std::runtime_error("no OpenGL context to compile shaders in");
        initGLExtensions();
        Context::instance().initialize();
    }
    ~Session() {
        Context::instance().shutdown();
        gl.destroy();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    OpenGLContext gl;
};

ShaderCheck::ShaderCheck() : session(std::make_unique<Session>()) {}

ShaderCheck::~ShaderCheck() = default;

std::string ShaderCheck::errors(const std::string& source) {
    Context& context = Context::instance();
    const uint32_t id = context.createShader("import", source);
    std::string log = context.getShader(id).error();
    context.releaseEntity(id);
    return log;
}

}  // namespace gpu
