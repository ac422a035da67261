#include "gpu/SurfaceEntity.h"

#include <gtest/gtest.h>

#include <vector>

TEST(SurfaceEntity, CreateSetsPackedStrideAndGivesNoPixels) {
    gpu::Surface s;
    EXPECT_TRUE(s.create(3, 2, 16, 1));
    EXPECT_EQ(s.stride, 24u);
    EXPECT_EQ(s.flag, 1);
    EXPECT_EQ(s.pixels(), nullptr);
    EXPECT_FALSE(gpu::quantizeSurface(s, 9, 1, 0.0f, true, false));
}

TEST(SurfaceEntity, CopyReplacesBorrowedPixels) {
    std::vector<uint8_t> host(8, 7);
    std::vector<uint8_t> readback = {1, 2, 3, 4, 5, 6, 7, 8};
    gpu::Surface s;
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
    gpu::Surface s;
    s.assignShared(1, 1, 8, 4, pixels);
    pixels.reset();  // the texture uploads again or is released
    ASSERT_NE(s.pixels(), nullptr);
    EXPECT_EQ(s.pixels()[3], 6);
    EXPECT_EQ(s.pixelBytes(), 4u);
}

TEST(SurfaceEntity, OverflowingCopyFailsAndKeepsTheSurface) {
    std::vector<uint8_t> four(4, 1);
    gpu::Surface s;
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
        gpu::Surface s;
        s.assignExternal(2, 2, depth, 0, bytes.data());
        EXPECT_FALSE(gpu::quantizeSurface(s, 9, 1, 0.5f, true, false)) << depth;
    }
    gpu::Surface shortShared;
    shortShared.assignShared(4, 4, 8, 16, std::make_shared<std::vector<uint8_t>>(60));
    EXPECT_FALSE(gpu::quantizeSurface(shortShared, 9, 1, 0.5f, true, false));
    gpu::Surface narrow;
    narrow.assignExternal(4, 1, 16, 16, bytes.data());  // stride below 4 * 8
    EXPECT_FALSE(gpu::quantizeSurface(narrow, 9, 1, 0.5f, true, false));
    EXPECT_EQ(bytes, std::vector<uint8_t>(64, 200));
}

TEST(QuantizeEntity, QuantizesAn8BitSurfaceInPlace) {
    std::vector<uint8_t> px = {9, 250, 250, 250, 8, 5, 5, 5};
    gpu::Surface s;
    s.assignExternal(2, 1, 8, 0, px.data());
    EXPECT_TRUE(gpu::quantizeSurface(s, 1, 1, 0.5f, false, false));
    EXPECT_EQ(px, (std::vector<uint8_t>{9, 255, 255, 255, 8, 0, 0, 0}));
}

// Rows of 16-bit or float pixels must start on a whole channel: an odd
// stride is refused and the pixels are left as they are.
TEST(QuantizeEntity, StrideThatSplitsAChannelIsRefused) {
    for (uint32_t depth : {16u, 32u}) {
        const uint64_t stride = 1 * depth / 2 + 1;  // one pixel and one byte
        std::vector<uint8_t> px(2 * stride, 0x40);
        const std::vector<uint8_t> before = px;
        gpu::Surface s;
        s.assignExternal(1, 2, depth, stride, px.data());
        EXPECT_FALSE(gpu::quantizeSurface(s, 1, 1, 0.5f, false, false)) << depth;
        EXPECT_EQ(px, before) << depth;
    }
}
