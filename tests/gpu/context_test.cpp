#include <gtest/gtest.h>

#include <GL/glew.h>

#include <atomic>
#include <chrono>
#include <cwctype>
#include <string>
#include <thread>

#include "gpu/OpenGLContext.h"

namespace {

// The base name followed by exactly four lower-case hex digits, 0000..7fff.
void expectNameWithSuffix(const std::wstring& name, const std::wstring& base) {
    ASSERT_EQ(name.size(), base.size() + 4) << std::string(name.begin(), name.end());
    EXPECT_EQ(name.compare(0, base.size(), base), 0);
    const std::wstring suffix = name.substr(base.size());
    for (wchar_t c : suffix) EXPECT_TRUE(std::iswdigit(c) || (c >= L'a' && c <= L'f'));
    EXPECT_LE(std::stoul(suffix, nullptr, 16), 0x7fffu);
}

TEST(OpenGLContextTest, CreateNamesClassAndWindowWithRandomSuffixes) {
    gpu::OpenGLContext gl;
    ASSERT_EQ(gl.create(), 0u);
    expectNameWithSuffix(gl.getClassName(), L"Lumivex2_Class");
    expectNameWithSuffix(gl.getWindowName(), L"OpenGL_WND");
    gl.destroy();
}

TEST(OpenGLContextTest, CreateLeavesContextCurrentWithCompatibilityProfile) {
    gpu::OpenGLContext gl;
    ASSERT_EQ(gl.create(), 0u);
    gpu::initGLExtensions();
    // The fixed-function pipeline and framebuffer objects are both needed.
    GLint major = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    EXPECT_GE(major, 3);
    EXPECT_NE(glBindFramebuffer, nullptr);
    EXPECT_NE(glCreateProgram, nullptr);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    gl.destroy();
}

TEST(OpenGLContextTest, SecondThreadCannotTakeContextCurrentOnFirst) {
    gpu::OpenGLContext gl;
    ASSERT_EQ(gl.create(), 0u);
    ASSERT_TRUE(gl.lockGL());

    uint32_t otherResult = 0;
    bool otherLocked = true;
    std::thread other([&] {
        otherResult = gl.makeCurrent();
        otherLocked = gl.lockGL();
        if (otherLocked) gl.unlockGL();
    });
    other.join();
    EXPECT_EQ(otherResult, 7u);
    EXPECT_FALSE(otherLocked);

    // Once released here, the other thread gets it.
    gl.unlockGL();
    std::thread later([&] {
        otherLocked = gl.lockGL();
        if (otherLocked) gl.unlockGL();
    });
    later.join();
    EXPECT_TRUE(otherLocked);
    gl.destroy();
}

TEST(OpenGLContextTest, GLLockIsRecursiveOnOwningThread) {
    gpu::OpenGLContext gl;
    ASSERT_EQ(gl.create(), 0u);
    ASSERT_TRUE(gl.lockGL());
    ASSERT_TRUE(gl.lockGL());
    gl.unlock();  // inner release keeps the context current and the mutex held
    EXPECT_TRUE(platform::gl::hasCurrentContext());

    std::atomic<bool> otherLocked{false};
    std::thread other([&] {
        otherLocked = gl.lock();
        gl.unlock();
    });
    // The mutex is still held once here, so the other thread waits until the
    // outer release.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherLocked);
    gl.unlockGL();
    other.join();
    EXPECT_TRUE(otherLocked);
    EXPECT_FALSE(platform::gl::hasCurrentContext());
    gl.destroy();
}

TEST(OpenGLContextTest, MakeCurrentFailsAfterDestroyAndBeforeCreate) {
    gpu::OpenGLContext fresh;
    EXPECT_EQ(fresh.makeCurrent(), 7u);

    gpu::OpenGLContext gl;
    ASSERT_EQ(gl.create(), 0u);
    gl.destroy();
    EXPECT_EQ(gl.makeCurrent(), 7u);
    EXPECT_FALSE(gl.lockGL());
    EXPECT_FALSE(platform::gl::hasCurrentContext());
    gl.destroy();  // a second teardown has nothing left to do
}

TEST(OpenGLContextTest, ReleaseCurrentLeavesThreadWithoutContext) {
    gpu::OpenGLContext gl;
    ASSERT_EQ(gl.create(), 0u);
    EXPECT_TRUE(platform::gl::hasCurrentContext());
    gl.releaseCurrent();
    EXPECT_FALSE(platform::gl::hasCurrentContext());
    EXPECT_EQ(gl.makeCurrent(), 0u);
    gl.swapBuffers();
    gl.destroy();
}

}  // namespace
