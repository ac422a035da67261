// Test support for the text overlay: a headless OpenGL context made current
// for the whole test, an RGBA8 framebuffer to draw into, and a CPU reference
// that stamps glyphs from the font table where glBitmap should put them.
#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace text_test {

// A GL context current on this thread from SetUp to TearDown; the test is
// skipped when no context can be made.
class GLTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    void* display = nullptr;
    void* context = nullptr;
};

// A width x height RGBA8 colour target cleared to transparent black; owns its
// texture and framebuffer while the context is current.
class Target {
public:
    Target(int width, int height);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    GLuint framebuffer() const { return fbo; }
    // One byte per pixel, rows bottom first: 1 where the red channel is set.
    std::vector<std::uint8_t> ink() const;
    // The RGBA bytes of pixel (x, y).
    std::vector<std::uint8_t> pixel(int x, int y) const;

    const int width;
    const int height;

private:
    GLuint texture = 0;
    GLuint fbo = 0;
};

// The ink mask a target should show: built on the CPU from the glyph records.
class Reference {
public:
    Reference(int width, int height);
    // Stamps the bytes of `line` from pen position (x, baseline) as the list
    // path draws them: bytes from 128 up have no list and codes without a
    // glyph take no space. Returns the pen position after the line.
    float line(const std::string& line, float x, int baseline);
    // Stamps one glyph, any code; returns the pen position after it.
    float glyph(int code, float x, int baseline);
    const std::vector<std::uint8_t>& ink() const { return mask; }

private:
    int width;
    int height;
    std::vector<std::uint8_t> mask;
};

// Rows of an ink mask as text ('#' ink, '.' none), top row first, for failure
// messages that show where the images differ.
std::string picture(const std::vector<std::uint8_t>& ink, int width);

}  // namespace text_test
