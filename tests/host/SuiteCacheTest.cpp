#include <gtest/gtest.h>

#include "host/SuiteCache.h"
#include "tests/host/FakeHost.h"
#include "tests/host/FakePlugin.h"

using host::DirectSuite;
using host::SuiteCache;

TEST(SuiteCache, ASuiteAskedTwiceIsAcquiredAndReleasedOnce) {
    FakeHost host;
    {
        SuiteCache suites(&host.in);
        const PF_HandleSuite1* a = suites.handles();
        const PF_HandleSuite1* b = suites.handles();
        EXPECT_EQ(a, &host.handleSuite);
        EXPECT_EQ(a, b);
        EXPECT_EQ((host.acquired[{kPFHandleSuite, 2}]), 1);
        EXPECT_EQ(host.releasedTotal(), 0);
    }
    EXPECT_EQ((host.released[{kPFHandleSuite, 2}]), 1);
}

TEST(SuiteCache, AMissingSuiteThrows516AndReleasesTheOthersOnce) {
    FakeHost host;
    host.missing.insert({kPFColorParamSuite, 1});
    try {
        SuiteCache suites(&host.in);
        suites.handles();
        suites.get<PF_ColorParamSuite1>(kPFColorParamSuite, 1);
        FAIL() << "no exception";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
    EXPECT_EQ((host.released[{kPFHandleSuite, 2}]), 1);
    EXPECT_EQ((host.released[{kPFColorParamSuite, 1}]), 0);
    EXPECT_EQ(host.releasedTotal(), 1);
}

TEST(SuiteCache, NoBasicSuiteThrows516) {
    FakeHost host;
    host.in.pica_basicP = nullptr;
    EXPECT_THROW(SuiteCache suites(&host.in), PF_Err);
}

TEST(SuiteCache, DirectSuiteFallsBackAndReleasesTheVersionItGot) {
    FakeHost host;
    host.missing.insert({kPFParamUtilsSuite, 3});
    {
        DirectSuite<PF_ParamUtilsSuite3> utils(&host.in, kPFParamUtilsSuite, {3, 2, 1});
        ASSERT_TRUE(utils);
        EXPECT_EQ(utils.acquiredVersion(), 2);
    }
    EXPECT_EQ((host.released[{kPFParamUtilsSuite, 2}]), 1);
    EXPECT_EQ(host.releasedTotal(), 1);
    host.in.pica_basicP = nullptr;
    DirectSuite<PF_ParamUtilsSuite3> none(&host.in, kPFParamUtilsSuite, {3});
    EXPECT_FALSE(none);
}

// A handler whose second suite is missing: global setup in the compositing
// host takes the handle suite and then the AEGP utility suite.
TEST(SuiteCache, HandlerWithASecondSuiteMissingReturns516AndCleansUp) {
    FakeHost host;
    host.missing.insert({kAEGPUtilitySuite, 7});
    EXPECT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ((host.acquired[{kPFHandleSuite, 2}]), 1);
    EXPECT_EQ((host.released[{kPFHandleSuite, 2}]), 1);
    EXPECT_EQ(host.releasedTotal(), 1);
    EXPECT_TRUE(host.liveHandles.empty());
    EXPECT_EQ(host.out.global_data, nullptr);
}

TEST(SuiteCache, ParamUtilsOnlyInVersion1StillUpdatesTheUI) {
    FakeHost host;
    host.missing.insert({kPFParamUtilsSuite, 3});
    host.missing.insert({kPFParamUtilsSuite, 2});
    fakePlugin().addParam(LX_FLOAT, "Amount", {0.5f, 0, 0, 0});
    ASSERT_EQ(host.call(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    host.in.sequence_data = host.out.sequence_data;
    std::vector<PF_ParamDef*> params = host.paramList();
    ASSERT_EQ(host.call(PF_Cmd_UPDATE_PARAMS_UI, params.data()), PF_Err_NONE);
    ASSERT_EQ(host.uiUpdates.size(), 1u);
    EXPECT_EQ(host.uiUpdates[0].first, 1);
    EXPECT_EQ((host.acquired[{kPFParamUtilsSuite, 1}]), 1);
    EXPECT_EQ((host.released[{kPFParamUtilsSuite, 1}]), 1);
    EXPECT_EQ((host.released[{kPFParamUtilsSuite, 2}]), 0);
    EXPECT_EQ((host.released[{kPFParamUtilsSuite, 3}]), 0);
}

TEST(SuiteCache, EveryCommandReleasesWhatItAcquired) {
    FakeHost host;
    FakePlugin& fx = fakePlugin();
    fx.addParam(LX_COLOR, "Tint", {10, 20, 30, 0});
    fx.addParam(LX_FLOAT, "Amount", {0.5f, 0, 0, 0});
    ASSERT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    ASSERT_EQ(host.call(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    host.in.sequence_data = host.out.sequence_data;
    std::vector<PF_ParamDef*> params = host.paramList();
    ASSERT_EQ(host.call(PF_Cmd_UPDATE_PARAMS_UI, params.data()), PF_Err_NONE);
    ASSERT_EQ(host.call(PF_Cmd_FRAME_SETUP, params.data()), PF_Err_NONE);
    for (const auto& [key, count] : host.acquired) {
        EXPECT_EQ(count, host.released[key]) << key.first << " " << key.second;
    }
    EXPECT_EQ(host.acquiredTotal(), host.releasedTotal());
}
