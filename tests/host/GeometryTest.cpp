#include <gtest/gtest.h>

#include "host/Handlers.h"
#include "host/SequenceData.h"
#include "tests/host/FakeHost.h"
#include "tests/host/FakePlugin.h"

namespace {

bool sameRect(const PF_Rect& a, const PF_Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class GeometryTest : public ::testing::Test {
protected:
    explicit GeometryTest(bool premiere = false) : host(premiere) {}
    FakeHost host;
    FakePlugin& fx = fakePlugin();
    PF_PreRenderInput input{};
    PF_PreRenderOutput output{};
    PF_PreRenderCallbacks callbacks{};
    PF_PreRenderExtra extra{&input, &output, &callbacks};

    void SetUp() override {
        ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
        host.in.sequence_data = host.out.sequence_data;
        host.out = PF_OutData{};
        callbacks.checkout_layer = [](PF_ProgPtr, PF_ParamIndex index, A_long id, const PF_RenderRequest* req, A_long,
                                      A_long, A_u_long, PF_CheckoutResult* result) -> PF_Err {
            FakeHost& h = FakeHost::current();
            EXPECT_EQ(index, 0);
            h.lastCheckoutId = id;
            h.lastRequest = *req;
            *result = h.checkoutResult;
            return h.checkoutError;
        };
    }
    const host::SequenceData& data() { return *static_cast<const host::SequenceData*>(*host.in.sequence_data); }
};

class EditingGeometryTest : public GeometryTest {
protected:
    EditingGeometryTest() : GeometryTest(true) {}
};

}  // namespace

TEST(Scale, FullResolutionGivesTheSizeItself) {
    for (uint32_t size : {1u, 2u, 999u, 1920u, 65535u}) EXPECT_EQ(host::scale(size, 1, 1), size);
    EXPECT_EQ(host::scale(1000, 1, 2), 500u);
    EXPECT_EQ(host::scale(1001, 1, 2), 501u);  // nearest, halves up
    EXPECT_EQ(host::scale(1000, 1, 3), 333u);
    EXPECT_EQ(host::scale(720, 4, 3), 960u);
    EXPECT_EQ(host::scale(0, 1, 1), 1u);
    EXPECT_EQ(host::scale(1, 1, 4), 1u);      // never below one pixel
    EXPECT_EQ(host::scale(100, 0, 1), 100u);  // an invalid rational changes nothing
}

TEST_F(GeometryTest, SmartPreRenderKeepingTheSizeUnitesTheRectangles) {
    host.checkoutResult.result_rect = {10, 20, 1010, 620};
    host.checkoutResult.max_result_rect = {0, 0, 1020, 640};
    output.result_rect = {0, 0, 0, 0};           // empty: replaced
    output.max_result_rect = {-5, 5, 100, 700};  // grown
    input.output_request.rect = {1, 2, 3, 4};
    input.output_request.field = PF_Field_UPPER;
    ASSERT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    EXPECT_TRUE(sameRect(output.result_rect, {10, 20, 1010, 620}));
    EXPECT_TRUE(sameRect(output.max_result_rect, {-5, 0, 1020, 700}));
    EXPECT_EQ(output.flags, 0);
    EXPECT_EQ(host.lastCheckoutId, 0x123456);
    EXPECT_EQ(host.lastRequest.channel_mask, 15);
    EXPECT_EQ(host.lastRequest.preserve_rgb_of_zero_alpha, 1);
    EXPECT_EQ(host.lastRequest.field, PF_Field_UPPER);
    EXPECT_TRUE(sameRect(host.lastRequest.rect, {1, 2, 3, 4}));
    ASSERT_EQ(fx.preRenders.size(), 1u);
    EXPECT_EQ(fx.preRenders[0], (std::array<uint32_t, 2>{1020, 640}));
}

TEST_F(GeometryTest, SmartPreRenderWithAnEmptyCheckoutKeepsTheOutput) {
    host.checkoutResult.result_rect = {5, 5, 5, 50};  // empty
    output.result_rect = {1, 2, 3, 4};
    ASSERT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    EXPECT_TRUE(sameRect(output.result_rect, {1, 2, 3, 4}));
}

TEST_F(GeometryTest, SmartPreRenderEnlargedOutputIsCentred) {
    host.checkoutResult.result_rect = {10, 20, 1010, 620};
    host.checkoutResult.max_result_rect = {10, 20, 1010, 620};
    fx.outWidth = 1200;
    fx.outHeight = 800;
    ASSERT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    EXPECT_TRUE(sameRect(output.result_rect, {10 - 100, 20 - 100, 10 + 1100, 20 + 700}));
    EXPECT_TRUE(sameRect(output.max_result_rect, output.result_rect));
    EXPECT_EQ(output.flags, PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
    EXPECT_EQ(fx.locks, 1);
    EXPECT_EQ(fx.unlocks, 1);
}

TEST_F(GeometryTest, SmartPreRenderReturnsAFailedCheckoutUntouched) {
    host.checkoutError = PF_Interrupt_CANCEL;
    output.result_rect = {1, 2, 3, 4};
    EXPECT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Interrupt_CANCEL);
    EXPECT_TRUE(sameRect(output.result_rect, {1, 2, 3, 4}));
    EXPECT_TRUE(fx.preRenders.empty());
}

TEST_F(GeometryTest, SmartPreRenderWithoutExtraIsRejected) {
    EXPECT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER), PF_Err_BAD_CALLBACK_PARAM);
}

TEST_F(GeometryTest, LegacyHostRunsWithoutTheGLContext) {
    host.in.version = {13, 1};
    ASSERT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    EXPECT_EQ(fx.locks, 0);
}

TEST_F(GeometryTest, CompositionInfoComesFromTheLayersComposition) {
    host.compWidth = 1440;
    host.compHeight = 1080;
    host.compPar = {4, 3};
    ASSERT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    EXPECT_EQ(data().compWidth, 1440u);
    EXPECT_EQ(data().compHeight, 1080u);
    EXPECT_FLOAT_EQ(data().compPixelAspect, 4.0f / 3.0f);
    EXPECT_EQ(fx.extentW, 1440u);
    EXPECT_FLOAT_EQ(fx.extentScale, 4.0f / 3.0f);
    EXPECT_EQ(fx.current, fx.sequences.at(0).get());
}

TEST_F(GeometryTest, MissingAEGPSuiteGives516) {
    host.missing.insert({kAEGPItemSuite, 10});
    EXPECT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.acquiredTotal(), host.releasedTotal());
    EXPECT_EQ(fx.locks, fx.unlocks);
}

TEST_F(GeometryTest, FrameSetupAtTheInputSizeLeavesTheOutputAlone) {
    host.values[0].u.ld.width = 640;
    host.values[0].u.ld.height = 480;
    host.out.width = 640;
    host.out.height = 480;
    host.out.origin = {3, 4};
    std::vector<PF_ParamDef*> params = host.paramList();
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP, params.data()), PF_Err_NONE);
    EXPECT_EQ(host.out.width, 640);
    EXPECT_EQ(host.out.height, 480);
    EXPECT_EQ(host.out.origin.h, 3);
    EXPECT_EQ(host.out.origin.v, 4);
    EXPECT_EQ(host.out.frame_data, nullptr);
}

TEST_F(GeometryTest, FrameSetupEnlargesAndCentres) {
    host.values[0].u.ld.width = 1000;
    host.values[0].u.ld.height = 600;
    fx.outWidth = 1200;
    fx.outHeight = 800;
    std::vector<PF_ParamDef*> params = host.paramList();
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP, params.data()), PF_Err_NONE);
    EXPECT_EQ(host.out.width, 1200);
    EXPECT_EQ(host.out.height, 800);
    EXPECT_EQ(host.out.origin.h, 100);
    EXPECT_EQ(host.out.origin.v, 100);
}

TEST_F(GeometryTest, FrameSetupWithoutSequenceDataDoesNothing) {
    host.in.sequence_data = nullptr;
    host.out.width = 7;
    EXPECT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    EXPECT_EQ(host.out.width, 7);
    EXPECT_TRUE(fx.preRenders.empty());
}

TEST_F(EditingGeometryTest, FrameSetupStoresTheSizeAndNeverShrinks) {
    host.in.width = 1000;
    host.in.height = 600;
    host.out.width = 1000;
    host.out.height = 600;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    ASSERT_NE(host.out.frame_data, nullptr);
    const auto* frame = static_cast<const host::FrameData*>(*host.out.frame_data);
    EXPECT_EQ(frame->width, 1000u);
    EXPECT_EQ(frame->height, 600u);
    EXPECT_EQ(host.out.width, 1000);
    EXPECT_EQ(host.out.height, 600);

    // A smaller script output changes only the frame data.
    host.out = PF_OutData{};
    host.out.width = 1000;
    host.out.height = 600;
    fx.outWidth = 800;
    fx.outHeight = 500;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    frame = static_cast<const host::FrameData*>(*host.out.frame_data);
    EXPECT_EQ(frame->width, 800u);
    EXPECT_EQ(host.out.width, 1000);
}

TEST_F(EditingGeometryTest, FrameSetupGrowsForALargerOutput) {
    host.in.width = 1000;
    host.in.height = 600;
    host.out.width = 1000;
    host.out.height = 600;
    fx.outWidth = 1200;
    fx.outHeight = 800;
    host.timelineRect = {0, 0, 1920, 1080};
    host.timelineParNum = 2;
    host.timelineParDen = 1;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    EXPECT_EQ(host.out.width, 1200);
    EXPECT_EQ(host.out.height, 800);
    EXPECT_EQ(host.out.origin.h, 100);
    EXPECT_EQ(host.out.origin.v, 100);
    EXPECT_EQ(data().compWidth, 1920u);
    EXPECT_FLOAT_EQ(data().compPixelAspect, 2.0f);
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host.out.frame_data, nullptr);
    EXPECT_EQ(host.liveHandles.size(), 1u);  // only the sequence data remains
}

// LX_getTime in the script's preRender reads the frame being set up, not
// the one rendered before it.
TEST_F(GeometryTest, TheFrameTimeIsSetBeforePreRender) {
    host.in.current_time = 4500;
    host.in.time_scale = 3000;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP, host.paramList().data()), PF_Err_NONE);
    EXPECT_DOUBLE_EQ(fx.timeAtPreRender, 1.5);
    host.in.current_time = 6000;
    ASSERT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    EXPECT_DOUBLE_EQ(fx.timeAtPreRender, 2.0);
}

TEST_F(EditingGeometryTest, TheFrameTimeIsSetBeforePreRender) {
    host.in.current_time = 300;
    host.in.time_scale = 100;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    EXPECT_DOUBLE_EQ(fx.timeAtPreRender, 3.0);
}

// A script asking for more than the engine can render gets the most it can,
// placed with arithmetic that cannot wrap, and an error for its frame.
TEST_F(EditingGeometryTest, AnOutputBeyondTheEngineIsClampedAndReported) {
    host.in.width = 64;
    host.in.height = 64;
    host.in.pixel_aspect_ratio = {2, 1};
    host.out.width = 64;
    host.out.height = 64;
    fx.outWidth = 2147483647;
    fx.outHeight = 100;
    fx.maxSide = 16384;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    EXPECT_EQ(host.out.width, 16384);
    EXPECT_EQ(host.out.height, 100);
    EXPECT_EQ(host.out.origin.h, 8192 - 64);  // the input, 64 wide at 2/1, centred
    EXPECT_EQ(host.out.origin.v, 50 - 32);
    const auto* frame = static_cast<const host::FrameData*>(*host.out.frame_data);
    EXPECT_EQ(frame->width, 16384u);
    ASSERT_EQ(fx.frameErrors.size(), 1u);
    EXPECT_NE(fx.frameErrors[0].find("clamped to at most 16384 pixels a side"), std::string::npos) << fx.frameErrors[0];
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETDOWN), PF_Err_NONE);

    // Within the bound nothing is reported.
    fx.outWidth = 100;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP), PF_Err_NONE);
    EXPECT_EQ(fx.frameErrors.size(), 1u);
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETDOWN), PF_Err_NONE);
}

TEST_F(GeometryTest, AnOutputBeyondTheEngineIsClampedInBothCommands) {
    fx.maxSide = 8192;
    fx.outWidth = 4294967295u;
    fx.outHeight = 2147483648u;
    host.values[0].u.ld.width = 1000;
    host.values[0].u.ld.height = 600;
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP, host.paramList().data()), PF_Err_NONE);
    EXPECT_EQ(host.out.width, 8192);
    EXPECT_EQ(host.out.height, 8192);
    EXPECT_EQ(host.out.origin.h, 4096 - 500);
    EXPECT_EQ(host.out.origin.v, 4096 - 300);

    host.checkoutResult.max_result_rect = {2147483000, -2147483000, 2147483600, -2147482400};
    host.checkoutResult.result_rect = host.checkoutResult.max_result_rect;
    ASSERT_EQ(host.call(PF_Cmd_SMART_PRE_RENDER, nullptr, nullptr, &extra), PF_Err_NONE);
    // 600 x 600 in, 8192 x 8192 out, centred; the far edges saturate.
    EXPECT_EQ(output.result_rect.left, 2147483000 + 300 - 4096);
    EXPECT_EQ(output.result_rect.right, 2147483647);
    EXPECT_EQ(output.result_rect.top, INT32_MIN);
    EXPECT_EQ(output.result_rect.bottom, INT32_MIN + 8192);
    EXPECT_EQ(fx.frameErrors.size(), 2u);
}
