// The hidden window and its WGL context. The opaque handle types of
// GLBackend.h carry the Win32 handles themselves (HWND for the window, HDC
// for the device, HGLRC for the rendering context); nothing is allocated.
#include "platform/GLBackend.h"

#include <windows.h>

namespace platform::gl {
namespace {

template <typename To, typename From>
To handle(From from) {
    return reinterpret_cast<To>(from);
}

}  // namespace

uint32_t tickCount() { return GetTickCount(); }

bool registerClass(const wchar_t* className) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = className;
    return RegisterClassExW(&windowClass) != 0;
}

void unregisterClass(const wchar_t* className) { UnregisterClassW(className, nullptr); }

Window createWindow(const wchar_t* className, const wchar_t* title, int width, int height) {
    // Never shown: it exists only for its device context.
    return handle<Window>(
        CreateWindowExW(0, className, title, 0, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr));
}

void destroyWindow(Window window) {
    if (window) DestroyWindow(handle<HWND>(window));
}

Device getDevice(Window window) {
    HDC device = GetDC(handle<HWND>(window));
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cDepthBits = 8;
    format.iLayerType = PFD_MAIN_PLANE;
    // Unchecked: a device without the format fails later, at make-current.
    SetPixelFormat(device, ChoosePixelFormat(device, &format), &format);
    return handle<Device>(device);
}

void releaseDevice(Window window, Device device) { ReleaseDC(handle<HWND>(window), handle<HDC>(device)); }

RenderContext createContext(Device device) { return handle<RenderContext>(wglCreateContext(handle<HDC>(device))); }

bool deleteContext(RenderContext context) { return wglDeleteContext(handle<HGLRC>(context)) != FALSE; }

bool makeCurrent(Device device, RenderContext context) {
    return wglMakeCurrent(handle<HDC>(device), handle<HGLRC>(context)) != FALSE;
}

bool hasCurrentContext() { return wglGetCurrentContext() != nullptr; }

void swapBuffers(Device device) { SwapBuffers(handle<HDC>(device)); }

}  // namespace platform::gl
