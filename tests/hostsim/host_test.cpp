// The stand-in host driving the test module through both hosts' command
// sequences.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "hostsim/Error.h"
#include "hostsim/Host.h"
#include "sdk/PF_Suites.h"

using namespace hostsim;

namespace {

void controlModule(bool leakSequenceData, bool keepSuite) {
    void* lib = dlopen(FAKE_MODULE_good, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    auto control = reinterpret_cast<void (*)(bool, bool)>(dlsym(lib, "FakeModule_control"));
    ASSERT_NE(control, nullptr);
    control(leakSequenceData, keepSuite);
    dlclose(lib);
}

// 3x2 pixels with distinct values in every channel, alpha 1.
Image testImage() {
    Image image(3, 2);
    for (size_t i = 0; i < image.rgba.size(); ++i) image.rgba[i] = (i % 4 == 3) ? 1.0f : float(i % 7) / 8.0f;
    return image;
}

std::vector<PF_Cmd> commands(const Host& host) {
    std::vector<PF_Cmd> out;
    for (const CommandRecord& r : host.log()) out.push_back(r.cmd);
    return out;
}

struct HostTest : testing::Test {
    Module module{FAKE_MODULE_good};
};

}  // namespace

TEST_F(HostTest, StartRunsTheSetupCommandsAndKeepsWhatTheModuleDeclared) {
    Host host(module, HostConfig{});
    ASSERT_EQ(host.start(), PF_Err_NONE);
    EXPECT_EQ(commands(host), (std::vector<PF_Cmd>{PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_SEQUENCE_SETUP}));
    EXPECT_EQ(host.effectVersion(), PF_VERSION(1, 2, 0, 3, 0));
    EXPECT_EQ(host.effectFlags(), PF_OutFlag_DEEP_COLOR_AWARE);
    ASSERT_EQ(host.paramCount(), 7);
    EXPECT_EQ(host.findParam("Gain"), 1);
    EXPECT_EQ(host.findParam("Matte"), 6);
    EXPECT_EQ(host.findParam("gain"), -1);
    EXPECT_EQ(host.param(3).uu.id, 5);
    EXPECT_EQ(host.popupChoices(4), (std::vector<std::string>{"One", "Two", "Three"}));
    ASSERT_NE(host.registeredUI(), nullptr);
    EXPECT_EQ(host.registeredUI()->events, int(PF_CustomEFlag_EFFECT));
    std::string about;
    EXPECT_EQ(host.about(&about), PF_Err_NONE);
    EXPECT_EQ(about, "Fake effect 7");
    EXPECT_EQ(host.log().back().message, "Fake effect 7");
    EXPECT_EQ(host.unsupportedCalls(), 0);
}

struct RenderCase {
    HostKind kind;
    uint32_t depth;
    bool smart;
};

struct HostRender : HostTest, testing::WithParamInterface<RenderCase> {};

TEST_P(HostRender, OutputIsTheInputScaledByTheGainAtEveryDepth) {
    HostConfig config;
    config.kind = GetParam().kind;
    config.depth = GetParam().depth;
    config.smartRender = GetParam().smart;
    Host host(module, config);
    Image input = testImage();
    host.setInput(input);
    ASSERT_EQ(host.start(), PF_Err_NONE);
    host.setFloat(1, 0.5);
    RenderResult frame = host.render(0);
    ASSERT_EQ(frame.result, PF_Err_NONE) << commandName(frame.failedCommand);
    ASSERT_EQ(frame.image.width, 3u);
    ASSERT_EQ(frame.image.height, 2u);
    const float tolerance = GetParam().depth == 8 ? 1 / 255.0f : 1 / 32768.0f;
    for (size_t i = 0; i < input.rgba.size(); ++i) {
        float expected = i % 4 == 3 ? 1.0f : input.rgba[i] * 0.5f;  // alpha stays full
        EXPECT_NEAR(frame.image.rgba[i], expected, tolerance) << "channel value " << i;
    }
    // Every checkout was checked in, every suite released, every frame handle freed.
    EXPECT_EQ(host.checkedOutParams(), 0);
    EXPECT_EQ(host.unmatchedCheckins(), 0);
    EXPECT_TRUE(host.suites().outstanding().empty());
    EXPECT_EQ(host.handles().liveCount(), 2u);  // global and sequence data
    EXPECT_EQ(host.handles().badCalls(), 0u);
    if (GetParam().kind == HostKind::Editing) {
        EXPECT_EQ(host.declaredPixelFormats().size(), 3u);
        EXPECT_EQ(commands(host).back(), PF_Cmd_FRAME_SETDOWN);
    } else if (GetParam().smart) {
        EXPECT_EQ(commands(host).back(), PF_Cmd_SMART_RENDER);
    }
    EXPECT_EQ(host.finish(), PF_Err_NONE);
    EXPECT_EQ(host.handles().leaks(), std::vector<std::string>{"module, PF_Cmd_GLOBAL_SETUP (8 bytes)"});
}

INSTANTIATE_TEST_SUITE_P(
    BothHosts, HostRender,
    testing::Values(RenderCase{HostKind::Compositing, 8, true}, RenderCase{HostKind::Compositing, 16, true},
                    RenderCase{HostKind::Compositing, 32, true}, RenderCase{HostKind::Compositing, 8, false},
                    RenderCase{HostKind::Editing, 8, false}, RenderCase{HostKind::Editing, 16, false},
                    RenderCase{HostKind::Editing, 32, false}),
    [](const testing::TestParamInfo<RenderCase>& info) {
        const RenderCase& c = info.param;
        return std::string(c.kind == HostKind::Editing ? "Editing"
                           : c.smart                   ? "Smart"
                                                       : "Compositing") +
               std::to_string(c.depth);
    });

TEST_F(HostTest, DownsampledRenderUsesTheSmallerLayer) {
    HostConfig config;
    config.downsampleX = config.downsampleY = {1, 2};
    Host host(module, config);
    host.setInput(Image(5, 4));
    ASSERT_EQ(host.start(), PF_Err_NONE);
    RenderResult frame = host.render(0);
    ASSERT_EQ(frame.result, PF_Err_NONE);
    EXPECT_EQ(frame.image.width, 3u);
    EXPECT_EQ(frame.image.height, 2u);
}

TEST_F(HostTest, MissingSuiteFailsTheCommandThatNeedsIt) {
    Host host(module, HostConfig{});
    host.setInput(testImage());
    ASSERT_EQ(host.start(), PF_Err_NONE);
    host.suites().setMissing(kPFPixelDataSuite);
    RenderResult frame = host.render(0);
    EXPECT_EQ(frame.result, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(frame.failedCommand, PF_Cmd_SMART_RENDER);
    EXPECT_EQ(host.suites().failedAcquisitions(kPFPixelDataSuite, 1), 1);
    EXPECT_EQ(host.log().back().result, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(errorName(frame.result), "PF_Err_BAD_CALLBACK_PARAM");
}

TEST_F(HostTest, ParamUtilsFallsBackToTheOldestVersion) {
    Host host(module, HostConfig{});
    ASSERT_EQ(host.start(), PF_Err_NONE);
    host.suites().setMissing(kPFParamUtilsSuite, 3);
    host.suites().setMissing(kPFParamUtilsSuite, 2);
    ASSERT_EQ(host.updateParamsUI(), PF_Err_NONE);
    ASSERT_EQ(host.uiUpdates().size(), 1u);
    EXPECT_EQ(host.uiUpdates()[0].index, 2);
    EXPECT_EQ(host.uiUpdates()[0].uiFlags & int(PF_PUI_DISABLED), int(PF_PUI_DISABLED));
    EXPECT_EQ(host.uiUpdates()[0].name, "Invert (off)");
    EXPECT_EQ(std::string(host.param(2).name), "Invert (off)");
    EXPECT_EQ(host.suites().acquired(kPFParamUtilsSuite, 1), 1);
    EXPECT_EQ(host.suites().released(kPFParamUtilsSuite, 1), 1);
    EXPECT_EQ(host.suites().failedAcquisitions(kPFParamUtilsSuite, 3), 1);
}

TEST_F(HostTest, LeakedHandlesAndHeldSuitesShow) {
    controlModule(true, true);
    Host host(module, HostConfig{});
    ASSERT_EQ(host.start(), PF_Err_NONE);
    host.finish();
    std::vector<std::string> leaks = host.handles().leaks();
    EXPECT_NE(std::find(leaks.begin(), leaks.end(), "module, PF_Cmd_SEQUENCE_SETUP (64 bytes)"), leaks.end());
    EXPECT_EQ(host.suites().outstanding(), std::vector<std::string>{"PF Handle Suite v2 (held 1)"});
    controlModule(false, false);
}

// A further instance shares the first one's global setup; only the host that
// ran it sends global setdown, once.
TEST_F(HostTest, AHostThatAdoptedGlobalSetupNeverSendsGlobalSetdown) {
    Host first(module, HostConfig{});
    ASSERT_EQ(first.start(), PF_Err_NONE);
    {
        Host second(module, HostConfig{});
        second.adoptGlobalSetup(first);
        ASSERT_EQ(second.paramsSetup(), PF_Err_NONE);
        ASSERT_EQ(second.sequenceSetup(), PF_Err_NONE);
        EXPECT_EQ(second.finish(), PF_Err_NONE);
        EXPECT_EQ(commands(second).back(), PF_Cmd_SEQUENCE_SETDOWN);
        const std::vector<PF_Cmd> sent = commands(second);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), PF_Cmd_GLOBAL_SETDOWN), 0);
    }
    EXPECT_EQ(first.finish(), PF_Err_NONE);
    EXPECT_EQ(commands(first).back(), PF_Cmd_GLOBAL_SETDOWN);
}

TEST_F(HostTest, SaveAndReloadRebuildsTheSequenceData) {
    Host host(module, HostConfig{});
    host.setInput(testImage());
    ASSERT_EQ(host.start(), PF_Err_NONE);
    ASSERT_EQ(host.saveAndReload(), PF_Err_NONE);
    std::vector<PF_Cmd> log = commands(host);
    EXPECT_EQ(std::vector<PF_Cmd>(log.end() - 3, log.end()),
              (std::vector<PF_Cmd>{PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN, PF_Cmd_SEQUENCE_RESETUP}));
    EXPECT_EQ(host.savedSequenceData().size(), 64u);
    EXPECT_EQ(host.handles().badCalls(), 0u);
    EXPECT_EQ(host.handles().liveCount(), 2u);
    EXPECT_EQ(host.render(0).result, PF_Err_NONE);
}

TEST_F(HostTest, EventsAndUserChangesReachTheModule) {
    Host host(module, HostConfig{});
    ASSERT_EQ(host.start(), PF_Err_NONE);
    int32_t flags = -1;
    EXPECT_EQ(host.event(3, &flags), PF_Err_NONE);
    EXPECT_EQ(flags, int(PF_EO_HANDLED_EVENT));
    EXPECT_EQ(host.event(2, &flags), PF_Err_NONE);
    EXPECT_EQ(flags, 0);

    const float color[4] = {0.25f, 0.5f, 1.0f, 1.0f};
    host.setColor(3, color);
    ASSERT_EQ(host.userChangedParam(3), PF_Err_NONE);
    EXPECT_EQ(std::string(host.outData().return_msg), "0.250 0.500 1.000 1.000");
    EXPECT_EQ(host.log().back().cmd, PF_Cmd_USER_CHANGED_PARAM);
    EXPECT_THROW(host.userChangedParam(9), Error);
}

TEST_F(HostTest, KeyframesHoldTheirValueUntilTheNext) {
    Host host(module, HostConfig{});
    host.setInput(testImage());
    ASSERT_EQ(host.start(), PF_Err_NONE);
    host.setFloat(1, 0.0);
    host.setKeyframe(1, 0);
    host.setFloat(1, 1.0);
    host.setKeyframe(1, 2000);
    EXPECT_NEAR(host.render(1000).image.rgba[1], 0.0f, 1e-6);
    EXPECT_NEAR(host.render(2000).image.rgba[1], testImage().rgba[1], 1 / 255.0f);
}

TEST_F(HostTest, ParameterValuesAreChecked) {
    Host host(module, HostConfig{});
    ASSERT_EQ(host.start(), PF_Err_NONE);
    EXPECT_THROW(host.setFloat(1, 2.5), Error);  // outside 0..2
    EXPECT_THROW(host.setPopup(4, 4), Error);
    host.setPopup(4, 3);
    EXPECT_EQ(host.param(4).u.pd.value, 3);
    try {
        host.setCheckbox(1, true);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "parameter 'Gain' is a slider, not a checkbox");
    }
    const double point[3] = {1.5, -2.25, 0};
    host.setPoint(5, point);
    EXPECT_EQ(host.param(5).u.td.x_value, 98304);
    EXPECT_EQ(host.param(5).u.td.y_value, -147456);
    EXPECT_THROW(host.setLayer(6, Image()), Error);
    EXPECT_THROW(host.setDepth(12), Error);
}

TEST_F(HostTest, EditingHostRefusesADepthTheModuleDidNotDeclare) {
    HostConfig config;
    config.kind = HostKind::Editing;
    Host host(module, config);
    host.setInput(testImage());
    host.suites().setMissing(kPFPixelFormatSuite);
    EXPECT_EQ(host.start(), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_THROW(host.render(0), Error);
}

#ifdef VANTREL_MODULE
// The default module through a whole project life in both hosts: every
// suite released, every checkout checked in, no handle misused, and no
// handle left: global setdown disposes of the global data.
TEST(DefaultModule, WholeLifecycleInBothHosts) {
    Module module(VANTREL_MODULE);
    for (HostKind kind : {HostKind::Compositing, HostKind::Editing}) {
        HostConfig config;
        config.kind = kind;
        Host host(module, config);
        host.setInput(Image(32, 16));
        ASSERT_EQ(host.start(), PF_Err_NONE);
        ASSERT_EQ(host.updateParamsUI(), PF_Err_NONE);
        RenderResult first = host.render(0);
        ASSERT_EQ(first.result, PF_Err_NONE) << commandName(first.failedCommand);
        EXPECT_EQ(first.image.width, 32u);
        ASSERT_EQ(host.saveAndReload(), PF_Err_NONE);
        EXPECT_EQ(host.savedSequenceData(), std::vector<uint8_t>(8192, 0));
        EXPECT_EQ(host.render(1000).result, PF_Err_NONE);
        ASSERT_EQ(host.finish(), PF_Err_NONE);
        EXPECT_TRUE(host.suites().outstanding().empty());
        EXPECT_EQ(host.suites().unmatchedReleases(), 0);
        EXPECT_EQ(host.checkedOutParams(), 0);
        EXPECT_EQ(host.unmatchedCheckins(), 0);
        EXPECT_EQ(host.unsupportedCalls(), 0);
        EXPECT_EQ(host.handles().badCalls(), 0u);
        EXPECT_EQ(host.handles().leaks(), std::vector<std::string>{});
        EXPECT_EQ(host.handles().created(), host.handles().disposed());
        if (kind == HostKind::Compositing) {
            EXPECT_EQ(host.aegpName(), "Vantrel");
            EXPECT_EQ(host.optionsButtonName(), " ");
        } else {
            EXPECT_FALSE(host.declaredPixelFormats().empty());
        }
    }
}
#endif

#ifdef VANTREL_MODULE
TEST(DefaultModule, AMissingSuiteFailsTheCommandAndReleasesWhatWasAcquired) {
    Module module(VANTREL_MODULE);
    Host host(module, HostConfig{});
    host.setInput(Image(8, 8));
    ASSERT_EQ(host.start(), PF_Err_NONE);
    host.suites().setMissing(kAEGPItemSuite);
    RenderResult frame = host.render(0);
    EXPECT_EQ(frame.result, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(frame.failedCommand, PF_Cmd_SMART_PRE_RENDER);
    EXPECT_GE(host.suites().failedAcquisitions(kAEGPItemSuite, kAEGPItemSuiteVersion6), 1);
    EXPECT_GE(host.suites().acquired(kAEGPCompSuite, kAEGPCompSuiteVersion4), 1);
    EXPECT_TRUE(host.suites().outstanding().empty());
    EXPECT_EQ(host.suites().unmatchedReleases(), 0);
}

TEST(DefaultModule, ParameterUIUpdatesUseTheOldestParamUtilsWhenAlone) {
    Module module(VANTREL_MODULE);
    Host host(module, HostConfig{});
    ASSERT_EQ(host.start(), PF_Err_NONE);
    host.suites().setMissing(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
    host.suites().setMissing(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1);
    ASSERT_EQ(host.updateParamsUI(), PF_Err_NONE);
    EXPECT_FALSE(host.uiUpdates().empty());
    EXPECT_EQ(host.suites().released(kPFParamUtilsSuite, kPFParamUtilsSuiteVersionOld), 1);
    EXPECT_EQ(host.outData().out_flags & int32_t(PF_OutFlag_REFRESH_UI), int32_t(PF_OutFlag_REFRESH_UI));
}
#endif
