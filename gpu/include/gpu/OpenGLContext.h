// The module's one OpenGL context, living in a hidden window.
//
// Errors: create throws OpenGLFault(1) when the window cannot be made and
// destroy throws OpenGLFault(2) when the rendering context cannot be deleted;
// makeCurrent reports failure as 7; nothing else fails.
// Ownership: the object owns its window, device and rendering context; the
// destructor closes only the mutex, so destroy must run first (after every
// GL object of the engine is gone).
// Threads: the context is current on at most one thread. The GL lock is
// makeCurrent then lock; its release is unlock then releaseCurrent. The mutex
// is recursive for its owner, so the GL lock may be taken again on the
// thread that holds it.
#pragma once

#include <cstdint>

#include "platform/GLBackend.h"
#include "platform/Mutex.h"

namespace gpu {

struct OpenGLFault {
    int32_t code;
};

class OpenGLContext {
public:
    static constexpr uint32_t kMakeCurrentFailed = 7;

    OpenGLContext();
    virtual ~OpenGLContext();
    OpenGLContext(const OpenGLContext&) = delete;
    OpenGLContext& operator=(const OpenGLContext&) = delete;

    // Opens the hidden window and its context, current on the calling thread.
    // Returns 0.
    uint32_t create();
    // 0 when the context is now current on the calling thread, else 7.
    uint32_t makeCurrent();
    // Leaves the calling thread without a current context; failures ignored.
    void releaseCurrent();
    // Waits without a time-out for the context's mutex.
    bool lock();
    void unlock();
    // Deletes the rendering context and releases the device context.
    void destroy();
    // Ends a frame: headless, a flush of the command stream.
    void swapBuffers();

    // The GL lock: true when the context is current and the mutex held.
    bool lockGL();
    void unlockGL();

    const wchar_t* getClassName() const { return className; }
    const wchar_t* getWindowName() const { return windowName; }

private:
    platform::Mutex mutex;
    platform::gl::Window window = nullptr;
    platform::gl::Device deviceContext = nullptr;
    platform::gl::RenderContext renderingContext = nullptr;
    wchar_t className[32] = {};
    wchar_t windowName[32] = {};
};

// Loads the GL entry points beyond OpenGL 1.1. Call once with the context
// current. The loader's own result is not meaningful headless (it reports a
// missing GLX display after loading every entry point), so it is not returned.
void initGLExtensions();

}  // namespace gpu
