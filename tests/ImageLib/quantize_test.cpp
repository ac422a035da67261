#include "ImageLib/Quantize.h"
#include "ImageTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace imagetest;

namespace {

bool isBlack(const Pixel32& p) { return p.red == 0.0f && p.green == 0.0f && p.blue == 0.0f; }
bool isWhite(const Pixel32& p) { return p.red == 1.0f && p.green == 1.0f && p.blue == 1.0f; }

// Row of B and W letters for a threshold-quantized float image.
std::string bw(const Img<Pixel32>& s, uint32_t y) {
    std::string out;
    for (uint32_t x = 0; x < s.width; ++x) out += isBlack(s.row(y)[x]) ? 'B' : isWhite(s.row(y)[x]) ? 'W' : '?';
    return out;
}

class QuantizeKernelsBoth : public ::testing::TestWithParam<Kernel> {};

}  // namespace

TEST_P(QuantizeKernelsBoth, ThresholdTieGoesToBlackAfterGrayscale) {
    Img<Pixel32> probe = floatImage(1, 1, {{1, 0.3f, 0.6f, 0.9f}});
    toGrayscale(probe);
    const float luma = probe.row(0)[0].red;

    Img<Pixel32> tie = floatImage(1, 1, {{0.7f, 0.3f, 0.6f, 0.9f}});
    ASSERT_TRUE(quantizeSurface(tie, 1, 1, luma, false, false, GetParam()));
    EXPECT_TRUE(isBlack(tie.row(0)[0]));
    EXPECT_EQ(tie.row(0)[0].alpha, 0.7f);

    Img<Pixel32> above = floatImage(1, 1, {{0.7f, 0.3f, 0.6f, 0.9f}});
    quantizeSurface(above, 1, 1, std::nextafter(luma, 0.0f), false, false, GetParam());
    EXPECT_TRUE(isWhite(above.row(0)[0]));
}

TEST_P(QuantizeKernelsBoth, UnknownDitherOrPaletteOnlyGreys) {
    const std::vector<uint8_t> original = {200, 10, 120, 250, 255, 90, 30, 60};
    for (auto [palette, dither] :
         {std::pair{9, 2}, {9, 12}, {9, 0}, {9, 16}, {9, -7}, {8, 1}, {0, 1}, {22, 3}, {-3, 14}}) {
        std::vector<uint8_t> bytes = original;
        Img<Pixel8> s(2, 1, 0, bytes.data());
        quantizeSurface(s, palette, dither, 0.5f, false, false, GetParam());
        EXPECT_EQ(bytes, original) << palette << " " << dither;

        quantizeSurface(s, palette, dither, 0.5f, true, false, GetParam());
        for (int i = 0; i < 2; ++i) {
            const Pixel8 p = s.row(0)[i];
            EXPECT_EQ(p.alpha, original[4 * i]);
            EXPECT_EQ(p.red, p.green);
            EXPECT_EQ(p.red, p.blue);
        }
        // 0.2126 * 10 + 0.7152 * 120 + 0.0722 * 250 = 106.0
        EXPECT_EQ(s.row(0)[0].red, 106);
    }
}

// Floyd-Steinberg on a 3x2 image, threshold 0.5. Row 0 leaves an error of
// 0.3 at its last pixel: 3/16 to (1,1) and 5/16 to (2,1). Running row 1 right
// to left, (2,1) = 0.39375 stays black and pushes 7/16 of its error left,
// lifting (1,1) to 0.5285 (white); left to right, (1,1) stays at 0.4875 and
// (2,1) reaches 0.607 instead.
TEST_P(QuantizeKernelsBoth, SerpentineRunsOddRowsRightToLeft) {
    const std::vector<Pixel32> px = {grey(0), grey(0), grey(0.3f), grey(0.3f), grey(0.3f), grey(0.3f)};
    Img<Pixel32> serp = floatImage(3, 2, px);
    quantizeSurface(serp, 1, 3, 0.5f, false, true, GetParam());
    EXPECT_EQ(bw(serp, 0), "BBB");
    EXPECT_EQ(bw(serp, 1), "BWB");

    Img<Pixel32> plain = floatImage(3, 2, px);
    quantizeSurface(plain, 1, 3, 0.5f, false, false, GetParam());
    EXPECT_EQ(bw(plain, 1), "BBW");
}

// The error of the last column must not reach the first pixel of the next
// row, and the last row passes nothing below the image: the view's padding
// and the row after it keep their sentinel values.
TEST_P(QuantizeKernelsBoth, ErrorNeverLeavesTheImage) {
    const float sentinel = 7.0f;
    std::vector<Pixel32> buffer(3 * 3, Pixel32{sentinel, sentinel, sentinel, sentinel});
    buffer[0] = grey(0.0f);
    buffer[1] = grey(0.45f);  // error 0.45: 3/16 down-left, 5/16 down
    buffer[3] = grey(0.3f);   // 0.384 correct, 0.581 if 7/16 wrapped here
    buffer[4] = grey(0.1f);
    Img<Pixel32> view(2, 2, 3 * sizeof(Pixel32), buffer.data());
    for (int dither : {3, 4, 5, 6, 7, 8, 9, 10, 11}) {
        std::vector<Pixel32> copy = buffer;
        Img<Pixel32> v(2, 2, 3 * sizeof(Pixel32), copy.data());
        quantizeSurface(v, 1, dither, 0.5f, false, dither % 2 == 0, GetParam());
        for (int i : {2, 5, 6, 7, 8}) EXPECT_EQ(copy[i].red, sentinel) << dither << " " << i;
    }
    quantizeSurface(view, 1, 3, 0.5f, false, false, GetParam());
    EXPECT_EQ(bw(view, 0), "BB");
    EXPECT_EQ(bw(view, 1), "BB");
}

TEST_P(QuantizeKernelsBoth, AlphaIsWrittenBackFromTheSurface) {
    std::vector<Pixel15> p16 = {{32768, 32768, 0, 100}, {16384, 0, 0, 0}};
    Img<Pixel15> s16(2, 1, 0, p16.data());
    quantizeSurface(s16, 9, 1, 0.0f, false, false, GetParam());
    EXPECT_EQ(p16[0].alpha, 32767);
    EXPECT_EQ(p16[1].alpha, 16384);
    EXPECT_EQ(p16[0].red, 32767);  // palette white comes back as 32767

    std::vector<uint8_t> p8(256 * 4);
    for (int i = 0; i < 256; ++i) p8[4 * i] = uint8_t(i), p8[4 * i + 1] = uint8_t(255 - i);
    Img<Pixel8> s8(256, 1, 0, p8.data());
    quantizeSurface(s8, 14, 3, 0.0f, false, true, GetParam());
    for (int i = 0; i < 256; ++i) EXPECT_EQ(p8[4 * i], i);
}

// Palette 14 is 000000 00AAAA AA00AA AAAAAA. (k/2, k/2, k) with k = 0xAA is
// equally near the last three; the earliest, 00AAAA, wins.
TEST_P(QuantizeKernelsBoth, EqualDistancesTakeTheEarlierEntry) {
    const Palette pal = fixedPalette(14);
    ASSERT_EQ(pal.count, 4u);
    const float k = pal.colors[3].red;
    Img<Pixel32> s = floatImage(1, 1, {{1, k / 2, k / 2, k}});
    quantizeSurface(s, 14, 1, 0.0f, false, false, GetParam());
    const Pixel32 p = s.row(0)[0];
    EXPECT_EQ(p.red, 0.0f);
    EXPECT_EQ(p.green, k);
    EXPECT_EQ(p.blue, k);
}

// No entry comes within 1e6 of a far-out or NaN colour: it takes the entry
// of the pixel before it, or entry 0 as the first pixel.
TEST_P(QuantizeKernelsBoth, FarColoursTakeThePreviousChoice) {
    const Palette pal = fixedPalette(14);
    Img<Pixel32> s = floatImage(3, 1, {{1, std::nanf(""), 0, 0}, grey(0.7f), {1, 2000, 0, 0}});
    quantizeSurface(s, 14, 1, 0.0f, false, false, GetParam());
    EXPECT_TRUE(isBlack(s.row(0)[0]));                  // entry 0
    EXPECT_EQ(s.row(0)[1].red, pal.colors[3].red);      // AAAAAA
    EXPECT_EQ(s.row(0)[2].green, pal.colors[3].green);  // the same again
}

// Every fixed palette colour, as an 8-bit pixel, is its own nearest entry.
TEST_P(QuantizeKernelsBoth, FixedPaletteColoursMapToThemselves) {
    for (int palette = 9; palette <= 21; ++palette) {
        const Palette pal = fixedPalette(palette);
        ASSERT_TRUE(pal.count == 4 || pal.count == 8 || pal.count == 16) << palette;
        std::vector<Pixel8> px(pal.count);
        for (uint32_t i = 0; i < pal.count; ++i) {
            const Pixel32& c = pal.colors[i];
            EXPECT_NEAR(c.alpha, 1.0f, 1.2e-7f);
            px[i] = {255, uint8_t(std::lround(c.red * 255)), uint8_t(std::lround(c.green * 255)),
                     uint8_t(std::lround(c.blue * 255))};
        }
        const std::vector<Pixel8> original = px;
        Img<Pixel8> s(pal.count, 1, 0, px.data());
        quantizeSurface(s, palette, 1, 0.0f, false, false, GetParam());
        EXPECT_TRUE(sameBytes(px.data(), original.data(), px.size() * 4)) << palette;
    }
    EXPECT_EQ(fixedPalette(8).count, 0u);
    EXPECT_EQ(fixedPalette(22).count, 0u);
}

// Matrix 2x2 over 4 times 0.2 (the threshold palette's strength): a grey of
// 0.44 becomes 0.49 0.59 / 0.64 0.54 against the threshold 0.5.
TEST_P(QuantizeKernelsBoth, OrderedThresholdUsesFixedStrength) {
    Img<Pixel32> s = floatImage(2, 2, {grey(0.44f), grey(0.44f), grey(0.44f), grey(0.44f)});
    quantizeSurface(s, 1, 13, 0.5f, false, false, GetParam());
    EXPECT_EQ(bw(s, 0), "BW");
    EXPECT_EQ(bw(s, 1), "WW");
}

TEST_P(QuantizeKernelsBoth, OrderedWithAmountZeroIsPlain) {
    for (int palette : {3, 9, 20}) {
        for (int dither : {13, 14, 15}) {
            std::vector<uint8_t> a = randomBytes(9 * 7 * 4, 5), b = a;
            Img<Pixel8> sa(9, 7, 0, a.data()), sb(9, 7, 0, b.data());
            quantizeSurface(sa, palette, dither, 0.0f, false, false, GetParam());
            quantizeSurface(sb, palette, 1, 0.0f, false, false, GetParam());
            EXPECT_EQ(a, b) << palette << " " << dither;
        }
    }
}

TEST_P(QuantizeKernelsBoth, AdaptivePaletteKeepsFewColoursExactly) {
    std::vector<uint8_t> px = {255, 10, 200, 30, 128, 240, 16, 96, 255, 10, 200, 30, 0, 240, 16, 96};
    const std::vector<uint8_t> original = px;
    Img<Pixel8> s(2, 2, 0, px.data());
    quantizeSurface(s, 2, 1, 0.0f, false, false, GetParam());
    EXPECT_EQ(px, original);
}

INSTANTIATE_TEST_SUITE_P(Kernels, QuantizeKernelsBoth, ::testing::Values(Kernel::Vector, Kernel::Scalar),
                         [](const auto& info) { return info.param == Kernel::Vector ? "Vector" : "Scalar"; });

TEST(QuantizeVectorVsScalar, AgreeForEveryPaletteAndDither) {
    for (uint32_t width : {1u, 5u, 11u}) {
        const uint64_t stride = width * 4 + 8;
        const std::vector<uint8_t> original = randomBytes(stride * 6, width);
        for (int palette : {1, 2, 4, 7, 9, 10, 13, 17, 21}) {
            for (int dither : {1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15}) {
                std::vector<uint8_t> a = original, b = original;
                Img<Pixel8> sa(width, 6, stride, a.data()), sb(width, 6, stride, b.data());
                quantizeSurface(sa, palette, dither, 0.4f, palette == 9, true, Kernel::Vector);
                quantizeSurface(sb, palette, dither, 0.4f, palette == 9, true, Kernel::Scalar);
                ASSERT_EQ(a, b) << width << " " << palette << " " << dither;
            }
        }
    }
}

namespace {

// The diffusion kernels as plain integer tables, with a direct transcription
// of the diffusion loop, to check each kernel of the library against.
struct RefKernel {
    int w, h, div;
    std::vector<int> v;
};
const RefKernel kRefKernels[9] = {
    {3, 2, 16, {0, 1, 7, 3, 5, 1}},
    {5, 3, 48, {0, 0, 1, 7, 5, 3, 5, 7, 5, 3, 1, 3, 5, 3, 1}},
    {5, 3, 42, {0, 0, 1, 8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1}},
    {4, 3, 8, {0, 1, 1, 1, 1, 1, 1, 0, 0, 1, 0, 0}},
    {5, 2, 32, {0, 0, 1, 8, 4, 2, 4, 8, 4, 2}},
    {5, 3, 32, {0, 0, 1, 5, 3, 2, 4, 5, 4, 2, 0, 2, 3, 2, 0}},
    {5, 2, 16, {0, 0, 1, 4, 3, 1, 2, 3, 2, 1}},
    {3, 2, 4, {0, 1, 2, 1, 1, 0}},
    {7, 4, 200, {0, 0, 0, 1, 0, 32, 0, 12, 0, 26, 0, 30, 0, 16, 0, 12, 0, 26, 0, 12, 0, 5, 0, 12, 0, 12, 0, 5}},
};

void referenceDiffusion(std::vector<Pixel32>& img, int W, int H, const RefKernel& k, const Palette& pal,
                        bool serpentine) {
    int m = 0;
    while (k.v[m] == 0) ++m;
    for (int y = 0; y < H; ++y) {
        const bool rev = serpentine && (y & 1);
        for (int i = 0; i < W; ++i) {
            const int x = rev ? W - 1 - i : i;
            Pixel32& p = img[y * W + x];
            const Pixel32 c = p;
            float best = 1e6f;
            int idx = 0;
            for (uint32_t e = 0; e < pal.count; ++e) {
                const Pixel32& q = pal.colors[e];
                const float da = q.alpha - c.alpha, dr = q.red - c.red, dg = q.green - c.green, db = q.blue - c.blue;
                const float d = (da * da + dr * dr) + (dg * dg + db * db);
                if (d < best) best = d, idx = int(e);
            }
            const Pixel32 q = pal.colors[idx];
            p = q;
            for (int r = 0; r < k.h && y + r < H; ++r)
                for (int kc = r == 0 ? m + 1 : 0; kc < k.w; ++kc) {
                    const int n = k.v[r * k.w + kc];
                    if (n == 0 || i + kc - m < 0 || i + kc - m >= W) continue;
                    const float wt = float(n) / float(k.div);
                    Pixel32& t = img[(y + r) * W + x + (kc - m) * (rev ? -1 : 1)];
                    t.alpha += (c.alpha - q.alpha) * wt;
                    t.red += (c.red - q.red) * wt;
                    t.green += (c.green - q.green) * wt;
                    t.blue += (c.blue - q.blue) * wt;
                }
        }
    }
}

}  // namespace

TEST(QuantizeKernels, EachKernelMatchesItsTable) {
    const int W = 9, H = 5;
    const std::vector<float> f = randomFloats(W * H * 4, 11, 0.0f, 1.0f);
    const Palette pal = fixedPalette(14);
    for (int d = 3; d <= 11; ++d) {
        for (bool serpentine : {false, true}) {
            std::vector<Pixel32> ref(W * H);
            std::memcpy(ref.data(), f.data(), f.size() * 4);
            for (auto& p : ref) p.alpha = 1.0f;
            Img<Pixel32> img = floatImage(W, H, ref);
            referenceDiffusion(ref, W, H, kRefKernels[d - 3], pal, serpentine);
            quantizeImage(img, 14, d - 1, 0.0f, serpentine);
            for (int i = 0; i < W * H; ++i)
                ASSERT_EQ(img.row(i / W)[i % W].red, ref[i].red) << d << " " << serpentine << " " << i;
        }
    }
}

// Atkinson passes 1/8 of the error to the next pixel and drops a quarter in
// all. Under threshold 0.5 a first pixel of 0.48 stays black and gives 0.06
// to its neighbour: 0.45 becomes 0.51 (white), 0.40 becomes 0.46 (black),
// where Floyd-Steinberg's 7/16 would lift 0.40 to 0.61.
TEST(QuantizeKernels, AtkinsonSpreadsOneEighthPerNeighbour) {
    Img<Pixel32> s = floatImage(2, 1, {grey(0.48f), grey(0.45f)});
    quantizeSurface(s, 1, 6, 0.5f, false, false);
    EXPECT_EQ(bw(s, 0), "BW");
    Img<Pixel32> t = floatImage(2, 1, {grey(0.48f), grey(0.40f)});
    quantizeSurface(t, 1, 6, 0.5f, false, false);
    EXPECT_EQ(bw(t, 0), "BB");
    Img<Pixel32> fs = floatImage(2, 1, {grey(0.48f), grey(0.40f)});
    quantizeSurface(fs, 1, 3, 0.5f, false, false);
    EXPECT_EQ(bw(fs, 0), "BW");
}
