#include "BitmapFont.h"

namespace gpu::text {
namespace {
#include "Helvetica12Glyphs.inc"

constexpr std::int32_t glyphCount = sizeof(glyphTable) / sizeof(glyphTable[0]);
}  // namespace

const BitmapFont helvetica12 = {fontName, glyphCount, 32, glyphTable};

const Glyph* findGlyph(const BitmapFont& font, int code) {
    // Compare in 64 bits so that no code, however large, overflows.
    const std::int64_t index = std::int64_t{code} - font.first;
    if (index < 0 || index >= font.count) return nullptr;
    return font.glyphs[index];
}

}  // namespace gpu::text
