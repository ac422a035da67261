// The bitmap font of the text overlay: constant glyph records in the layout
// glBitmap takes them. The data is process-wide, read-only and safe to read
// from any thread; nothing here calls GL or can fail.
#pragma once

#include <cstdint>

namespace gpu::text {

struct Glyph {
    std::int32_t width;   // bitmap width in pixels
    std::int32_t height;  // bitmap height in rows
    float xOrigin;        // the bitmap's lower left corner lands at the
    float yOrigin;        // raster position minus this origin
    float advance;        // raster position moves this far right afterwards
    // Rows bottom first, each padded to whole bytes, most significant bit
    // leftmost: (width + 7) / 8 * height bytes.
    const std::uint8_t* bitmap;
};

struct BitmapFont {
    const char* name;            // X11 logical font name
    std::int32_t count;          // entries in glyphs
    std::int32_t first;          // code of glyphs[0]
    const Glyph* const* glyphs;  // null where the font has no glyph
};

// 12-pixel Helvetica, ISO 8859-1: codes 32 to 255, none for 127 to 159.
extern const BitmapFont helvetica12;

// The glyph for a code, or null when the code is outside the font or has no
// glyph. Any int is a valid argument.
const Glyph* findGlyph(const BitmapFont& font, int code);

}  // namespace gpu::text
