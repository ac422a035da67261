#include "gpu/OpenGLContext.h"

#include <GL/glew.h>

#include <cstdlib>
#include <cwchar>

namespace gpu {

namespace gl = platform::gl;

OpenGLContext::OpenGLContext() = default;
OpenGLContext::~OpenGLContext() = default;

uint32_t OpenGLContext::create() {
    // The names carry random suffixes so that several modules in one host
    // process never share a window class.
    // Windows' C library yields 15-bit values, so the suffix is always four
    // hex digits; other C libraries are cut to the same range.
    std::srand(gl::tickCount());
    const int classSuffix = std::rand() & 0x7fff;
    const int windowSuffix = std::rand() & 0x7fff;
    std::swprintf(className, sizeof className / sizeof *className, L"Lumivex2_Class%04x", classSuffix);
    std::swprintf(windowName, sizeof windowName / sizeof *windowName, L"OpenGL_WND%04x", windowSuffix);

    if (!gl::registerClass(className)) throw OpenGLFault{1};
    window = gl::createWindow(className, windowName, 640, 360);
    if (!window) throw OpenGLFault{1};
    deviceContext = gl::getDevice(window);
    // A failure from here on shows as a failing makeCurrent later.
    renderingContext = gl::createContext(deviceContext);
    if (renderingContext) gl::makeCurrent(deviceContext, renderingContext);
    return 0;
}

uint32_t OpenGLContext::makeCurrent() {
    // Without a rendering context there is nothing to make current; releasing
    // instead (as a null context would) must not count as success.
    if (!renderingContext) return kMakeCurrentFailed;
    return gl::makeCurrent(deviceContext, renderingContext) ? 0 : kMakeCurrentFailed;
}

void OpenGLContext::releaseCurrent() { gl::makeCurrent(deviceContext, nullptr); }

bool OpenGLContext::lock() { return mutex.wait(); }

void OpenGLContext::unlock() { mutex.release(); }

void OpenGLContext::destroy() {
    if (renderingContext) {
        gl::makeCurrent(nullptr, nullptr);
        if (!gl::deleteContext(renderingContext)) throw OpenGLFault{2};
        renderingContext = nullptr;
    }
    if (deviceContext) {
        gl::releaseDevice(window, deviceContext);
        deviceContext = nullptr;
    }
    // The hidden window goes too: nothing can use it once its context is gone.
    gl::destroyWindow(window);
    window = nullptr;
    gl::unregisterClass(className);
}

void OpenGLContext::swapBuffers() { gl::swapBuffers(deviceContext); }

bool OpenGLContext::lockGL() {
    if (makeCurrent() != 0) return false;
    return lock();
}

void OpenGLContext::unlockGL() {
    unlock();
    releaseCurrent();
}

void initGLExtensions() {
    glewExperimental = GL_TRUE;
    (void)glewInit();
}

}  // namespace gpu
