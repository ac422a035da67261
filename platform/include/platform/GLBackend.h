// The window-system side of the module's OpenGL context: a hidden window
// with a device context and a rendering context, reduced to the few steps
// that OpenGLContext needs. On Windows these are the HWND, HDC and HGLRC of
// a hidden window with a WGL context; on Linux the hidden window is an EGL
// display and the rendering context an EGL context with no surface
// (headless).
//
// Errors: every step reports failure through its result (null or false);
// nothing throws. Ownership: handles returned here are released only through
// the matching calls below. Threads: a rendering context is current on at most
// one thread; makeCurrent on another thread fails while it is current
// elsewhere.
#pragma once

#include <cstdint>

namespace platform::gl {

struct WindowImpl;
struct ContextImpl;
using Window = WindowImpl*;          // the hidden window; null when none
using Device = WindowImpl*;          // its device context (the same display)
using RenderContext = ContextImpl*;  // null when none

// Milliseconds since an unspecified start, wrapping at 32 bits.
uint32_t tickCount();

// Registers a window class of that name. Returns false on failure.
bool registerClass(const wchar_t* className);
void unregisterClass(const wchar_t* className);

// Opens the hidden window (never shown). Returns null on failure.
Window createWindow(const wchar_t* className, const wchar_t* title, int width, int height);
void destroyWindow(Window window);

// The window's device context with an RGBA, double-buffered pixel format.
Device getDevice(Window window);
void releaseDevice(Window window, Device device);

// A rendering context for the device. Returns null on failure.
RenderContext createContext(Device device);
// Deletes the context; false when it could not be deleted.
bool deleteContext(RenderContext context);

// Makes the context current on the calling thread; a null context releases
// the calling thread's current context. False on failure.
bool makeCurrent(Device device, RenderContext context);
// True when the calling thread has any rendering context current.
bool hasCurrentContext();

// Finishes the frame: SwapBuffers on Windows; headless, a flush of the GL
// command stream.
void swapBuffers(Device device);

}  // namespace platform::gl
