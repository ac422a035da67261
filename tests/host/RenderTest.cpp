#include <gtest/gtest.h>

#include <cstring>

#include "ImageLib/Surface.h"
#include "host/Handlers.h"
#include "host/SequenceData.h"
#include "tests/host/FakeHost.h"
#include "tests/host/FakePlugin.h"

namespace {

class RenderTest : public ::testing::Test {
protected:
    explicit RenderTest(bool premiere = false) : host(premiere) {}
    FakeHost host;
    FakePlugin& fx = fakePlugin();

    void setUpSequence() {
        ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
        host.in.sequence_data = host.out.sequence_data;
        host.out = PF_OutData{};
    }
    // Renders with input as params[0].
    PF_Err render(TestWorld& input, TestWorld& output) {
        host.addWorld(input);
        host.addWorld(output);
        host.values[0].u.ld = input.def;
        std::vector<PF_ParamDef*> params = host.paramList();
        return host.call(PF_Cmd_RENDER, params.data(), &output.def);
    }
    // A readback of w x h pixels of 16-bit channels, rows bottom-up; each
    // channel value is given.
    void readback16(const std::vector<uint16_t>& channels) {
        fx.readback.resize(channels.size() * 2);
        std::memcpy(fx.readback.data(), channels.data(), fx.readback.size());
    }
    static uint16_t channel16(TestWorld& w, int x, int y, int c) {
        uint16_t v;
        std::memcpy(&v, w.row(y) + (x * 4 + c) * 2, 2);
        return v;
    }
};

class EditingRenderTest : public RenderTest {
protected:
    EditingRenderTest() : RenderTest(true) {}
    // Frame data as frame setup makes it.
    void setFrameSize(uint32_t w, uint32_t h) {
        host.out.width = static_cast<A_long>(w);
        host.out.height = static_cast<A_long>(h);
        fx.outWidth = w;
        fx.outHeight = h;
        ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    }
};

}  // namespace

TEST(Narrowing, SixteenBitReadbackLandsInTheHostRange) {
    EXPECT_EQ(ImageLib::narrowToHost16(65535), 32768);
    EXPECT_EQ(ImageLib::narrowToHost16(65534), 32768);
    EXPECT_EQ(ImageLib::narrowToHost16(32769), 16385);
    EXPECT_EQ(ImageLib::narrowToHost16(32768), 16384);
    EXPECT_EQ(ImageLib::narrowToHost16(1), 0);
    EXPECT_EQ(ImageLib::narrowToHost16(0), 0);
}

TEST(PixelFormats, DepthFollowsTheFormatCode) {
    for (uint32_t f : {0x62677261u, 0x62677278u, 0x61726762u}) EXPECT_EQ(host::depthOfPixelFormat(f), 8u);
    for (uint32_t f : {0x62677241u, 0x62677258u, 0x61726742u, 0x36316561u}) EXPECT_EQ(host::depthOfPixelFormat(f), 16u);
    for (uint32_t f : {0x62675241u, 0x62675258u, 0x61724742u, 0x32336561u}) EXPECT_EQ(host::depthOfPixelFormat(f), 32u);
    for (uint32_t f : {0x66646162u, 0x62616466u, 0u, 0x78726762u}) EXPECT_EQ(host::depthOfPixelFormat(f), 0u);
}

TEST_F(RenderTest, SixteenBitResultIsNarrowedAndCopiedBottomRowFirst) {
    setUpSequence();
    TestWorld input(2, 2, PF_PixelFormat_ARGB64);
    TestWorld output(2, 2, PF_PixelFormat_ARGB64, 6);
    // Readback row 0 (the bottom of the image) then row 1.
    readback16({65535, 65534, 32769, 32768, 1, 0, 2, 3, 100, 200, 300, 400, 500, 600, 700, 800});
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    // The first readback row is the output's last row.
    EXPECT_EQ(channel16(output, 0, 1, 0), 32768);
    EXPECT_EQ(channel16(output, 0, 1, 1), 32768);
    EXPECT_EQ(channel16(output, 0, 1, 2), 16385);
    EXPECT_EQ(channel16(output, 0, 1, 3), 16384);
    EXPECT_EQ(channel16(output, 1, 1, 0), 0);
    EXPECT_EQ(channel16(output, 1, 1, 3), 1);
    EXPECT_EQ(channel16(output, 0, 0, 0), 50);
    EXPECT_EQ(channel16(output, 1, 0, 3), 400);
    // Row padding is left alone.
    EXPECT_EQ(output.row(0)[16], 0);
    ASSERT_EQ(fx.renders.size(), 1u);
    EXPECT_DOUBLE_EQ(fx.renders[0].time, 2.0);
    EXPECT_EQ(fx.renders[0].width, 2u);
    EXPECT_EQ(fx.renders[0].depth, 16u);
    EXPECT_EQ(fx.releasedOutputs, 1);
    EXPECT_EQ(fx.locks, 1);
    EXPECT_EQ(fx.unlocks, 1);
    EXPECT_EQ(host.copies, 0);
}

TEST_F(RenderTest, InputIsUploadedWithItsRowBytes) {
    setUpSequence();
    TestWorld input(3, 2, PF_PixelFormat_ARGB32, 4);
    for (size_t i = 0; i < input.pixels.size(); ++i) input.pixels[i] = uint8_t(i);
    TestWorld output(3, 2, PF_PixelFormat_ARGB32);
    fx.readback.assign(3 * 2 * 4, 7);
    input.def.origin_x = 0;
    output.def.origin_x = 5;
    output.def.origin_y = 6;
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    ASSERT_EQ(fx.uploads.size(), 1u);
    EXPECT_EQ(fx.uploads[0].index, script::kInputLayerIndex);
    EXPECT_EQ(fx.uploads[0].rowBytes, 16u);
    EXPECT_EQ(fx.uploads[0].depth, 8u);
    EXPECT_EQ(fx.uploads[0].bytes[12], 16);  // second row starts after the padding
    EXPECT_EQ(fx.originX, 5);
    EXPECT_EQ(fx.originY, 6);
    EXPECT_EQ(output.pixels, std::vector<uint8_t>(24, 7));
}

TEST_F(RenderTest, EightBitRowsArriveInReverseOrder) {
    setUpSequence();
    TestWorld input(1, 3, PF_PixelFormat_ARGB32);
    TestWorld output(1, 3, PF_PixelFormat_ARGB32);
    fx.readback = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_EQ(output.row(0)[0], 3);
    EXPECT_EQ(output.row(1)[0], 2);
    EXPECT_EQ(output.row(2)[0], 1);
}

TEST_F(RenderTest, WithoutSequenceDataTheInputIsCopiedThrough) {
    TestWorld input(2, 2, PF_PixelFormat_ARGB32);
    input.pixels.assign(input.pixels.size(), 9);
    TestWorld output(2, 2, PF_PixelFormat_ARGB32);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_EQ(host.copies, 1);
    EXPECT_EQ(output.pixels, input.pixels);
    EXPECT_TRUE(fx.renders.empty());
}

TEST_F(RenderTest, AnUnknownPixelFormatIsCopiedThroughWithoutRendering) {
    setUpSequence();
    TestWorld input(2, 2, 0x12345678);
    input.pixels.assign(input.pixels.size(), 4);
    TestWorld output(2, 2, 0x12345678);
    fx.readback.assign(64, 1);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_TRUE(fx.renders.empty());
    EXPECT_TRUE(fx.uploads.empty());
    EXPECT_EQ(output.pixels, input.pixels);
}

TEST_F(RenderTest, NoGLContextGives512AndLeavesTheOutput) {
    setUpSequence();
    TestWorld input(2, 2, PF_PixelFormat_ARGB32);
    TestWorld output(2, 2, PF_PixelFormat_ARGB32);
    output.pixels.assign(output.pixels.size(), 5);
    fx.lockResult = false;
    EXPECT_EQ(render(input, output), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(fx.renders.empty());
    EXPECT_EQ(output.pixels, std::vector<uint8_t>(16, 5));
    EXPECT_EQ(fx.unlocks, 0);
}

TEST_F(RenderTest, NoReadbackCopiesTheInputThrough) {
    setUpSequence();
    TestWorld input(2, 2, PF_PixelFormat_ARGB128);
    input.pixels.assign(input.pixels.size(), 3);
    TestWorld output(2, 2, PF_PixelFormat_ARGB128);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_EQ(fx.renders.size(), 1u);
    EXPECT_EQ(fx.renders[0].depth, 32u);
    EXPECT_EQ(output.pixels, input.pixels);
    EXPECT_EQ(fx.releasedOutputs, 0);
}

TEST_F(RenderTest, MissingWorldSuiteIsReportedAndTheInputCopied) {
    setUpSequence();
    host.missing.insert({kPFWorldSuite, 2});
    TestWorld input(2, 2, PF_PixelFormat_ARGB32);
    TestWorld output(2, 2, PF_PixelFormat_ARGB32);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_STREQ(host.out.return_msg, "Couldn't load suite.");
    EXPECT_TRUE(host.out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_EQ(host.copies, 1);
}

TEST_F(RenderTest, SmartRenderUsesTheCheckedOutWorlds) {
    setUpSequence();
    TestWorld input(2, 1, PF_PixelFormat_ARGB32);
    TestWorld output(2, 1, PF_PixelFormat_ARGB32);
    host.addWorld(input);
    host.addWorld(output);
    host.smartInput = &input.def;
    host.smartOutput = &output.def;
    fx.readback.assign(8, 6);
    PF_SmartRenderInput smartInput{};
    PF_SmartRenderCallbacks cb{};
    cb.checkout_layer_pixels = [](PF_ProgPtr, A_long id, PF_EffectWorld** world) -> PF_Err {
        EXPECT_EQ(id, 0x123456);
        *world = FakeHost::current().smartInput;
        return FakeHost::current().pixelsCheckoutError;
    };
    cb.checkout_output = [](PF_ProgPtr, PF_EffectWorld** world) -> PF_Err {
        *world = FakeHost::current().smartOutput;
        return PF_Err_NONE;
    };
    PF_SmartRenderExtra extra{&smartInput, &cb};
    ASSERT_EQ(host.call(PF_Cmd_SMART_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    EXPECT_EQ(output.pixels, std::vector<uint8_t>(8, 6));

    host.pixelsCheckoutError = PF_Interrupt_CANCEL;
    EXPECT_EQ(host.call(PF_Cmd_SMART_RENDER, nullptr, nullptr, &extra), PF_Interrupt_CANCEL);
    EXPECT_EQ(fx.renders.size(), 1u);
}

TEST_F(EditingRenderTest, SmallerFrameIsFilledTransparentThenCopiedCentred) {
    setUpSequence();
    host.in.width = 6;
    host.in.height = 4;
    TestWorld input(6, 4, PrPixelFormat_BGRA_4444_8u);
    TestWorld output(6, 4, PrPixelFormat_BGRA_4444_8u);
    output.pixels.assign(output.pixels.size(), 0xEE);
    setFrameSize(4, 2);
    fx.readback = std::vector<uint8_t>(4 * 2 * 4, 0);
    for (size_t i = 0; i < 16; ++i) fx.readback[i] = 1;   // bottom row
    for (size_t i = 16; i < 32; ++i) fx.readback[i] = 2;  // top row
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_EQ(host.fills, 1);
    EXPECT_EQ(host.lastFill.alpha, 0);
    ASSERT_EQ(fx.renders.size(), 1u);
    EXPECT_EQ(fx.renders[0].width, 4u);
    EXPECT_EQ(fx.renders[0].height, 2u);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            const uint8_t expected = (x >= 1 && x <= 4 && y == 1) ? 2 : (x >= 1 && x <= 4 && y == 2) ? 1 : 0;
            EXPECT_EQ(output.row(y)[x * 4], expected) << x << "," << y;
        }
    }
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host.liveHandles.size(), 1u);
}

TEST_F(EditingRenderTest, InputIsCroppedAtThePreEffectOrigin) {
    setUpSequence();
    host.in.width = 2;
    host.in.height = 1;
    host.in.pre_effect_source_origin_x = 1;
    host.in.pre_effect_source_origin_y = 1;
    TestWorld input(4, 3, PrPixelFormat_BGRA_4444_8u, 8);
    for (size_t i = 0; i < input.pixels.size(); ++i) input.pixels[i] = uint8_t(i);
    TestWorld output(4, 3, PrPixelFormat_BGRA_4444_8u);
    setFrameSize(4, 3);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    ASSERT_EQ(fx.uploads.size(), 1u);
    EXPECT_EQ(fx.uploads[0].width, 2u);
    EXPECT_EQ(fx.uploads[0].height, 1u);
    EXPECT_EQ(fx.uploads[0].rowBytes, 8u);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 8; ++i) expected.push_back(uint8_t(24 + 4 + i));
    EXPECT_EQ(fx.uploads[0].bytes, expected);
}

TEST_F(EditingRenderTest, InputCropStaysInsideTheInputWorld) {
    setUpSequence();
    host.in.width = 50;
    host.in.height = 50;
    host.in.pre_effect_source_origin_x = 3;
    host.in.pre_effect_source_origin_y = -2;
    TestWorld input(4, 3, PrPixelFormat_BGRA_4444_8u);
    TestWorld output(4, 3, PrPixelFormat_BGRA_4444_8u);
    setFrameSize(4, 3);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    ASSERT_EQ(fx.uploads.size(), 1u);
    EXPECT_EQ(fx.uploads[0].width, 1u);
    EXPECT_EQ(fx.uploads[0].height, 3u);
}

TEST_F(EditingRenderTest, OversizedFrameDataStaysInsideTheOutputWorld) {
    setUpSequence();
    TestWorld input(4, 2, PrPixelFormat_BGRA_4444_32f);
    TestWorld output(4, 2, PrPixelFormat_BGRA_4444_32f);
    setFrameSize(4000, 3000);  // the host kept a smaller world than asked for
    fx.readback.assign(4 * 2 * 16, 0x3F);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    ASSERT_EQ(fx.renders.size(), 1u);
    EXPECT_EQ(fx.renders[0].width, 4u);
    EXPECT_EQ(fx.renders[0].height, 2u);
    EXPECT_EQ(output.pixels, std::vector<uint8_t>(output.pixels.size(), 0x3F));
}

TEST_F(EditingRenderTest, RenderWithoutFrameDataUsesTheWholeOutputWorld) {
    setUpSequence();
    TestWorld input(3, 2, PrPixelFormat_BGRA_4444_16u);
    TestWorld output(3, 2, PrPixelFormat_BGRA_4444_16u);
    readback16(std::vector<uint16_t>(3 * 2 * 4, 65535));
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_EQ(host.fills, 0);
    ASSERT_EQ(fx.renders.size(), 1u);
    EXPECT_EQ(fx.renders[0].width, 3u);
    EXPECT_EQ(channel16(output, 2, 1, 3), 32768);
}
