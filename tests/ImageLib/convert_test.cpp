#include "ImageTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace imagetest;

namespace {

Img<Pixel32> onePixel(float a, float r, float g, float b) { return floatImage(1, 1, {{a, r, g, b}}); }

template <class P>
P convertOne(float a, float r, float g, float b, Kernel k) {
    Img<Pixel32> src = onePixel(a, r, g, b);
    Img<P> dst(1, 1);
    fromFloat(src, dst, k);
    return dst.row(0)[0];
}

class ConvertKernels : public ::testing::TestWithParam<Kernel> {};

}  // namespace

TEST_P(ConvertKernels, FromFloatTo16BitTruncatesAndSaturates) {
    const Pixel15 p = convertOne<Pixel15>(1.0f, 0.5f, 0.99999f, 0.0f, GetParam());
    EXPECT_EQ(p.alpha, 32767);  // 1.0 is written as 32767, not 32768
    EXPECT_EQ(p.red, 16384);
    EXPECT_EQ(p.green, 32767);  // 32767.67 truncates
    EXPECT_EQ(p.blue, 0);
    const Pixel15 q = convertOne<Pixel15>(-0.1f, 2.0f, std::nanf(""), 1e30f, GetParam());
    EXPECT_EQ(q.alpha, 0);  // negative values do not wrap above the host range
    EXPECT_EQ(q.red, 32767);
    EXPECT_EQ(q.green, 0);
    EXPECT_EQ(q.blue, 32767);
}

TEST_P(ConvertKernels, FromFloatTo8BitRoundsToEvenAndClamps) {
    const Pixel8 p = convertOne<Pixel8>(0.5f, 1.2f, -0.1f, 0.25f, GetParam());
    EXPECT_EQ(p.alpha, 128);  // 127.5 goes to the even 128
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 0);
    EXPECT_EQ(p.blue, 64);  // 63.75
    const Pixel8 q = convertOne<Pixel8>(std::nanf(""), 1e30f, -1e30f, 0.75f, GetParam());
    EXPECT_EQ(q.alpha, 0);
    EXPECT_EQ(q.red, 255);
    EXPECT_EQ(q.green, 0);
    EXPECT_EQ(q.blue, 191);  // 191.25
}

TEST_P(ConvertKernels, ToFloatEndsOfEachRange) {
    std::vector<Pixel8> b8 = {{255, 0, 128, 1}};
    Img<Pixel8> v8(1, 1, 0, b8.data());
    const Pixel32 f8 = toFloat(v8, GetParam()).row(0)[0];
    EXPECT_NEAR(f8.alpha, 1.0f, 1.2e-7f);
    EXPECT_EQ(f8.red, 0.0f);
    EXPECT_NEAR(f8.green, 128.0f / 255.0f, 1e-7f);
    EXPECT_NEAR(f8.blue, 1.0f / 255.0f, 1e-9f);

    std::vector<Pixel15> b16 = {{32768, 16384, 0, 1}};
    Img<Pixel15> v16(1, 1, 0, b16.data());
    const Pixel32 f16 = toFloat(v16, GetParam()).row(0)[0];
    EXPECT_EQ(f16.alpha, 1.0f);
    EXPECT_EQ(f16.red, 0.5f);
    EXPECT_EQ(f16.green, 0.0f);
    EXPECT_EQ(f16.blue, 1.0f / 32768.0f);
}

TEST_P(ConvertKernels, EightBitValuesSurviveTheRoundTrip) {
    std::vector<Pixel8> bytes(64);
    for (int i = 0; i < 256; ++i) reinterpret_cast<uint8_t*>(bytes.data())[i] = uint8_t(i);
    Img<Pixel8> view(64, 1, 0, bytes.data());
    Img<Pixel32> f = toFloat(view, GetParam());
    Img<Pixel8> back(64, 1);
    fromFloat(f, back, GetParam());
    EXPECT_TRUE(sameBytes(back.data, bytes.data(), 256));
}

TEST_P(ConvertKernels, GrayscaleUsesRec709WeightsAndKeepsAlpha) {
    Img<Pixel32> s = onePixel(0.5f, 1.0f, 0.0f, 0.0f);
    toGrayscale(s, GetParam());
    const Pixel32 p = s.row(0)[0];
    EXPECT_EQ(p.alpha, 0.5f);
    EXPECT_FLOAT_EQ(p.red, 0.2126f);
    EXPECT_FLOAT_EQ(p.green, 0.2126f);
    EXPECT_FLOAT_EQ(p.blue, 0.2126f);
}

TEST_P(ConvertKernels, ToRgba8ReordersAndPacks) {
    Img<Pixel32> s = floatImage(3, 1, {{1, 0, 0.5f, 1}, {0, 1, 0, 0}, {0.2f, 0.4f, 0.6f, 0.8f}});
    Img<Pixel8> out = toRgba8(s, GetParam());
    EXPECT_EQ(out.stride, 12u);
    const uint8_t expect[12] = {0, 128, 255, 255, 255, 0, 0, 0, 102, 153, 204, 51};
    EXPECT_TRUE(sameBytes(out.data, expect, 12));
}

TEST_P(ConvertKernels, ExpandHost16MapsOntoTheFullRange) {
    // Two pixels, then a padding value that must stay as it was.
    uint16_t src[12] = {0, 1, 16384, 16385, 32767, 32768, 8192, 40000, 0, 0, 0, 0};
    uint16_t dst[12];
    std::fill(std::begin(dst), std::end(dst), 0xABCD);
    expandHost16(src, dst, 2, 1, 24, GetParam());
    const uint16_t expect[8] = {0, 2, 32768, 32768, 65532, 65534, 16384, 65534};
    EXPECT_TRUE(sameBytes(dst, expect, 16));
    for (int i = 8; i < 12; ++i) EXPECT_EQ(dst[i], 0xABCD);
}

INSTANTIATE_TEST_SUITE_P(Kernels, ConvertKernels, ::testing::Values(Kernel::Vector, Kernel::Scalar),
                         [](const auto& info) { return info.param == Kernel::Vector ? "Vector" : "Scalar"; });

namespace {

// Runs fromFloat with both kernels into padded copies of one random buffer,
// checks they agree and that the padding past each row is untouched, and
// returns the vector result.
template <class P>
std::vector<uint8_t> fromFloatBothWays(const Img<Pixel32>& src, uint64_t stride, uint32_t seed) {
    const std::vector<uint8_t> original = randomBytes(stride * src.height, seed);
    std::vector<uint8_t> v = original, s = original;
    Img<P> dv(src.width, src.height, stride, v.data()), ds(src.width, src.height, stride, s.data());
    fromFloat(src, dv, Kernel::Vector);
    fromFloat(src, ds, Kernel::Scalar);
    EXPECT_EQ(v, s) << src.width;
    const uint64_t row = uint64_t(src.width) * sizeof(P);
    for (uint32_t y = 0; y < src.height; ++y)
        EXPECT_TRUE(sameBytes(v.data() + y * stride + row, original.data() + y * stride + row, stride - row));
    return v;
}

}  // namespace

// The vector and scalar kernels agree bit for bit on random images of odd
// widths, over padded rows; bytes past each row are not touched.
TEST(ConvertVectorVsScalar, AgreeOnRandomPaddedImages) {
    for (uint32_t width : {1u, 3u, 7u, 17u}) {
        const uint32_t height = 5;
        const uint64_t stride32 = width * 16 + 48;
        std::vector<float> floats = randomFloats(stride32 / 4 * height, width, -0.3f, 1.3f);
        floats[5] = std::nanf("");
        floats[6] = 1e20f;
        Img<Pixel32> fsrc(width, height, stride32, floats.data());

        const uint64_t stride8 = width * 4 + 12, stride16 = width * 8 + 8;
        std::vector<uint8_t> b8v = fromFloatBothWays<Pixel8>(fsrc, stride8, 1);
        std::vector<uint8_t> b16v = fromFloatBothWays<Pixel15>(fsrc, stride16, 2);

        Img<Pixel8> r8v = toRgba8(fsrc, Kernel::Vector), r8s = toRgba8(fsrc, Kernel::Scalar);
        EXPECT_TRUE(sameBytes(r8v.data, r8s.data, width * 4 * height)) << width;

        Img<Pixel32> gv = toFloat(fsrc), gs = toFloat(fsrc);
        toGrayscale(gv, Kernel::Vector);
        toGrayscale(gs, Kernel::Scalar);
        EXPECT_TRUE(sameBytes(gv.data, gs.data, width * 16 * height)) << width;

        Img<Pixel8> s8(width, height, stride8, b8v.data());
        Img<Pixel32> f8v = toFloat(s8, Kernel::Vector), f8s = toFloat(s8, Kernel::Scalar);
        EXPECT_TRUE(sameBytes(f8v.data, f8s.data, width * 16 * height)) << width;

        Img<Pixel15> s16(width, height, stride16, b16v.data());
        Img<Pixel32> f16v = toFloat(s16, Kernel::Vector), f16s = toFloat(s16, Kernel::Scalar);
        EXPECT_TRUE(sameBytes(f16v.data, f16s.data, width * 16 * height)) << width;

        std::vector<uint8_t> e16 = randomBytes(stride16 * height, 3);
        std::vector<uint8_t> ev(e16.size(), 0), es(e16.size(), 0);
        expandHost16(e16.data(), ev.data(), width, height, stride16, Kernel::Vector);
        expandHost16(e16.data(), es.data(), width, height, stride16, Kernel::Scalar);
        EXPECT_EQ(ev, es) << width;
    }
}

TEST(ConvertSizes, FloatCopyReadsOnlyRowsOfAWideStride) {
    std::vector<Pixel32> px = {{1, 2, 3, 4}, {9, 9, 9, 9}, {5, 6, 7, 8}, {9, 9, 9, 9}};
    Img<Pixel32> view(1, 2, 32, px.data());
    Img<Pixel32> copy = toFloat(view);
    EXPECT_EQ(copy.stride, 16u);
    EXPECT_EQ(copy.row(1)[0].alpha, 5.0f);
}

TEST(ConvertSizes, OverflowingSizesFailCleanly) {
    using Big = Img<Pixel32>;
    EXPECT_THROW(Big(0xFFFFFFFFu, 0xFFFFFFFFu), std::bad_alloc);
    EXPECT_THROW(expandHost16(reinterpret_cast<const void*>(16), 1, 0xFFFFFFFFu, ~uint64_t(0) / 2), std::bad_alloc);
}

TEST(ConvertSizes, EmptyImagesConvertToEmptyImages) {
    Img<Pixel8> none(0, 4, 0, nullptr);
    EXPECT_TRUE(toFloat(none).empty());
    Img<Pixel32> noData;
    EXPECT_TRUE(toRgba8(noData).empty());
    toGrayscale(noData);  // does nothing
    EXPECT_EQ(expandHost16(nullptr, 4, 4, 32), nullptr);
}
