// The params fixture (tests/effects/params) through the stand-in host: a
// parameter of every kind as the host keeps it, the values the script reads
// back, its UI decisions, events, and a saved and reloaded project.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/e2e/E2E.h"

using hostsim::Host;
using hostsim::HostKind;
using hostsim::Image;
using hostsim::RenderResult;

namespace {

// Host indexes of the fixture's parameters: its hidden frame counter, declared
// between Amount and Centre, takes none.
enum Index {
    kGroup = 1,
    kAmount,
    kCentre,
    kAngle,
    kTint,
    kPlace,
    kMatte,
    kPattern,
    kPath,
    kEnable,
    kMode,
    kLong,
    kGroupEnd
};

struct ParamsE2E : testing::Test {
    hostsim::Module module{FIXTURE_PARAMS};

    // The one colour of a 32-bit frame: Amount / 100, Centre / 1000, frames
    // drawn before / 8.
    static std::vector<float> colourOf(Host& h) {
        const RenderResult frame = h.render(0);
        EXPECT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
        if (frame.image.width == 0) return {};
        return std::vector<float>(frame.image.pixel(0, 0), frame.image.pixel(0, 0) + 4);
    }
};

}  // namespace

TEST_F(ParamsE2E, EveryKindIsDefinedAsTheHostExpects) {
    Host h(module, e2e::hostConfig(HostKind::Compositing));
    ASSERT_EQ(h.start(), PF_Err_NONE);
    ASSERT_EQ(h.paramCount(), kGroupEnd + 1);
    const std::pair<int, PF_ParamType> types[] = {
        {kGroup, PF_Param_GROUP_START}, {kAmount, PF_Param_FLOAT_SLIDER}, {kCentre, PF_Param_POINT},
        {kAngle, PF_Param_ANGLE},       {kTint, PF_Param_COLOR},          {kPlace, PF_Param_POINT_3D},
        {kMatte, PF_Param_LAYER},       {kPattern, PF_Param_POPUP},       {kPath, PF_Param_PATH},
        {kEnable, PF_Param_CHECKBOX},   {kMode, PF_Param_POPUP},          {kLong, PF_Param_FLOAT_SLIDER},
        {kGroupEnd, PF_Param_GROUP_END}};
    for (const auto& [index, type] : types) {
        EXPECT_EQ(h.param(index).param_type, type) << index;
        EXPECT_EQ(h.param(index).uu.id, index + 2) << index;
    }
    EXPECT_EQ(h.findParam("Frames"), -1);
    EXPECT_EQ(h.findParam("Centre"), kCentre);

    const PF_ParamDef& amount = h.param(kAmount);
    EXPECT_EQ(amount.u.fs_d.value, 40.0);
    EXPECT_EQ(amount.u.fs_d.valid_min, 0.0f);
    EXPECT_EQ(amount.u.fs_d.slider_max, 200.0f);
    EXPECT_EQ(amount.flags, 0x60);
    // 16.16 fixed point: -0.25 and 0.5 rounded, 0.75 truncated.
    EXPECT_EQ(h.param(kCentre).u.td.x_value, -16384);
    EXPECT_EQ(h.param(kCentre).u.td.y_value, 32768);
    EXPECT_EQ(h.param(kAngle).u.ad.value, 49152);
    // (255.9, 0, 128) truncated into 8 bits, alpha full.
    const PF_Pixel tint = h.param(kTint).u.cd.value;
    EXPECT_EQ((std::vector<int>{tint.alpha, tint.red, tint.green, tint.blue}), (std::vector<int>{255, 255, 0, 128}));
    EXPECT_EQ(h.param(kPlace).u.point3d_d.y_value, -2.5);
    EXPECT_EQ(h.param(kMatte).flags, 0x40);
    EXPECT_EQ(h.popupChoices(kPattern), (std::vector<std::string>{"Dots", "Lines"}));
    EXPECT_EQ(h.param(kEnable).u.bd.value, 1);
    EXPECT_EQ(h.popupChoices(kMode), (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(h.param(kMode).u.pd.value, 2);
    // The host's name field holds 31 characters.
    EXPECT_STREQ(h.param(kLong).name, "A display name longer than thir");
}

struct Scaling {
    const char* name;
    PF_RationalScale downsample, pixelAspect;
    std::vector<float> colour;  // Amount 40 and Centre (30, 40) as the script reads them
};

struct ParamsScaling : ParamsE2E, testing::WithParamInterface<Scaling> {};

TEST_P(ParamsScaling, ValuesReachTheScriptScaledForTheRenderResolution) {
    hostsim::HostConfig config = e2e::hostConfig(HostKind::Compositing, 32);
    config.downsampleX = config.downsampleY = GetParam().downsample;
    config.pixelAspect = GetParam().pixelAspect;
    Host h(module, config);
    h.setInput(Image(8, 8));
    ASSERT_EQ(h.start(), PF_Err_NONE);
    const double centre[2] = {30, 40};
    h.setPoint(kCentre, centre);
    EXPECT_EQ(colourOf(h), GetParam().colour);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, ParamsScaling,
                         testing::Values(Scaling{"Full", {1, 1}, {1, 1}, {0.4f, 0.03f, 0.04f, 0}},
                                         Scaling{"Half", {1, 2}, {1, 1}, {0.2f, 0.06f, 0.08f, 0}},
                                         Scaling{"WidePixels", {1, 1}, {2, 1}, {0.4f, 0.06f, 0.04f, 0}}),
                         [](const testing::TestParamInfo<Scaling>& info) { return std::string(info.param.name); });

TEST_F(ParamsE2E, SaveAndReloadStartsAFreshSequenceWithTheDeclaredDefaults) {
    Host h(module, e2e::hostConfig(HostKind::Compositing, 32));
    h.setInput(Image(4, 4));
    ASSERT_EQ(h.start(), PF_Err_NONE);
    EXPECT_EQ(colourOf(h)[3], 0.0f);
    EXPECT_EQ(colourOf(h)[3], 1 / 8.0f);  // the hidden counter lives in the instance
    h.setFloat(kAmount, 80);
    ASSERT_EQ(h.saveAndReload(), PF_Err_NONE);
    EXPECT_EQ(h.savedSequenceData(), std::vector<uint8_t>(8192, 0));
    // Counter back at its declared default; the host's own values stay.
    EXPECT_EQ(colourOf(h), (std::vector<float>{0.8f, -0.00025f, 0.0005f, 0.0f}));
    ASSERT_EQ(h.finish(), PF_Err_NONE);
    e2e::expectNothingLeftBehind(h);
}

TEST_F(ParamsE2E, UpdateUIGreysOutAmountWhileEnableIsOff) {
    for (HostKind kind : {HostKind::Compositing, HostKind::Editing}) {
        Host h(module, e2e::hostConfig(kind));
        ASSERT_EQ(h.start(), PF_Err_NONE);
        auto amountUpdate = [&h]() -> hostsim::UiUpdate {
            EXPECT_EQ(h.updateParamsUI(), PF_Err_NONE);
            EXPECT_NE(h.outData().out_flags & PF_OutFlag_REFRESH_UI, 0);
            const auto& updates = h.uiUpdates();
            for (auto u = updates.rbegin(); u != updates.rend(); ++u)
                if (u->index == kAmount) return *u;
            ADD_FAILURE() << "no UI update for Amount";
            return {};
        };
        EXPECT_EQ(amountUpdate().uiFlags & PF_PUI_DISABLED, 0);
        h.setCheckbox(kEnable, false);
        const hostsim::UiUpdate off = amountUpdate();
        EXPECT_EQ(off.uiFlags & PF_PUI_DISABLED, int(PF_PUI_DISABLED));
        EXPECT_EQ(off.name, "Amount");
        ASSERT_EQ(h.finish(), PF_Err_NONE);
    }
}

TEST_F(ParamsE2E, OnlyEventsFromTheFirstColourUpToTheFirstPointAreHandled) {
    Host h(module, e2e::hostConfig(HostKind::Compositing));
    ASSERT_EQ(h.start(), PF_Err_NONE);
    for (int index : {kAngle, kTint, kPlace, kLong}) {
        int32_t flags = -1;
        ASSERT_EQ(h.event(index, &flags), PF_Err_NONE);
        EXPECT_EQ(flags, index == kTint ? int32_t(PF_EO_HANDLED_EVENT) : 0) << index;
    }
}
