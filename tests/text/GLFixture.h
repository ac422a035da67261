// Test support for the text overlay: the engine's headless OpenGL context
// made current for one test, the engine's render targets to draw into, and a
// CPU reference that stamps glyphs from the font table where glBitmap should
// put them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gpu/OpenGLContext.h"
#include "gpu/Texture.h"

namespace text_test {

class GLTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;  // also checks that no GL error is pending

    gpu::OpenGLContext gl;
};

// A width x height target cleared to transparent black; depth 8 or 32.
gpu::RenderTarget makeTarget(int width, int height, std::uint32_t depth = 8);

// One value per channel of every pixel, scaled to 0..1, rows bottom first.
std::vector<float> readPixels(gpu::RenderTarget& target);

// One byte per pixel, rows bottom first: 1 where the first channel is set.
std::vector<std::uint8_t> ink(gpu::RenderTarget& target);

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
