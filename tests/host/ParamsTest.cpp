#include <gtest/gtest.h>

#include <cstring>

#include "host/Handlers.h"
#include "tests/host/FakeHost.h"
#include "tests/host/FakePlugin.h"

namespace {

class ParamsTest : public ::testing::Test {
protected:
    FakeHost host;
    FakePlugin& fx = fakePlugin();

    void setUpParams() { ASSERT_EQ(host.call(PF_Cmd_PARAMS_SETUP), PF_Err_NONE); }
    // Declares parameters of these kinds with default values, then runs
    // parameter setup.
    void declare(std::initializer_list<std::pair<LX_Type, const char*>> kinds) {
        for (const auto& [kind, name] : kinds) fx.addParam(kind, name);
        setUpParams();
    }
    void setUpSequence() {
        ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
        host.in.sequence_data = host.out.sequence_data;
    }
    // Reads every value as frame setup does.
    void readValues(bool all = false) {
        host::SuiteCache suites(&host.in);
        host::readParamValues(suites, &host.in, all);
    }
    std::array<float, 4> value(uint32_t position) { return fx.values.at(position); }
};

}  // namespace

TEST_F(ParamsTest, NoParametersGiveOnlyTheInputLayer) {
    setUpParams();
    EXPECT_EQ(host.out.num_params, 1);
    EXPECT_TRUE(host.added.empty());
    EXPECT_EQ(host.uiRegistrations, 1);
    EXPECT_EQ(host.registeredUI.events, static_cast<int32_t>(PF_CustomEFlag_EFFECT));
    EXPECT_EQ(host.optionsButtonName, " ");
}

TEST_F(ParamsTest, DefinitionsFollowTheKindTable) {
    fx.addParam(LX_FLOAT, "Amount", {0.25f, 0, 0, 0}, 2u << gpu::kParamPrecisionShift);
    fx.params.back().minimum[0] = -1;
    fx.params.back().maximum[0] = 4;
    fx.addParam(LX_POINT, "Centre", {1.5f, -2.5f, 3.0f, 0});
    fx.addParam(LX_COLOR, "Tint", {255.9f, 0, 128, 0});
    fx.addParam(LX_LAYER, "Matte");
    fx.addParam(LX_POINT2D, "Offset", {-0.25f, 0.5f, 0, 0});
    fx.addParam(LX_TEXTURE, "Pattern");
    fx.params.back().choices = "a|b|c";
    fx.params.back().choiceCount = 3;
    fx.addParam(LX_PATH, "Path");
    fx.addParam(LX_BOOL, "Invert", {intAsSlot(0x101), 0, 0, 0});
    fx.addParam(LX_POPUP, "Mode", {intAsSlot(0x10002), 0, 0, 0});
    fx.params.back().choices = "x|y";
    fx.params.back().choiceCount = 2;
    fx.addParam(LX_GROUP_START, "Group");
    fx.addParam(LX_GROUP_END, "GroupEnd");
    fx.addParam(LX_ANGLE, "Angle", {0.75f, 0, 0, 0});
    setUpParams();
    ASSERT_EQ(host.added.size(), 12u);
    EXPECT_EQ(host.out.num_params, 13);
    for (size_t i = 0; i < host.added.size(); ++i) EXPECT_EQ(host.added[i].uu.id, int32_t(i + 3)) << i;

    const PF_ParamDef& f = host.added[0];
    EXPECT_EQ(f.param_type, PF_Param_FLOAT_SLIDER);
    EXPECT_EQ(f.flags, 0x60);
    EXPECT_STREQ(f.name, "Amount");
    EXPECT_DOUBLE_EQ(f.u.fs_d.value, 0.25);
    EXPECT_FLOAT_EQ(f.u.fs_d.dephault, 0.25f);
    EXPECT_FLOAT_EQ(f.u.fs_d.valid_min, -1);
    EXPECT_FLOAT_EQ(f.u.fs_d.slider_min, -1);
    EXPECT_FLOAT_EQ(f.u.fs_d.valid_max, 4);
    EXPECT_FLOAT_EQ(f.u.fs_d.slider_max, 4);
    EXPECT_EQ(f.u.fs_d.precision, 2);
    EXPECT_FLOAT_EQ(f.u.fs_d.curve_tolerance, 0.05f);

    const PF_ParamDef& p3 = host.added[1];
    EXPECT_EQ(p3.param_type, PF_Param_POINT_3D);
    EXPECT_EQ(p3.flags, 0x60);
    EXPECT_DOUBLE_EQ(p3.u.point3d_d.y_value, -2.5);
    EXPECT_DOUBLE_EQ(p3.u.point3d_d.z_dephault, 3.0);

    const PF_ParamDef& c = host.added[2];
    EXPECT_EQ(c.param_type, PF_Param_COLOR);
    EXPECT_EQ(c.u.cd.value.alpha, 255);
    EXPECT_EQ(c.u.cd.value.red, 255);
    EXPECT_EQ(c.u.cd.value.green, 0);
    EXPECT_EQ(c.u.cd.value.blue, 128);
    EXPECT_EQ(std::memcmp(&c.u.cd.value, &c.u.cd.dephault, sizeof(PF_Pixel)), 0);

    EXPECT_EQ(host.added[3].param_type, PF_Param_LAYER);
    EXPECT_EQ(host.added[3].flags, 0x40);
    EXPECT_EQ(host.added[3].u.ld.dephault, 0);

    const PF_ParamDef& p2 = host.added[4];
    EXPECT_EQ(p2.param_type, PF_Param_POINT);
    EXPECT_EQ(p2.u.td.x_value, -16384);
    EXPECT_EQ(p2.u.td.x_dephault, -16384);
    EXPECT_EQ(p2.u.td.y_value, 32768);
    EXPECT_EQ(p2.u.td.restrict_bounds, 0);

    const PF_ParamDef& tex = host.added[5];
    EXPECT_EQ(tex.param_type, PF_Param_POPUP);
    EXPECT_EQ(tex.flags, 0x40);
    EXPECT_EQ(tex.u.pd.num_choices, 3);
    EXPECT_EQ(tex.u.pd.value, 1);  // a popup's first entry is 1
    EXPECT_EQ(tex.u.pd.dephault, 1);

    EXPECT_EQ(host.added[6].param_type, PF_Param_PATH);
    const PF_ParamDef& b = host.added[7];
    EXPECT_EQ(b.param_type, PF_Param_CHECKBOX);
    EXPECT_EQ(b.u.bd.value, 0x101);
    EXPECT_EQ(b.u.bd.dephault, 1);
    const PF_ParamDef& pop = host.added[8];
    EXPECT_EQ(pop.u.pd.value, 2);
    EXPECT_EQ(pop.u.pd.dephault, 2);
    EXPECT_EQ(pop.u.pd.num_choices, 2);

    EXPECT_EQ(host.added[9].param_type, PF_Param_GROUP_START);
    EXPECT_EQ(host.added[9].flags, 0);
    EXPECT_STREQ(host.added[9].name, "Group");
    EXPECT_EQ(host.added[10].param_type, PF_Param_GROUP_END);
    EXPECT_STREQ(host.added[10].name, "");

    EXPECT_EQ(host.added[11].param_type, PF_Param_ANGLE);
    EXPECT_EQ(host.added[11].u.ad.value, 49152);
    EXPECT_EQ(host.added[11].u.ad.dephault, 49152);
}

TEST(FixedPoint, RoundsHalfAwayFromZeroOrTruncatesAndSaturates) {
    EXPECT_EQ(host::fixedRounded(-0.25), -16384);
    EXPECT_EQ(host::fixedRounded(0.5), 32768);
    EXPECT_EQ(host::fixedRounded(0.5 / 65536.0), 1);
    EXPECT_EQ(host::fixedRounded(-0.5 / 65536.0), -1);
    EXPECT_EQ(host::fixedTruncated(0.75), 49152);
    EXPECT_EQ(host::fixedTruncated(-1.9 / 65536.0), -1);
    EXPECT_EQ(host::fixedRounded(1e12), INT32_MAX);
    EXPECT_EQ(host::fixedTruncated(-1e12), INT32_MIN);
}

TEST_F(ParamsTest, HiddenAndUnknownParametersTakeNoHostIndex) {
    fx.addParam(LX_FLOAT, "a");
    fx.addParam(LX_FLOAT, "hidden", {0, 0, 0, 0}, gpu::kParamFlagSkipHostUpdate);
    fx.addParam(LX_UNKNOWN, "unknown");
    fx.addParam(99, "odd");
    fx.addParam(LX_FLOAT, "c");
    setUpParams();
    ASSERT_EQ(host.added.size(), 2u);
    EXPECT_STREQ(host.added[1].name, "c");
    EXPECT_EQ(host.added[1].uu.id, 4);
    EXPECT_EQ(host.out.num_params, 3);
}

TEST_F(ParamsTest, LongDisplayNamesAreShortenedToTheHostField) {
    fx.addParam(LX_FLOAT, std::string(40, 'n'));
    fx.addParam(LX_FLOAT, std::string(30, 'm') + "\xC3\xA9" + "zz");
    setUpParams();
    EXPECT_EQ(std::string(host.added[0].name), std::string(31, 'n'));
    EXPECT_EQ(std::string(host.added[1].name), std::string(30, 'm'));
}

TEST_F(ParamsTest, AHostErrorStopsRegistrationQuietly) {
    fx.addParam(LX_FLOAT, "a");
    fx.addParam(LX_FLOAT, "b");
    fx.addParam(LX_FLOAT, "c");
    host.addParamFailsAt = 1;
    setUpParams();
    EXPECT_EQ(host.added.size(), 1u);
    EXPECT_EQ(host.out.num_params, 2);
    EXPECT_EQ(host.uiRegistrations, 1);
}

TEST_F(ParamsTest, MissingEffectUISuiteReports516) {
    host.missing.insert({kPFEffectUISuite, 1});
    EXPECT_EQ(host.call(PF_Cmd_PARAMS_SETUP), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(host.out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_STREQ(host.out.return_msg, "Not able to acquire AEFX Suite.");
    EXPECT_EQ(host.releasedTotal(), 0);
    EXPECT_EQ(host.uiRegistrations, 0);
}

TEST_F(ParamsTest, EditingHostNeedsNoEffectUISuite) {
    FakeHost premiere(true);
    premiere.missing.insert({kPFEffectUISuite, 1});
    EXPECT_EQ(premiere.call(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(premiere.uiRegistrations, 1);
}

TEST_F(ParamsTest, ValuesAreReadByHostType) {
    fx.addParam(LX_ANGLE, "angle");
    fx.addParam(LX_BOOL, "check");
    fx.addParam(LX_POPUP, "popup");
    fx.addParam(LX_COLOR, "color");
    fx.addParam(LX_POINT, "p3");
    setUpParams();
    host.values[1].u.ad.value = 90 << 16;
    host.values[2].u.bd.value = 1;
    host.values[3].u.pd.value = 3;
    host.values[5].u.point3d_d.x_value = 7;
    host.values[5].u.point3d_d.z_value = -2;
    readValues();
    EXPECT_FLOAT_EQ(value(0)[0], 90.0f);
    EXPECT_EQ(slotAsInt(value(1)[0]), 1);
    EXPECT_EQ(slotAsInt(value(2)[0]), 3);
    EXPECT_EQ(value(3), (std::array<float, 4>{0.25f, 0.5f, 0.75f, 1.0f}));  // red, green, blue, alpha
    EXPECT_EQ(value(4), (std::array<float, 4>{7, 0, -2, 0}));
}

TEST_F(ParamsTest, FloatScaledByWidthFollowsTheDownsample) {
    fx.addParam(LX_FLOAT, "radius", {0, 0, 0, 0}, LX_PF_ScaleByWidth);
    fx.addParam(LX_FLOAT, "both", {0, 0, 0, 0}, LX_PF_ScaleByWidth | LX_PF_ScaleByHeight);
    fx.addParam(LX_FLOAT, "plain");
    setUpParams();
    for (int i = 1; i <= 3; ++i) host.values[i].u.fs_d.value = 40;
    host.in.downsample_x = {1, 2};
    host.in.downsample_y = {1, 4};
    readValues();
    EXPECT_FLOAT_EQ(value(0)[0], 20);
    EXPECT_FLOAT_EQ(value(1)[0], 5);
    EXPECT_FLOAT_EQ(value(2)[0], 40);
}

TEST_F(ParamsTest, PointWithRemoveScaleUndoesDownsampleAndPixelAspect) {
    fx.addParam(LX_POINT2D, "centre", {0, 0, 0, 0}, LX_PF_RemoveScale);
    fx.addParam(LX_POINT2D, "raw");
    setUpParams();
    for (int i = 1; i <= 2; ++i) {
        host.values[i].u.td.x_value = 100 << 16;
        host.values[i].u.td.y_value = 30 << 16;
    }
    host.in.downsample_x = {1, 2};
    host.in.downsample_y = {1, 2};
    readValues();
    EXPECT_FLOAT_EQ(value(0)[0], 200);
    EXPECT_FLOAT_EQ(value(0)[1], 60);
    EXPECT_FLOAT_EQ(value(1)[0], 100);
    host.in.downsample_x = {1, 1};
    host.in.downsample_y = {1, 1};
    host.in.pixel_aspect_ratio = {2, 1};
    readValues();
    EXPECT_FLOAT_EQ(value(0)[0], 200);
    EXPECT_FLOAT_EQ(value(0)[1], 30);
}

TEST_F(ParamsTest, ImageParametersAreReadOnlyWhenAllIsAsked) {
    // A TEXTURE parameter is a popup whose choice the script reads in every call.
    declare({{LX_FLOAT, "a"}, {LX_LAYER, "layer"}, {LX_TEXTURE, "tex"}, {LX_PATH, "path"}});
    readValues(false);
    EXPECT_EQ(host.checkouts, (std::vector<int>{1, 3}));
    host.checkouts.clear();
    readValues(true);
    EXPECT_EQ(host.checkouts, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(host.checkins.size(), 6u);
}

TEST_F(ParamsTest, AFailedCheckoutIsCheckedInAndStopsFurtherReads) {
    declare({{LX_FLOAT, "a"}, {LX_FLOAT, "b"}, {LX_FLOAT, "c"}});
    host.checkoutFailsAt = 2;
    readValues();
    EXPECT_EQ(host.checkouts, (std::vector<int>{1, 2}));
    EXPECT_EQ(host.checkins.size(), 2u);
    EXPECT_EQ(fx.valueWrites.size(), 1u);
}

TEST_F(ParamsTest, LayerParametersUploadTheirPixels) {
    declare({{LX_FLOAT, "a"}, {LX_LAYER, "matte"}, {LX_LAYER, "empty"}});
    TestWorld layer(2, 1, PF_PixelFormat_ARGB64, 4);
    for (size_t i = 0; i < 16; ++i) layer.pixels[i] = uint8_t(i);
    host.addWorld(layer);
    host.values[2].u.ld = layer.def;
    readValues(true);
    ASSERT_EQ(fx.uploads.size(), 1u);  // the empty layer keeps its texture
    EXPECT_EQ(fx.uploads[0].index, 1u);
    EXPECT_EQ(fx.uploads[0].depth, 16u);
    EXPECT_EQ(fx.uploads[0].width, 2u);
    EXPECT_EQ(fx.uploads[0].height, 1u);
    EXPECT_EQ(fx.uploads[0].rowBytes, 20u);
    EXPECT_EQ(fx.uploads[0].bytes, std::vector<uint8_t>(layer.pixels.begin(), layer.pixels.begin() + 16));
    EXPECT_EQ(fx.locks, 1);
    EXPECT_EQ(fx.unlocks, 1);
}

TEST_F(ParamsTest, UserChangeReadsThatParameterOnly) {
    fx.addParam(LX_FLOAT, "a");
    fx.addParam(LX_FLOAT, "b");
    setUpParams();
    setUpSequence();
    host.values[2].u.fs_d.value = 9;
    std::vector<PF_ParamDef*> params = host.paramList();
    PF_UserChangedParamExtra change{2};
    EXPECT_EQ(host.call(PF_Cmd_USER_CHANGED_PARAM, params.data(), nullptr, &change), PF_Err_NONE);
    EXPECT_EQ(fx.current, fx.sequences.at(0).get());
    ASSERT_EQ(fx.valueWrites.size(), 2u);
    EXPECT_EQ(fx.valueWrites[0], 0);
    EXPECT_FLOAT_EQ(value(1)[0], 9);
}

TEST_F(ParamsTest, UserChangeOfTheInputLayerOrAnUnknownIndexDoesNothing) {
    fx.addParam(LX_FLOAT, "a");
    setUpParams();
    setUpSequence();
    std::vector<PF_ParamDef*> params = host.paramList();
    for (PF_ParamIndex index : {0, 7, -3}) {
        PF_UserChangedParamExtra change{index};
        EXPECT_EQ(host.call(PF_Cmd_USER_CHANGED_PARAM, params.data(), nullptr, &change), PF_Err_NONE);
    }
    EXPECT_TRUE(fx.valueWrites.empty());
}

TEST_F(ParamsTest, UpdateParamsUISendsDisabledStateAndNames) {
    fx.addParam(LX_FLOAT, "a");
    fx.addParam(LX_FLOAT, "b");
    setUpParams();
    setUpSequence();
    host.values[1].ui_flags = PF_PUI_DISABLED;  // enabled again by the script
    fx.onUpdateUIFlags = [&] {
        fx.params[1].flags |= gpu::kParamFlagDisabled;
        fx.params[1].displayName = "b (off)";
    };
    std::vector<PF_ParamDef*> params = host.paramList();
    host.out = PF_OutData{};
    ASSERT_EQ(host.call(PF_Cmd_UPDATE_PARAMS_UI, params.data()), PF_Err_NONE);
    ASSERT_EQ(host.uiUpdates.size(), 2u);
    EXPECT_EQ(host.uiUpdates[0].first, 1);
    EXPECT_FALSE(host.uiUpdates[0].second.ui_flags & PF_PUI_DISABLED);
    EXPECT_EQ(host.uiUpdates[1].first, 2);
    EXPECT_TRUE(host.uiUpdates[1].second.ui_flags & PF_PUI_DISABLED);
    EXPECT_STREQ(host.uiUpdates[1].second.name, "b (off)");
    EXPECT_TRUE(host.out.out_flags & PF_OutFlag_REFRESH_UI);
    // The host's own definitions are not written to.
    EXPECT_STREQ(host.values[2].name, "b");
}

// A host array shorter than the parameters the module set up (another
// instance's, or set up before the script changed) is not read past its end.
TEST_F(ParamsTest, UpdateParamsUIReadsOnlyTheHostsParameters) {
    fx.addParam(LX_FLOAT, "a");
    fx.addParam(LX_FLOAT, "b");
    setUpParams();
    setUpSequence();
    std::vector<PF_ParamDef*> params = host.paramList();
    params.resize(2);  // the input layer and "a"
    host.in.num_params = 2;
    ASSERT_EQ(host.call(PF_Cmd_UPDATE_PARAMS_UI, params.data()), PF_Err_NONE);
    ASSERT_EQ(host.uiUpdates.size(), 1u);
    EXPECT_EQ(host.uiUpdates[0].first, 1);
}

TEST_F(ParamsTest, UpdateParamsUIWithoutSequenceDataDoesNothing) {
    fx.addParam(LX_FLOAT, "a");
    setUpParams();
    std::vector<PF_ParamDef*> params = host.paramList();
    EXPECT_EQ(host.call(PF_Cmd_UPDATE_PARAMS_UI, params.data()), PF_Err_NONE);
    EXPECT_TRUE(host.uiUpdates.empty());
}
