// Compiles fragment shaders as the engine compiles an effect's shaders
// (same rewriting, same limits), on an OpenGL context of its own, so that
// tools can report a shader's errors before any effect runs it.
//
// Errors: the constructor throws std::runtime_error when no OpenGL context
// can be made current. errors() never throws for a bad shader: it returns
// the compile or link log.
// Ownership and threads: while it lives, the check owns the engine's
// registry and makes its context current on the constructing thread; only
// one may exist at a time, never beside a loaded effect.
#pragma once

#include <memory>
#include <string>

namespace gpu {

class ShaderCheck {
public:
    ShaderCheck();
    ~ShaderCheck();
    ShaderCheck(const ShaderCheck&) = delete;
    ShaderCheck& operator=(const ShaderCheck&) = delete;

    // The compile or link log of `source`, empty when it builds.
    std::string errors(const std::string& source);

private:
    struct Session;
    std::unique_ptr<Session> session;
};

}  // namespace gpu
