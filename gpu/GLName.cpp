#include "gpu/GLName.h"

#include "platform/GLBackend.h"

namespace gpu {

namespace {

// Bytes every GpuCharge of the process holds together.
uint64_t heldInAll = 0;

}  // namespace

uint64_t gpuBytesHeld() { return heldInAll; }

std::string gpuMemoryLimitText() {
    return "textures and render targets may hold at most " + std::to_string(kMaxGpuBytes >> 20) +
           " MiB of GPU memory in all";
}

bool GpuCharge::fits(uint64_t amount) const {
    const uint64_t others = heldInAll - bytes;
    return amount <= kMaxGpuBytes && others <= kMaxGpuBytes - amount;
}

void GpuCharge::hold(uint64_t amount) {
    heldInAll = heldInAll - bytes + amount;
    bytes = amount;
}

void clearGLErrors() {
    // Bounded: a lost context may report its loss on every call.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {}
}

GLenum takeGLError() {
    const GLenum first = glGetError();
    if (first != GL_NO_ERROR) clearGLErrors();
    return first;
}

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
