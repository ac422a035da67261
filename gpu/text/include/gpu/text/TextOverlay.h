// Text overlay: draws text in the built-in bitmap font (BitmapFont.h) with the
// fixed-function raster path, one display list per character code below 128.
// The render path uses it to show shader compile errors in the output frame.
//
// Context: every call needs the module's OpenGL context (a compatibility
// profile) current on the calling thread, with GLEW initialised. Nothing here
// locks: callers hold the GL lock, which the entry lock serialises.
// Errors: none are reported. Bytes without a glyph draw nothing and take no
// space, and so do bytes from 128 up, which have no list; a null text is empty.
// Ownership: a TextOverlay owns the 128 display lists it makes on its first
// draw and deletes them in release() or its destructor, which must run while
// the same context is current (before the context is destroyed). Keep one
// per context, living as long as the GL objects of the engine's entities.
// GL state: drawGlyph saves and restores the six pixel-unpack parameters and
// moves the raster position by the glyph's advance. drawText also sets the
// list base and the raster position. drawOverlayText leaves the given
// framebuffer bound to GL_FRAMEBUFFER, the viewport on the whole target, the
// projection matrix an orthographic pixel grid, the modelview matrix the
// identity (and the matrix mode GL_MODELVIEW), no program in use, texture
// unit 0 active with no 2D texture bound, and the current colour opaque white.
#pragma once

#include <cstdint>

namespace gpu::text {

// Draws one glyph at the raster position with glBitmap and advances it; a
// code outside 32..255, or one without a glyph, does nothing.
void drawGlyph(int code);

class TextOverlay {
public:
    TextOverlay() = default;  // makes no GL call
    ~TextOverlay();
    TextOverlay(const TextOverlay&) = delete;
    TextOverlay& operator=(const TextOverlay&) = delete;

    // Draws zero-terminated text into the framebuffer bound now, in rows of
    // 16 pixels counted from y = maxLines * 16 down. With maxLines below 2 the
    // whole text goes on one row at (5, 4) and newlines draw nothing.
    // Otherwise every line ended by a newline takes a row (a run of newlines
    // ends one line), the first with its baseline at maxLines * 16 - 12, and
    // drawing stops after maxLines rows; a last line without a newline is
    // drawn too. Lines start at x = 5 and end at the first glyph that would
    // land wholly right of x = width: what lies past it is not drawn.
    void drawText(const char* text, std::int32_t maxLines, std::uint32_t width = UINT32_MAX);

    // The render path's error display: binds `framebuffer` (width x height
    // pixels), sets up a pixel-grid projection, unbinds programs and
    // textures, and draws the text in opaque white with height / 16 rows.
    // An empty target (width or height 0) gets the binding and nothing else.
    void drawOverlayText(const char* text, std::uint32_t framebuffer, std::uint32_t width, std::uint32_t height);

    // First of the 128 display lists, or 0 before they are made.
    std::uint32_t listBase() const { return base; }

    // Deletes the display lists now; the next draw makes them again.
    void release();

private:
    bool makeLists();

    std::uint32_t base = 0;
};

}  // namespace gpu::text
