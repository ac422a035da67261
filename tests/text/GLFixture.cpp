#include "tests/text/GLFixture.h"

#include <GL/glew.h>

#include <cmath>

#include "gpu/text/BitmapFont.h"

namespace text_test {

void GLTest::SetUp() {
    ASSERT_EQ(gl.create(), 0u);
    ASSERT_EQ(gl.makeCurrent(), 0u);
    gpu::initGLExtensions();
}

void GLTest::TearDown() {
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    gl.destroy();
}

gpu::RenderTarget makeTarget(int width, int height, std::uint32_t depth) {
    gpu::RenderTarget target;
    EXPECT_TRUE(target.createTarget(width, height, depth));
    return target;
}

std::vector<float> readPixels(gpu::RenderTarget& target) {
    const size_t count = size_t{target.width()} * target.height() * 4;
    std::vector<float> values(count);
    const void* mapped = target.beginReadback();
    EXPECT_NE(mapped, nullptr);
    for (size_t i = 0; mapped != nullptr && i < count; ++i) {
        values[i] = target.depth() == 32 ? static_cast<const float*>(mapped)[i]
                                         : static_cast<const std::uint8_t*>(mapped)[i] / 255.0f;
    }
    target.endReadback();
    return values;
}

std::vector<std::uint8_t> ink(gpu::RenderTarget& target) {
    const std::vector<float> values = readPixels(target);
    std::vector<std::uint8_t> mask(values.size() / 4);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = values[i * 4] != 0;
    return mask;
}

Reference::Reference(int width, int height) : width(width), height(height), mask(static_cast<size_t>(width) * height) {}

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
            if (set && px >= 0 && px < width && py >= 0 && py < height) mask[static_cast<size_t>(py) * width + px] = 1;
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
