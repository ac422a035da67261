#include "ImageLib/Octree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <tuple>
#include <vector>

using namespace ImageLib;

namespace {

struct Built {
    OctreeQuantizer q;
    explicit Built(const std::vector<uint8_t>& rgba, uint32_t limit) {
        buildOctreePalette(q, rgba.data(), uint32_t(rgba.size() / 4), 1, limit);
    }
    ~Built() { releaseOctreePalette(q); }
};

std::vector<uint8_t> repeat(std::vector<uint8_t> rgba, int times) {
    std::vector<uint8_t> out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), rgba.begin(), rgba.end());
    return out;
}

void expectColour(const Pixel32& p, double r, double g, double b) {
    EXPECT_EQ(p.alpha, 1.0f);
    EXPECT_NEAR(p.red, r / 255.0, 1e-7);
    EXPECT_NEAR(p.green, g / 255.0, 1e-7);
    EXPECT_NEAR(p.blue, b / 255.0, 1e-7);
}

}  // namespace

TEST(Octree, SingleColourGivesOneEntryAtAnyLimit) {
    for (uint32_t limit : {8u, 16u, 256u}) {
        Built b(repeat({200, 100, 51, 7}, 15), limit);
        ASSERT_EQ(b.q.paletteCount, 1u);
        expectColour(b.q.palette[0], 200, 100, 51);
    }
}

TEST(Octree, ColoursDifferingInBitZeroShareALeaf) {
    Built b({10, 20, 30, 255, 11, 21, 31, 0, 100, 20, 30, 255}, 8);
    ASSERT_EQ(b.q.paletteCount, 2u);
    std::set<std::tuple<float, float, float>> got;
    for (uint32_t i = 0; i < 2; ++i) got.insert({b.q.palette[i].red, b.q.palette[i].green, b.q.palette[i].blue});
    EXPECT_EQ(got.count({float(10.5 / 255), float(20.5 / 255), float(30.5 / 255)}), 1u);
    EXPECT_EQ(got.count({float(100.0 / 255), float(20.0 / 255), float(30.0 / 255)}), 1u);
}

TEST(Octree, ManyColoursReduceToExactlyTheLimit) {
    std::mt19937 rng(3);
    std::vector<uint8_t> rgba(4 * 5000);
    for (auto& v : rgba) v = uint8_t(rng());
    for (uint32_t limit : {8u, 16u, 32u, 64u, 128u, 256u}) {
        Built b(rgba, limit);
        EXPECT_EQ(b.q.paletteCount, limit);
    }
}

TEST(Octree, EmptyImageGivesEmptyPalette) {
    OctreeQuantizer q;
    buildOctreePalette(q, nullptr, 0, 0, 8);
    EXPECT_EQ(q.paletteCount, 0u);
    releaseOctreePalette(q);
    buildOctreePalette(q, reinterpret_cast<const uint8_t*>("abcd"), 1, 0, 8);
    EXPECT_EQ(q.paletteCount, 0u);
    releaseOctreePalette(q);
}

namespace {

struct Pixels {
    std::vector<uint8_t> rgba;
    void add(uint8_t r, uint8_t g, uint8_t b, int n) {
        for (int i = 0; i < n; ++i) rgba.insert(rgba.end(), {r, g, b, 255});
    }
    // Six colours of 512 pixels in six other top-level branches (key 4).
    void addOthers() {
        for (auto c : {std::tuple{200, 200, 200}, {200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {200, 200, 0}, {0, 200, 200}})
            add(uint8_t(std::get<0>(c)), uint8_t(std::get<1>(c)), uint8_t(std::get<2>(c)), 512);
    }
};

bool hasColour(const OctreeQuantizer& q, double r, double g, double b) {
    for (uint32_t i = 0; i < q.paletteCount; ++i)
        if (std::abs(q.palette[i].red - r / 255) < 1e-6 && std::abs(q.palette[i].green - g / 255) < 1e-6 &&
            std::abs(q.palette[i].blue - b / 255) < 1e-6)
            return true;
    return false;
}

}  // namespace

// Leaves are keyed by count >> 7. Under one depth-6 parent: (0,0,0) x 1024
// (key 8), (0,0,2) x 128 (key 1), (0,2,0) x 256 (key 2); six more leaves of
// key 4 elsewhere. Limit 8 needs two folds: the key-1 leaf first, then the
// key-2 one; the parent holds both, 384 pixels averaging (0, 512/384, 256/384).
TEST(Octree, LightestLeavesFoldFirst) {
    Pixels p;
    p.add(0, 0, 0, 1024);
    p.add(0, 0, 2, 128);
    p.add(0, 2, 0, 256);
    p.addOthers();
    Built b(p.rgba, 8);
    ASSERT_EQ(b.q.paletteCount, 8u);
    EXPECT_TRUE(hasColour(b.q, 0, 0, 0));
    EXPECT_TRUE(hasColour(b.q, 0, 512.0 / 384, 256.0 / 384));
}

// Equal keys do not pass each other. Inserted after the six key-4 leaves:
// X (0,2,0) x 128, then Y (2,0,0) x 128, then Z (0,0,2) x 1, all under one
// parent. Y overtakes X while it is light and stays above it once their keys
// are equal (1); Z rises to the top. Reducing to 8: Z folds into the parent,
// then Y, the higher of the tied pair (slot 1, X in slot 2), joins it, so X
// survives on its own and the parent averages Z and Y over 129 pixels.
TEST(Octree, EqualKeysFoldTheHigherLeafFirst) {
    Pixels p;
    p.addOthers();
    p.add(0, 2, 0, 128);
    p.add(2, 0, 0, 128);
    p.add(0, 0, 2, 1);
    Built b(p.rgba, 8);
    ASSERT_EQ(b.q.paletteCount, 8u);
    EXPECT_TRUE(hasColour(b.q, 0, 2, 0));
    EXPECT_FALSE(hasColour(b.q, 2, 0, 0));
    EXPECT_TRUE(hasColour(b.q, 256.0 / 129, 0, 2.0 / 129));
}

TEST(Octree, ReleaseAllowsAFreshBuild) {
    OctreeQuantizer q;
    const std::vector<uint8_t> a = {1, 2, 3, 4};
    buildOctreePalette(q, a.data(), 1, 1, 8);
    releaseOctreePalette(q);
    EXPECT_EQ(q.leaves, nullptr);
    EXPECT_EQ(q.heap, nullptr);
    EXPECT_EQ(q.inner, nullptr);
    buildOctreePalette(q, a.data(), 1, 1, 8);
    EXPECT_EQ(q.paletteCount, 1u);
    releaseOctreePalette(q);
}

namespace {

// Palettes (colours and order) of larger images, recorded before the tree
// and heap were reworked for speed: a smooth gradient with noise (leaf
// counts well past 128, so keys change while pixels go in), full-range noise
// and a few heavy colours among light ones.
std::vector<uint8_t> testImage(int kind, uint32_t n) {
    std::mt19937 rng(uint32_t(kind) + 40);
    std::vector<uint8_t> rgba(4 * n);
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* p = &rgba[4 * i];
        const uint32_t x = i % 320, y = i / 320;
        if (kind == 0) {
            p[0] = uint8_t(x * 255 / 319 + rng() % 9), p[1] = uint8_t(y * 2 + rng() % 5), p[2] = uint8_t((x + y) / 3);
        } else if (kind == 1) {
            p[0] = uint8_t(rng()), p[1] = uint8_t(rng()), p[2] = uint8_t(rng());
        } else {
            const uint32_t c = rng() % 16 < 12 ? rng() % 5 : rng();
            p[0] = uint8_t(c * 37), p[1] = uint8_t(c * 91 >> 2), p[2] = uint8_t(c * 13);
        }
    }
    return rgba;
}

constexpr uint64_t kPaletteDigests[3] = {
#include "octree_golden.inc"
};

}  // namespace

TEST(Octree, LargeImagePalettesAreUnchanged) {
    for (int kind = 0; kind < 3; ++kind) {
        const std::vector<uint8_t> rgba = testImage(kind, 320 * 240);
        uint64_t h = 0xcbf29ce484222325ull;
        for (uint32_t limit : {8u, 16u, 32u, 64u, 128u, 256u}) {
            Built b(rgba, limit);
            const auto* bytes = reinterpret_cast<const uint8_t*>(b.q.palette);
            for (size_t i = 0; i < b.q.paletteCount * sizeof(Pixel32); ++i) h = (h ^ bytes[i]) * 0x100000001b3ull;
            h = (h ^ b.q.paletteCount) * 0x100000001b3ull;
        }
        EXPECT_EQ(h, kPaletteDigests[kind]) << "kind " << kind << ": 0x" << std::hex << h;
    }
}
