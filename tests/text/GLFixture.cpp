#include "tests/text/GLFixture.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cmath>

#include "gpu/text/BitmapFont.h"

namespace text_test {
namespace {

EGLDisplay openDisplay() {
    const EGLenum platforms[] = {EGL_PLATFORM_SURFACELESS_MESA, EGL_PLATFORM_DEVICE_EXT};
    for (EGLenum platform : platforms) {
        EGLDisplay display = eglGetPlatformDisplay(platform, EGL_DEFAULT_DISPLAY, nullptr);
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    }
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
    return EGL_NO_DISPLAY;
}

}  // namespace

void GLTest::SetUp() {
    display = openDisplay();
    if (display == EGL_NO_DISPLAY) GTEST_SKIP() << "no EGL display";
    eglBindAPI(EGL_OPENGL_API);
    // No profile attributes: Mesa gives a compatibility profile, which the
    // raster path and display lists need.
    context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
    ASSERT_NE(context, EGL_NO_CONTEXT) << "eglCreateContext failed";
    ASSERT_TRUE(eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context));
    glewInit();  // reports the missing GLX display, but loads the entry points
    ASSERT_NE(glBindFramebuffer, nullptr);
}

void GLTest::TearDown() {
    if (context != nullptr) {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
    if (display != nullptr) eglTerminate(display);
}

Target::Target(int width, int height) : width(width), height(height) {
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindTexture(GL_TEXTURE_2D, 0);
}

Target::~Target() {
    glDeleteFramebuffers(1, &fbo);
    glDeleteTextures(1, &texture);
}

std::vector<std::uint8_t> Target::ink() const {
    std::vector<std::uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    std::vector<std::uint8_t> mask(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = rgba[i * 4] != 0;
    return mask;
}

std::vector<std::uint8_t> Target::pixel(int x, int y) const {
    std::vector<std::uint8_t> rgba(4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

Reference::Reference(int width, int height)
    : width(width), height(height), mask(static_cast<size_t>(width) * height) {}

float Reference::line(const std::string& line, float x, int baseline) {
    for (unsigned char code : line)
        if (code < 128) x = glyph(code, x, baseline);
    return x;
}

float Reference::glyph(int code, float x, int baseline) {
    const gpu::text::Glyph* glyph = gpu::text::findGlyph(gpu::text::helvetica12, code);
    if (glyph == nullptr) return x;
    const int left = static_cast<int>(std::floor(x - glyph->xOrigin));
    const int bottom = static_cast<int>(std::floor(baseline - glyph->yOrigin));
    const int rowBytes = (glyph->width + 7) / 8;
    for (int row = 0; row < glyph->height; ++row) {
        for (int col = 0; col < glyph->width; ++col) {
            const bool set = glyph->bitmap[row * rowBytes + col / 8] & (0x80 >> (col % 8));
            const int px = left + col, py = bottom + row;
            if (set && px >= 0 && px < width && py >= 0 && py < height)
                mask[static_cast<size_t>(py) * width + px] = 1;
        }
    }
    return x + glyph->advance;
}

std::string picture(const std::vector<std::uint8_t>& ink, int width) {
    std::string out;
    const int height = static_cast<int>(ink.size()) / width;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) out += ink[static_cast<size_t>(y) * width + x] ? '#' : '.';
        out += '\n';
    }
    return out;
}

}  // namespace text_test
