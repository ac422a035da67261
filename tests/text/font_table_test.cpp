#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "gpu/text/BitmapFont.h"

using gpu::text::findGlyph;
using gpu::text::Glyph;
using gpu::text::helvetica12;

namespace {

TEST(FontTable, DescribesTheX11FontFromCode32) {
    EXPECT_STREQ(helvetica12.name, "-adobe-helvetica-medium-r-normal--12-120-75-75-p-67-iso8859-1");
    EXPECT_EQ(helvetica12.count, 224);
    EXPECT_EQ(helvetica12.first, 32);
}

TEST(FontTable, HasGlyphsExceptFor127To159) {
    int present = 0, tallest = 0;
    for (int code = 32; code < 256; ++code) {
        const Glyph* glyph = findGlyph(helvetica12, code);
        EXPECT_EQ(glyph == nullptr, code >= 127 && code <= 159) << "code " << code;
        if (glyph == nullptr) continue;
        ++present;
        tallest = std::max(tallest, glyph->height);
        EXPECT_NE(glyph->bitmap, nullptr) << "code " << code;
    }
    EXPECT_EQ(present, 191);
    EXPECT_EQ(tallest, 13);
}

TEST(FontTable, SampleRowsMatchTheFont) {
    struct Row {
        int code, width, height;
        float xOrigin, yOrigin, advance;
    };
    const Row rows[] = {
        {' ', 1, 1, 0, 0, 4},
        {'A', 7, 9, -1, 0, 9},
        {'g', 5, 10, -1, 3, 7},
        {'~', 6, 2, 0, -3, 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<char>(row.code));
        const Glyph* glyph = findGlyph(helvetica12, row.code);
        ASSERT_NE(glyph, nullptr);
        EXPECT_EQ(glyph->width, row.width);
        EXPECT_EQ(glyph->height, row.height);
        EXPECT_EQ(glyph->xOrigin, row.xOrigin);
        EXPECT_EQ(glyph->yOrigin, row.yOrigin);
        EXPECT_EQ(glyph->advance, row.advance);
    }
}

int bitsInRow(const Glyph& glyph, int row) {
    int bits = 0;
    for (int col = 0; col < glyph.width; ++col)
        bits += (glyph.bitmap[row * ((glyph.width + 7) / 8) + col / 8] >> (7 - col % 8)) & 1;
    return bits;
}

TEST(FontTable, BitmapsAreStoredBottomRowFirst) {
    // 'A' stands on two feet and ends in a single apex pixel.
    const Glyph& a = *findGlyph(helvetica12, 'A');
    EXPECT_EQ(bitsInRow(a, 0), 2);
    EXPECT_EQ(bitsInRow(a, a.height - 1), 1);
    // '!' has its dot at the bottom, then a gap.
    const Glyph& bang = *findGlyph(helvetica12, '!');
    EXPECT_EQ(bitsInRow(bang, 0), 1);
    EXPECT_EQ(bitsInRow(bang, 1), 0);
}

TEST(FontTable, CodesOutsideTheTableHaveNoGlyph) {
    for (int code : {INT_MIN, -1, 0, 31, 256, 100000, INT_MAX})
        EXPECT_EQ(findGlyph(helvetica12, code), nullptr) << "code " << code;
}

bool haveCommand(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The committed table is what the generator makes from the installed font.
TEST(FontTable, CommittedTableIsTheGeneratorsOutput) {
    const std::string font = "/usr/share/fonts/X11/75dpi/helvR12-ISO8859-1.pcf.gz";
    if (!haveCommand("python3") || !haveCommand("pcf2bdf") || access(font.c_str(), R_OK) != 0)
        GTEST_SKIP() << "python3, pcf2bdf or the X11 font is not installed";
    const std::string source = LUMIVEX_SOURCE_DIR;
    const std::string output = testing::TempDir() + "fontgen_" + std::to_string(getpid()) + ".inc";
    const std::string command =
        "python3 '" + source + "/tools/fontgen/fontgen.py' --pcf '" + font + "' --output '" + output + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string generated = readFile(output);
    std::remove(output.c_str());
    EXPECT_FALSE(generated.empty());
    EXPECT_TRUE(generated == readFile(source + "/gpu/text/Helvetica12Glyphs.inc"))
        << "regenerate with: python3 tools/fontgen/fontgen.py";
}

}  // namespace
