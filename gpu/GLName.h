// Move-only owners of GL object names. Each name is deleted exactly once, by
// its owner, and only while a GL context is current on the calling thread
// (once the context is gone its objects are gone with it). Name 0 owns nothing.
#pragma once

#include <GL/glew.h>

#include <utility>

namespace gpu {

void deleteTextureName(GLuint name);
void deleteFramebufferName(GLuint name);
void deleteShaderName(GLuint name);
void deleteProgramName(GLuint name);
void deleteBufferName(GLuint name);

template <void (*Delete)(GLuint)>
class GLName {
public:
    GLName() = default;
    explicit GLName(GLuint name) : name(name) {}
    ~GLName() { reset(); }
    GLName(GLName&& other) noexcept : name(std::exchange(other.name, 0)) {}
    GLName& operator=(GLName&& other) noexcept {
        if (this != &other) {
            reset();
            name = std::exchange(other.name, 0);
        }
        return *this;
    }
    GLName(const GLName&) = delete;
    GLName& operator=(const GLName&) = delete;

    GLuint get() const { return name; }
    explicit operator bool() const { return name != 0; }
    // Deletes the owned name (if any) and takes `replacement`.
    void reset(GLuint replacement = 0) {
        if (name != 0) Delete(name);
        name = replacement;
    }

private:
    GLuint name = 0;
};

using TextureName = GLName<deleteTextureName>;
using FramebufferName = GLName<deleteFramebufferName>;
using ShaderName = GLName<deleteShaderName>;
using ProgramName = GLName<deleteProgramName>;
using BufferName = GLName<deleteBufferName>;

}  // namespace gpu
