// Move-only owners of GL object names. Each name is deleted exactly once, by
// its owner, and only while a GL context is current on the calling thread
// (once the context is gone its objects are gone with it). Name 0 owns nothing.
//
// GPU memory: the storage of every texture, render target and readback
// buffer of the process is counted, through the GpuCharge each holds, against
// one bound, kMaxGpuBytes (4 GiB). A driver may give less; its
// GL_OUT_OF_MEMORY is checked where storage is made (gpu/Texture.h). The
// count is process-wide like the GL context it describes, and changed only
// under the entry lock.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
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

// Most bytes of GPU storage the process's images hold at once.
constexpr uint64_t kMaxGpuBytes = uint64_t{4} << 30;
// What they hold now.
uint64_t gpuBytesHeld();
// "textures and render targets may hold at most 4096 MiB of GPU memory in all"
std::string gpuMemoryLimitText();

// One owner's share of the counted GPU storage; move-only like the names
// whose storage it counts, given back on destruction.
class GpuCharge {
public:
    GpuCharge() = default;
    ~GpuCharge() { hold(0); }
    GpuCharge(GpuCharge&& other) noexcept : bytes(std::exchange(other.bytes, 0)) {}
    GpuCharge& operator=(GpuCharge&& other) noexcept {
        if (this != &other) {
            hold(0);
            bytes = std::exchange(other.bytes, 0);
        }
        return *this;
    }
    GpuCharge(const GpuCharge&) = delete;
    GpuCharge& operator=(const GpuCharge&) = delete;

    // True when holding `amount` instead of the present share keeps the
    // process within kMaxGpuBytes.
    bool fits(uint64_t amount) const;
    // Holds `amount` instead of the present share.
    void hold(uint64_t amount);
    uint64_t held() const { return bytes; }

private:
    uint64_t bytes = 0;
};

// Clears the GL's error flags, so that the next check sees only what follows.
void clearGLErrors();
// The first error flag raised since clearGLErrors (GL_NO_ERROR for none);
// clears them all.
GLenum takeGLError();

using TextureName = GLName<deleteTextureName>;
using FramebufferName = GLName<deleteFramebufferName>;
using ShaderName = GLName<deleteShaderName>;
using ProgramName = GLName<deleteProgramName>;
using BufferName = GLName<deleteBufferName>;

}  // namespace gpu
