// The stand-in host's building blocks on their own: handles, the suite
// registry, worlds and the registration parser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "hostsim/Error.h"
#include "hostsim/Handles.h"
#include "hostsim/Registration.h"
#include "hostsim/Suites.h"
#include "hostsim/World.h"

using namespace hostsim;

TEST(HandleTable, BlocksAreZeroedTrackedAndFreedOnce) {
    HandleTable table;
    HandleTable::Handle h = table.create(16, "test");
    ASSERT_NE(h, nullptr);
    auto* bytes = static_cast<uint8_t*>(table.lock(h));
    ASSERT_EQ(bytes, *h);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], 0);
    table.unlock(h);
    EXPECT_EQ(table.size(h), 16u);
    EXPECT_EQ(table.liveCount(), 1u);
    EXPECT_EQ(table.leaks(), std::vector<std::string>{"test (16 bytes)"});
    table.dispose(h);
    EXPECT_EQ(table.liveCount(), 0u);
    EXPECT_EQ(table.badCalls(), 0u);
    // A second dispose and a lock of the dead handle are counted, not crashes.
    table.dispose(h);
    EXPECT_EQ(table.lock(h), nullptr);
    EXPECT_EQ(table.badCalls(), 2u);
}

TEST(HandleTable, ResizeKeepsContentsAndRefusesLockedBlocks) {
    HandleTable table;
    HandleTable::Handle h = table.create(2, "test");
    static_cast<uint8_t*>(*h)[1] = 9;
    ASSERT_TRUE(table.resize(h, 8));
    EXPECT_EQ(static_cast<uint8_t*>(*h)[1], 9);
    EXPECT_EQ(static_cast<uint8_t*>(*h)[7], 0);
    table.lock(h);
    EXPECT_FALSE(table.resize(h, 4));
    EXPECT_EQ(table.create(uint64_t(1) << 40, "huge"), nullptr);
}

TEST(SuiteRegistry, CountsPerNameAndVersionAndMissingSwitch) {
    SuiteRegistry suites;
    int table3 = 0, table2 = 0;
    suites.add("Utils", 3, &table3);
    suites.add("Utils", 2, &table2);
    const void* got = nullptr;
    EXPECT_EQ(suites.acquire("Utils", 3, &got), 0);
    EXPECT_EQ(got, &table3);
    EXPECT_EQ(suites.acquire("Utils", 2, &got), 0);
    EXPECT_EQ(got, &table2);
    EXPECT_EQ(suites.outstanding().size(), 2u);
    EXPECT_EQ(suites.release("Utils", 3), 0);
    EXPECT_EQ(suites.acquired("Utils", 3), 1);
    EXPECT_EQ(suites.released("Utils", 3), 1);
    EXPECT_EQ(suites.outstanding(), std::vector<std::string>{"Utils v2 (held 1)"});

    suites.setMissing("Utils", 3);
    EXPECT_EQ(suites.acquire("Utils", 3, &got), kSPSuiteNotFoundError);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(suites.acquire("Utils", 2, &got), 0);
    suites.setMissing("Utils");
    EXPECT_NE(suites.acquire("Utils", 2, &got), 0);
    EXPECT_NE(suites.acquire("Other", 1, &got), 0);
    EXPECT_EQ(suites.failedAcquisitions("Utils", 3), 1);
    EXPECT_EQ(suites.failedAcquisitions("Other", 1), 1);

    // Releasing more often than acquired is counted and refused.
    EXPECT_NE(suites.release("Utils", 3), 0);
    EXPECT_EQ(suites.unmatchedReleases(), 1);
}

TEST(World, DepthsUseTheHostRangesAndChannelOrders) {
    Image image(2, 1);
    const float px[8] = {1.0f, 0.5f, 0.0f, 1.0f, 0.25f, 0.0f, 1.0f, 0.5f};
    std::copy(px, px + 8, image.rgba.begin());

    World w16(2, 1, 16, ChannelOrder::ARGB, 0x36316561, 8);
    w16.fill(image);
    EXPECT_EQ(w16.def.rowbytes, 2 * 8 + 8);
    EXPECT_EQ(w16.def.world_flags & PF_WorldFlag_DEEP, int(PF_WorldFlag_DEEP));
    const auto* p16 = static_cast<const uint16_t*>(w16.def.data);
    EXPECT_EQ(p16[0], 32768);  // alpha first, full is 32768
    EXPECT_EQ(p16[1], 32768);  // red
    EXPECT_EQ(p16[2], 16384);
    EXPECT_EQ(p16[3], 0);

    World bgra(2, 1, 8, ChannelOrder::BGRA, 0x62677261);
    bgra.fill(image);
    const auto* p8 = static_cast<const uint8_t*>(bgra.def.data);
    EXPECT_EQ(p8[0], 0);    // blue
    EXPECT_EQ(p8[1], 128);  // green
    EXPECT_EQ(p8[2], 255);  // red
    EXPECT_EQ(p8[3], 255);  // alpha

    World f32(2, 1, 32, ChannelOrder::ARGB, 0x32336561);
    Image bright = image;
    bright.rgba[0] = 4.0f;  // float keeps values above 1
    f32.fill(bright);
    EXPECT_FLOAT_EQ(f32.toImage().rgba[0], 4.0f);
    EXPECT_FLOAT_EQ(f32.toImage().rgba[5], 0.0f);

    EXPECT_THROW(World(2, 2, 12, ChannelOrder::ARGB, 0), Error);
    EXPECT_THROW(w16.fill(Image(3, 1)), Error);
}

TEST(World, EightBitSamplesRoundAsLroundDoesAndReadBack) {
    // Values on and beside every rounding tie, and the out-of-range ones.
    std::vector<float> values = {NAN, -1.0f, -0.0f, 2.0f, INFINITY, -INFINITY, 0.49999997f / 255.0f};
    for (int k = 0; k < 255; ++k) {
        const float tie = (float(k) + 0.5f) / 255.0f;
        values.insert(values.end(), {tie, std::nextafter(tie, 0.0f), std::nextafter(tie, 1.0f)});
    }
    while (values.size() % 4) values.push_back(0.0f);
    Image image(uint32_t(values.size() / 4), 1);
    std::copy(values.begin(), values.end(), image.rgba.begin());
    for (ChannelOrder order : {ChannelOrder::ARGB, ChannelOrder::BGRA}) {
        World w(image.width, 1, 8, order, 0);
        w.fill(image);
        const Image back = w.toImage();
        static const int kArgb[4] = {1, 2, 3, 0}, kBgra[4] = {2, 1, 0, 3};
        const int* slot = order == ChannelOrder::ARGB ? kArgb : kBgra;
        const auto* bytes = static_cast<const uint8_t*>(w.def.data);
        for (size_t i = 0; i < values.size(); ++i) {
            const uint8_t want = uint8_t(std::lround(std::clamp(values[i], 0.0f, 1.0f) * 255.0f));
            ASSERT_EQ(bytes[i / 4 * 4 + slot[i % 4]], want) << "value " << values[i];
            ASSERT_EQ(back.rgba[i], want / 255.0f) << i;
        }
        // The same bytes as an 8-bit picture fill the world alike and read
        // back unchanged into 8-bit storage.
        Image eight = Image::eightBit(image.width, 1);
        for (size_t i = 0; i < values.size(); ++i) eight.rgba8[i] = bytes[i / 4 * 4 + slot[i % 4]];
        World w2(image.width, 1, 8, order, 0);
        w2.fill(eight);
        ASSERT_EQ(std::memcmp(w2.def.data, w.def.data, values.size()), 0);
        Image again = Image::eightBit(1, 1);
        w.toImage(again);
        EXPECT_EQ(again.rgba8, eight.rgba8);
        EXPECT_EQ(again.width, image.width);
        EXPECT_EQ(asFloat(eight).rgba, back.rgba);
    }
    // Deeper worlds read back as floats, whatever the storage.
    World deep(image.width, 1, 16, ChannelOrder::ARGB, 0);
    deep.fill(image);
    Image storage = Image::eightBit(image.width, 1);
    deep.toImage(storage);
    EXPECT_FALSE(storage.isEightBit());
    EXPECT_EQ(storage.rgba.size(), values.size());
}

TEST(World, FillRectIsClippedToTheWorld) {
    World w(3, 2, 8, ChannelOrder::ARGB, 0x62677261, 4);
    w.fillRect(PF_Pixel{255, 10, 20, 30}, PF_Rect{-5, 1, 2, 9});
    Image out = w.toImage();
    EXPECT_FLOAT_EQ(out.pixel(0, 1)[0], 10 / 255.0f);
    EXPECT_FLOAT_EQ(out.pixel(1, 1)[3], 1.0f);
    EXPECT_FLOAT_EQ(out.pixel(2, 1)[3], 0.0f);
    EXPECT_FLOAT_EQ(out.pixel(0, 0)[3], 0.0f);
}

TEST(World, PixelFormatDepths) {
    EXPECT_EQ(depthOfPixelFormat(0x62677261), 8u);
    EXPECT_EQ(depthOfPixelFormat(0x61726742), 16u);
    EXPECT_EQ(depthOfPixelFormat(0x36316561), 16u);
    EXPECT_EQ(depthOfPixelFormat(0x62675258), 32u);
    EXPECT_EQ(depthOfPixelFormat(0x32336561), 32u);
    EXPECT_EQ(depthOfPixelFormat(0x66646162), 0u);
}

namespace {
std::vector<uint8_t> property(const char* key, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> p = {'M',
                              'I',
                              'B',
                              '8',
                              uint8_t(key[3]),
                              uint8_t(key[2]),
                              uint8_t(key[1]),
                              uint8_t(key[0]),
                              0,
                              0,
                              0,
                              0,
                              uint8_t(data.size()),
                              0,
                              0,
                              0};
    for (uint8_t b : data) p.push_back(b);
    while (p.size() % 4) p.push_back(0);
    return p;
}
std::vector<uint8_t> list(uint8_t count, std::initializer_list<std::vector<uint8_t>> props) {
    std::vector<uint8_t> out = {1, 0, 0, 0, 0, 0, count, 0, 0, 0};
    for (const auto& p : props) out.insert(out.end(), p.begin(), p.end());
    return out;
}
}  // namespace

TEST(Registration, DecodesTheProperties) {
    Registration r =
        parseRegistration(list(5, {property("kind", {'T', 'K', 'F', 'e'}), property("name", {3, 'A', 'b', 'c'}),
                                   property("8664", {'E', 'P', 0}), property("eSVR", {13, 0, 2, 0}),
                                   property("eVER", {0x00, 0x06, 0x09, 0x00})}));
    EXPECT_EQ(r.kind, fourCC("eFKT"));
    EXPECT_EQ(r.name, "Abc");
    EXPECT_EQ(r.entryPoint, "EP");
    EXPECT_EQ(r.apiMajor, 13);
    EXPECT_EQ(r.apiMinor, 2);
    EXPECT_EQ(r.version, 0x00090600u);
    EXPECT_EQ(versionText(r.version), "1.2.0 release build 0");
    EXPECT_EQ(fourCCText(r.kind), "eFKT");
}

TEST(Registration, DamagedListsAreErrorsNamingTheFault) {
    auto message = [](const std::vector<uint8_t>& bytes) {
        try {
            parseRegistration(bytes);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message({1, 0, 0}), "registration resource is shorter than its header");
    EXPECT_EQ(message({2, 0, 0, 0, 0, 0, 0, 0, 0, 0}), "registration resource has version 2, expected 1");
    EXPECT_EQ(message(list(2, {property("kind", {'T', 'K', 'F', 'e'})})),
              "registration resource ends inside property 2 of 2");
    std::vector<uint8_t> longData = list(1, {property("name", {9, 'A'})});
    EXPECT_EQ(message(longData), "registration property 'name' has a string longer than its data");
    EXPECT_EQ(message(list(1, {property("8664", {'E', 'P'})})), "registration property '8664' is not zero-terminated");
    std::vector<uint8_t> overlong = list(1, {property("kind", {'T', 'K', 'F', 'e'})});
    overlong[10 + 12] = 200;  // data length past the end
    EXPECT_EQ(message(overlong), "registration property 'kind' claims 200 bytes past the end of the resource");
}
