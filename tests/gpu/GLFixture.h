// A headless GL context made current for one test, with the registry
// initialised, and small helpers to draw and read pixels back.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gpu/Context.h"
#include "gpu/OpenGLContext.h"

class GLTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(gl.create(), 0u);
        ASSERT_EQ(gl.makeCurrent(), 0u);
        gpu::initGLExtensions();
        context().initialize();
    }

    void TearDown() override {
        context().shutdown();
        gl.destroy();
    }

    static gpu::Context& context() { return gpu::Context::instance(); }

    // The whole target as read back: rows bottom-up, packed.
    template <class T>
    static std::vector<T> readBack(gpu::RenderTarget& target) {
        const void* mapped = target.beginReadback();
        EXPECT_NE(mapped, nullptr);
        std::vector<T> values(size_t{target.width()} * target.height() * 4);
        if (mapped) std::memcpy(values.data(), mapped, values.size() * sizeof(T));
        target.endReadback();
        return values;
    }

    // A shader that copies texels of `tex` (sampled as GLSL reads them).
    static uint32_t copyShader() {
        return context().createShader(
            "copy", "uniform sampler2D tex;\nvoid main() { gl_FragColor = texture2D(tex, gl_TexCoord[0].xy); }\n");
    }

    // Draws `shaderId` over the whole target with `texture` bound to `tex`.
    static void drawInto(gpu::RenderTarget& target, uint32_t shaderId, GLuint texture, bool flip = false) {
        gpu::Shader& shader = context().getShader(shaderId);
        ASSERT_EQ(shader.error(), "");
        target.bind();
        shader.setParameterValue("tex", texture);
        ASSERT_TRUE(shader.use());
        shader.draw(flip);
        shader.finish();
    }

    gpu::OpenGLContext gl;
};

// A GLTest run inside a fresh temporary folder, so that files the package
// reader looks up relative to the current folder can be written by the test.
class GLFolderTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        char pattern[] = "/tmp/lumivex-gpu-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        ASSERT_EQ(chdir(folder.c_str()), 0);
    }

    void TearDown() override {
        GLTest::TearDown();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    static void writeFile(const char* name, const std::string& bytes) {
        FILE* file = std::fopen(name, "wb");
        ASSERT_NE(file, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }

    std::string folder;
};
