#include "ImageLib/Quantize.h"
#include "ImageLib/SurfaceEntity.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SurfaceEntity, CreateSetsPackedStrideAndGivesNoPixels) {
    Surface s;
    EXPECT_TRUE(s.create(3, 2, 16, 1));
    EXPECT_EQ(s.stride, 24u);
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(s.pixels(), nullptr);
    EXPECT_FALSE(ImageLib::quantizeSurface(s, 9, 1, 0.0f, true, false));
}

TEST(SurfaceEntity, CopyReplacesBorrowedPixels) {
    std::vector<uint8_t> host(8, 7);
    std::vector<uint8_t> readback = {1, 2, 3, 4, 5, 6, 7, 8};
    Surface s;
    s.assignExternal(2, 1, 8, 8, host.data());
    EXPECT_EQ(s.pixels(), host.data());
    EXPECT_TRUE(s.assignCopy(1, 2, 8, readback.data()));
    ASSERT_NE(s.pixels(), nullptr);
    EXPECT_NE(s.pixels(), readback.data());
    EXPECT_EQ(s.stride, 4u);
    EXPECT_EQ(std::vector<uint8_t>(s.pixels(), s.pixels() + 8), readback);
}

TEST(SurfaceEntity, SharedPixelsOutliveTheirFirstOwner) {
    auto pixels = std::make_shared<std::vector<uint8_t>>(std::vector<uint8_t>{9, 8, 7, 6});
    Surface s;
    s.assignShared(1, 1, 8, 4, pixels);
    pixels.reset();  // the texture uploads again or is released
    ASSERT_NE(s.pixels(), nullptr);
    EXPECT_EQ(s.pixels()[3], 6);
    EXPECT_EQ(s.pixelBytes(), 4u);
}

TEST(SurfaceEntity, OverflowingCopyFailsAndKeepsTheSurface) {
    std::vector<uint8_t> four(4, 1);
    Surface s;
    ASSERT_TRUE(s.assignCopy(1, 1, 8, four.data()));
    EXPECT_FALSE(s.assignCopy(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, four.data()));
    EXPECT_EQ(s.width, 1u);
    EXPECT_EQ(s.buffer.size(), 4u);
}

// Depths from a script other than 8, 16 and 32, and pixels shorter than the
// size claims, are refused without touching memory.
TEST(SurfaceEntity, QuantizeRefusesOddDepthsAndShortPixels) {
    std::vector<uint8_t> bytes(64, 200);
    for (uint32_t depth : {0u, 1u, 4u, 7u, 12u, 24u, 64u, 0xFFFFFFFFu}) {
        Surface s;
        s.assignExternal(2, 2, depth, 0, bytes.data());
        EXPECT_FALSE(ImageLib::quantizeSurface(s, 9, 1, 0.5f, true, false)) << depth;
    }
    Surface shortShared;
    shortShared.assignShared(4, 4, 8, 16, std::make_shared<std::vector<uint8_t>>(60));
    EXPECT_FALSE(ImageLib::quantizeSurface(shortShared, 9, 1, 0.5f, true, false));
    Surface narrow;
    narrow.assignExternal(4, 1, 16, 16, bytes.data());  // stride below 4 * 8
    EXPECT_FALSE(ImageLib::quantizeSurface(narrow, 9, 1, 0.5f, true, false));
    EXPECT_EQ(bytes, std::vector<uint8_t>(64, 200));
}
