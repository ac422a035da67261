#include "gpu/text/TextOverlay.h"

#include <GL/glew.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

#include "BitmapFont.h"

namespace gpu::text {
namespace {

// Display lists exist for codes 0..127; lists 0..31 and 127 are empty.
constexpr GLsizei listCount = 128;
constexpr GLint lineHeight = 16;
constexpr GLint leftMargin = 5;
constexpr GLint bottomMargin = 4;

// The six pixel-unpack parameters glBitmap reads, in enum order
// (swap bytes, LSB first, row length, skip rows, skip pixels, alignment).
constexpr GLenum unpackParameters[] = {
    GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST,   GL_UNPACK_ROW_LENGTH,
    GL_UNPACK_SKIP_ROWS,  GL_UNPACK_SKIP_PIXELS, GL_UNPACK_ALIGNMENT,
};

// The furthest left of its raster position that any glyph with a list puts
// its bitmap.
float maxLeftReach() {
    float reach = 0.0f;
    for (int code = 0; code < listCount; ++code) {
        if (const Glyph* glyph = findGlyph(helvetica12, code)) reach = std::max(reach, glyph->xOrigin);
    }
    return reach;
}

// The end of the part of [begin, end) that starts left of `width`, for a
// line drawn from x = leftMargin: the glyphs after it would land wholly past
// the right edge, where each would still cost a bitmap draw.
const char* visibleEnd(const char* begin, const char* end, std::uint32_t width) {
    static const float reach = maxLeftReach();
    // One pixel more than the exact bound, for the rounding of the bitmap's
    // position.
    const double edge = double(width) + 1.0;
    float x = leftMargin;
    for (const char* p = begin; p != end; ++p) {
        const auto code = static_cast<unsigned char>(*p);
        const Glyph* glyph = code < listCount ? findGlyph(helvetica12, code) : nullptr;
        if (glyph == nullptr) continue;
        if (x - reach >= edge) return p;
        x += glyph->advance;
    }
    return end;
}

// Calls the lists for the bytes [begin, end) that have one. Bytes from 128 up
// are left out rather than passed to glCallLists, where they would name lists
// beyond the 128 made here. The bytes go in bounded chunks, so no count
// overflows GLsizei however long the text is.
void callLists(const char* begin, const char* end) {
    unsigned char chunk[1024];
    std::size_t used = 0;
    const auto flush = [&] {
        if (used > 0) glCallLists(static_cast<GLsizei>(used), GL_UNSIGNED_BYTE, chunk);
        used = 0;
    };
    for (const char* p = begin; p != end; ++p) {
        const auto code = static_cast<unsigned char>(*p);
        if (code < listCount) chunk[used++] = code;
        if (used == sizeof chunk) flush();
    }
    flush();
}

// One line at x = leftMargin on baseline y, up to the right edge at `width`.
// A baseline beyond GLint lies above every possible viewport, so such a line
// is not drawn at all.
void drawLine(const char* begin, const char* end, std::int64_t y, std::uint32_t width) {
    if (y > INT_MAX) return;
    glRasterPos2i(leftMargin, static_cast<GLint>(y));
    callLists(begin, visibleEnd(begin, end, width));
}

GLint clampToGLint(std::uint32_t value) { return value > INT_MAX ? INT_MAX : static_cast<GLint>(value); }

}  // namespace

void drawGlyph(int code) {
    const Glyph* glyph = findGlyph(helvetica12, code);
    if (glyph == nullptr) return;
    GLint saved[6];
    for (int i = 0; i < 6; ++i) glGetIntegerv(unpackParameters[i], &saved[i]);
    for (int i = 0; i < 5; ++i) glPixelStorei(unpackParameters[i], 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBitmap(glyph->width, glyph->height, glyph->xOrigin, glyph->yOrigin, glyph->advance, 0.0f, glyph->bitmap);
    for (int i = 0; i < 6; ++i) glPixelStorei(unpackParameters[i], saved[i]);
}

TextOverlay::~TextOverlay() { release(); }

void TextOverlay::release() {
    if (base != 0) glDeleteLists(base, listCount);
    base = 0;
}

bool TextOverlay::makeLists() {
    if (base != 0) return true;
    base = glGenLists(listCount);
    if (base == 0) return false;
    for (GLsizei i = 0; i < listCount; ++i) {
        glNewList(base + i, GL_COMPILE);
        drawGlyph(i);
        glEndList();
    }
    return true;
}

void TextOverlay::drawText(const char* text, std::int32_t maxLines, std::uint32_t width) {
    if (!makeLists() || text == nullptr) return;
    glListBase(base);
    if (maxLines < 2) {
        drawLine(text, text + std::strlen(text), bottomMargin, width);
        return;
    }
    // Baselines go down from the top row; 64 bits keep maxLines * 16 exact.
    std::int64_t y = std::int64_t{maxLines} * lineHeight + bottomMargin;
    std::int32_t linesLeft = maxLines;
    const char* lineStart = text;
    const char* p = text;
    while (*p != '\0' && linesLeft > 0) {
        if (*p != '\n') {
            ++p;
            continue;
        }
        y -= lineHeight;
        drawLine(lineStart, p, y, width);
        --linesLeft;
        while (*p == '\n') ++p;
        lineStart = p;
    }
    if (linesLeft > 0 && p != lineStart) drawLine(lineStart, p, y - lineHeight, width);
}

void TextOverlay::drawOverlayText(const char* text, std::uint32_t framebuffer, std::uint32_t width,
                                  std::uint32_t height) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, clampToGLint(width), clampToGLint(height));
    // glOrtho rejects an empty range, and an empty target shows nothing.
    if (width == 0 || height == 0) return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawText(text, static_cast<std::int32_t>(height / lineHeight), width);
}

}  // namespace gpu::text
