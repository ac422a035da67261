#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gpu/text/BitmapFont.h"
#include "gpu/text/TextOverlay.h"
#include "tests/text/GLFixture.h"

using gpu::text::drawGlyph;
using gpu::text::TextOverlay;
using text_test::GLTest;
using text_test::ink;
using text_test::makeTarget;
using text_test::picture;
using text_test::readPixels;
using text_test::Reference;

namespace {

// Draws into `target` with a pixel-grid projection, as the overlay sets up.
void bindPixelGrid(gpu::RenderTarget& target) {
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebufferName());
    glViewport(0, 0, target.width(), target.height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, target.width(), 0, target.height(), -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
}

float rasterX() {
    GLfloat position[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
    return position[0];
}

void expectInk(gpu::RenderTarget& target, const Reference& expected) {
    EXPECT_EQ(picture(ink(target), target.width()), picture(expected.ink(), target.width()));
}

// The overlay drawn into a fresh target, compared with lines stamped from the
// font table at the given baselines.
using Lines = std::vector<std::pair<std::string, int>>;
void expectOverlay(const std::string& text, int width, int height, const Lines& lines) {
    SCOPED_TRACE(::testing::Message() << "height " << height << ", text \"" << text << "\"");
    gpu::RenderTarget target = makeTarget(width, height);
    TextOverlay overlay;
    overlay.drawOverlayText(text.c_str(), target.framebufferName(), width, height);
    Reference expected(width, height);
    for (const auto& [line, baseline] : lines) expected.line(line, 5, baseline);
    expectInk(target, expected);
}

using DrawGlyph = GLTest;

TEST_F(DrawGlyph, PutsTheBitmapAtTheRasterPositionAndAdvances) {
    gpu::RenderTarget target = makeTarget(40, 24);
    bindPixelGrid(target);
    Reference expected(40, 24);
    float x = 3;
    glRasterPos2i(3, 8);
    for (unsigned char code : std::string("gA~\xe9")) {
        drawGlyph(code);
        x = expected.glyph(code, x, 8);
        EXPECT_FLOAT_EQ(rasterX(), x);
    }
    expectInk(target, expected);
}

TEST_F(DrawGlyph, IgnoresAndRestoresThePixelUnpackState) {
    const std::pair<GLenum, GLint> unusual[] = {
        {GL_UNPACK_SWAP_BYTES, 1}, {GL_UNPACK_LSB_FIRST, 1},   {GL_UNPACK_ROW_LENGTH, 7},
        {GL_UNPACK_SKIP_ROWS, 2},  {GL_UNPACK_SKIP_PIXELS, 3}, {GL_UNPACK_ALIGNMENT, 8},
    };
    gpu::RenderTarget target = makeTarget(24, 24);
    bindPixelGrid(target);
    for (const auto& [name, value] : unusual) glPixelStorei(name, value);
    glRasterPos2i(4, 4);
    drawGlyph('A');
    Reference expected(24, 24);
    expected.glyph('A', 4, 4);
    expectInk(target, expected);
    for (const auto& [name, value] : unusual) {
        GLint now = -1;
        glGetIntegerv(name, &now);
        EXPECT_EQ(now, value) << "parameter 0x" << std::hex << name;
    }
}

TEST_F(DrawGlyph, CodesWithoutAGlyphDrawNothingAndTakeNoSpace) {
    gpu::RenderTarget target = makeTarget(16, 16);
    bindPixelGrid(target);
    glRasterPos2i(4, 4);
    for (int code : {-1, 0, 10, 31, 127, 128, 159, 256, 100000}) {
        drawGlyph(code);
        EXPECT_FLOAT_EQ(rasterX(), 4) << "code " << code;
    }
    expectInk(target, Reference(16, 16));
}

using Overlay = GLTest;

TEST_F(Overlay, DrawsOpaqueWhiteWhateverProgramTextureAndColourWereSet) {
    const char* vertex = "void main() { gl_Position = ftransform(); }";
    const char* fragment = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 0.5); }";
    GLuint program = glCreateProgram();
    for (auto [type, source] : {std::pair{GL_VERTEX_SHADER, vertex}, {GL_FRAGMENT_SHADER, fragment}}) {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    glUseProgram(program);
    glActiveTexture(GL_TEXTURE3);
    glColor4f(0, 0, 1, 1);

    // The engine's output targets are 8-bit or float.
    for (std::uint32_t depth : {8u, 32u}) {
        SCOPED_TRACE(depth);
        gpu::RenderTarget target = makeTarget(64, 32, depth);
        TextOverlay overlay;
        overlay.drawOverlayText("Il\n", target.framebufferName(), 64, 32);

        GLint value = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &value);
        EXPECT_EQ(static_cast<GLuint>(value), target.framebufferName());
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 64, 32}));
        glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
        EXPECT_EQ(value, GL_TEXTURE0);

        Reference expected(64, 32);
        expected.line("Il", 5, 20);
        const std::vector<float> pixels = readPixels(target);
        for (size_t i = 0; i < expected.ink().size(); ++i) {
            const std::vector<float> rgba(pixels.begin() + i * 4, pixels.begin() + i * 4 + 4);
            EXPECT_EQ(rgba, std::vector<float>(4, expected.ink()[i] ? 1.0f : 0.0f)) << "pixel " << i;
        }
        glUseProgram(program);
        glActiveTexture(GL_TEXTURE3);
        glColor4f(0, 0, 1, 1);
    }
    glDeleteProgram(program);
}

TEST_F(Overlay, LaysOutLinesFromTheTop) {
    // Two rows: the first baseline at 2 * 16 - 12, the next 16 lower.
    expectOverlay("1\n2\n3\n", 40, 32, {{"1", 20}, {"2", 4}});
    // A run of newlines is one line break.
    expectOverlay("a\n\n\nb\n", 40, 64, {{"a", 52}, {"b", 36}});
    // A leading newline ends an empty first line.
    expectOverlay("\nx\n", 40, 64, {{"x", 36}});
    // A last line without its newline is drawn as well.
    expectOverlay("one\ntwo", 40, 64, {{"one", 52}, {"two", 36}});
    // Below two rows everything goes on one row at (5, 4); newlines vanish.
    expectOverlay("Shader \"s\"\nbad\n", 120, 24, {{"Shader \"s\"bad", 4}});
    expectOverlay("a\nb\n", 40, 15, {{"ab", 4}});
}

TEST_F(Overlay, TenEightyRowsHoldSixtySevenLines) {
    std::string text;
    Lines lines;
    for (int i = 0; i < 70; ++i) {
        text += std::to_string(i) + ":\n";
        if (i < 67) lines.emplace_back(std::to_string(i) + ":", 1060 - 16 * i);
    }
    EXPECT_EQ(lines.back().second, 4);
    expectOverlay(text, 32, 1080, lines);
}

TEST_F(Overlay, BytesWithoutAListDrawNothingAndTakeNoSpace) {
    expectOverlay(
        "A\x01\x1f\x7f\x80\x9f\xa0\xe9\xff"
        "B\n",
        40, 32, {{"AB", 20}});
    {
        // Lists that someone else made right after the overlay's 128 are not
        // called by bytes from 128 up.
        gpu::RenderTarget target = makeTarget(40, 32);
        bindPixelGrid(target);
        TextOverlay overlay;
        overlay.drawText("", 2);
        const std::vector<GLubyte> block(8, 0xff);
        for (GLuint code = 128; code < 256; ++code) {
            glNewList(overlay.listBase() + code, GL_COMPILE);
            glBitmap(8, 8, 0, 0, 8, 0, block.data());
            glEndList();
        }
        overlay.drawText("\x80\xc1\xff\n", 2);
        glDeleteLists(overlay.listBase() + 128, 128);
        expectInk(target, Reference(40, 32));
    }
    std::string everyByte;
    for (int code = 1; code < 256; ++code) everyByte += static_cast<char>(code);
    expectOverlay(everyByte, 800, 24, {{everyByte, 4}});
}

TEST_F(Overlay, LongLinesAndHugeRowCountsAreSafe) {
    // More than one chunk of bytes that take no space, then visible text.
    const std::string filler(5000, '\x85');
    expectOverlay(filler + std::string(3000, '\x02') + "AB\n", 40, 32, {{"AB", 20}});
    expectOverlay(std::string(300'000, 'W'), 64, 24, {{std::string(20, 'W'), 4}});

    gpu::RenderTarget target = makeTarget(64, 64);
    bindPixelGrid(target);
    TextOverlay overlay;
    // 0x10000001 rows put the first baseline far above any viewport; a
    // 32-bit product would wrap around to a visible row.
    overlay.drawText("X\n", 0x10000001);
    overlay.drawText(std::string(100000, '\n').append("X\n").c_str(), INT32_MAX);
    overlay.drawText(nullptr, 4);
    expectInk(target, Reference(64, 64));
}

TEST_F(Overlay, StopsDrawingEachLineAtTheRightEdge) {
    // Glyphs past the edge would cost a bitmap draw each: the raster position
    // ends just past the edge, not 300,000 advances on.
    const float advance = gpu::text::findGlyph(gpu::text::helvetica12, 'W')->advance;
    gpu::RenderTarget target = makeTarget(64, 48);
    TextOverlay overlay;
    const std::string line(300'000, 'W');
    overlay.drawOverlayText(line.c_str(), target.framebufferName(), 64, 20);
    EXPECT_LT(rasterX(), 64 + 3 * advance);
    overlay.drawOverlayText((line + "\n" + line).c_str(), target.framebufferName(), 64, 48);
    EXPECT_LT(rasterX(), 64 + 3 * advance);
    // Without a width the whole line is drawn.
    bindPixelGrid(target);
    overlay.drawText(std::string(1000, 'W').c_str(), 1);
    EXPECT_GT(rasterX(), 999 * advance);
}

TEST_F(Overlay, MakesTheDisplayListsOnceAndDeletesThem) {
    gpu::RenderTarget target = makeTarget(16, 16);
    bindPixelGrid(target);
    GLuint base = 0;
    {
        TextOverlay overlay;
        EXPECT_EQ(overlay.listBase(), 0u);
        overlay.drawText("a\n", 4);
        base = overlay.listBase();
        ASSERT_NE(base, 0u);
        for (GLuint i = 0; i < 128; ++i) EXPECT_TRUE(glIsList(base + i)) << i;
        EXPECT_FALSE(glIsList(base + 128));
        overlay.drawText("b\n", 4);
        EXPECT_EQ(overlay.listBase(), base);

        overlay.release();
        EXPECT_EQ(overlay.listBase(), 0u);
        EXPECT_FALSE(glIsList(base));
        overlay.drawText("c\n", 4);
        base = overlay.listBase();
        EXPECT_TRUE(glIsList(base));
    }
    for (GLuint i = 0; i < 128; ++i) EXPECT_FALSE(glIsList(base + i)) << i;
}

TEST_F(Overlay, EmptyTargetDrawsNothingWithoutAGLError) {
    TextOverlay overlay;
    overlay.drawOverlayText("text\n", 0, 0, 0);
    overlay.drawOverlayText("text\n", 0, 16, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
