#include "gpu/GLName.h"

#include "platform/GLBackend.h"

namespace gpu {

// Without a current context the names cannot be deleted (and are gone with
// their context already); calling into GL then would be undefined.
void deleteTextureName(GLuint name) {
    if (platform::gl::hasCurrentContext()) glDeleteTextures(1, &name);
}

void deleteFramebufferName(GLuint name) {
    if (platform::gl::hasCurrentContext()) glDeleteFramebuffers(1, &name);
}

void deleteShaderName(GLuint name) {
    if (platform::gl::hasCurrentContext()) glDeleteShader(name);
}

void deleteProgramName(GLuint name) {
    if (platform::gl::hasCurrentContext()) glDeleteProgram(name);
}

void deleteBufferName(GLuint name) {
    if (platform::gl::hasCurrentContext()) glDeleteBuffers(1, &name);
}

}  // namespace gpu
