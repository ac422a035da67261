// Headless stand-in for the hidden window and its WGL context: an EGL
// display opened on the surfaceless platform (else the device platform, else
// the default display) and a desktop OpenGL context with no surface. No
// profile is requested, so Mesa gives a compatibility profile in which the
// fixed-function calls and GLSL 1.20 shaders work.
//
// The EGL display is a process-wide handle shared by everyone who opens the
// same platform; it is initialised on first use and deliberately never
// terminated, since terminating it would pull it from under any other
// context on it.
#include "platform/GLBackend.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <chrono>
#include <cstring>

namespace platform::gl {

struct WindowImpl {
    EGLDisplay display = EGL_NO_DISPLAY;
};

struct ContextImpl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
};

namespace {

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t length = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool startsWord = p == list || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

EGLDisplay openDeviceDisplay() {
    auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (!queryDevices) return EGL_NO_DISPLAY;
    EGLDeviceEXT device = nullptr;
    EGLint count = 0;
    if (!queryDevices(1, &device, &count) || count < 1) return EGL_NO_DISPLAY;
    return eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
}

// Opens and initialises the first display that works, in order of preference.
EGLDisplay openDisplay() {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    EGLDisplay candidates[3] = {EGL_NO_DISPLAY, EGL_NO_DISPLAY, EGL_NO_DISPLAY};
    if (hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
        candidates[0] = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (hasExtension(clientExtensions, "EGL_EXT_platform_device")) candidates[1] = openDeviceDisplay();
    for (EGLDisplay display : candidates) {
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    }
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    return EGL_NO_DISPLAY;
}

// A config is needed only where the display cannot create a context without
// one. Returns false when no usable config exists.
bool chooseConfig(EGLDisplay display, EGLConfig& config) {
    config = EGL_NO_CONFIG_KHR;
    if (hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) return true;
    const EGLint attributes[] = {
        EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(display, attributes, &config, 1, &count) && count >= 1;
}

}  // namespace

uint32_t tickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Headless there is no window class to register; the names only label the
// window, as they do on Windows.
bool registerClass(const wchar_t* className) { return className != nullptr && className[0] != 0; }
void unregisterClass(const wchar_t*) {}

Window createWindow(const wchar_t* className, const wchar_t*, int width, int height) {
    if (!className || width <= 0 || height <= 0) return nullptr;
    const EGLDisplay display = openDisplay();
    if (display == EGL_NO_DISPLAY) return nullptr;
    return new WindowImpl{display};
}

void destroyWindow(Window window) { delete window; }

Device getDevice(Window window) { return window; }
void releaseDevice(Window, Device) {}

RenderContext createContext(Device device) {
    if (!device || !eglBindAPI(EGL_OPENGL_API)) return nullptr;
    EGLConfig config;
    if (!chooseConfig(device->display, config)) return nullptr;
    const EGLint attributes[] = {EGL_NONE};
    const EGLContext context = eglCreateContext(device->display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) return nullptr;
    return new ContextImpl{device->display, context};
}

bool deleteContext(RenderContext context) {
    if (!context) return false;
    const bool deleted = eglDestroyContext(context->display, context->context) == EGL_TRUE;
    if (deleted) delete context;
    return deleted;
}

bool makeCurrent(Device device, RenderContext context) {
    // The bound API is per thread; a host thread may never have bound it.
    if (!eglBindAPI(EGL_OPENGL_API)) return false;
    if (!context) {
        const EGLDisplay display = device ? device->display : eglGetCurrentDisplay();
        if (display == EGL_NO_DISPLAY) return true;  // nothing is current
        return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
    }
    if (!device || device->display != context->display) return false;
    return eglMakeCurrent(context->display, EGL_NO_SURFACE, EGL_NO_SURFACE, context->context) == EGL_TRUE;
}

bool hasCurrentContext() { return eglGetCurrentContext() != EGL_NO_CONTEXT; }

void swapBuffers(Device) {
    if (hasCurrentContext()) glFlush();
}

}  // namespace platform::gl
