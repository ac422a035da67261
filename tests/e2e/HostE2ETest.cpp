// The default module through the stand-in host: the host glue's lifecycle,
// registration and bookkeeping as a host sees them.
#include <gtest/gtest.h>

#include "tests/e2e/E2E.h"

TEST(HostE2E, CompositingHostLifecycleLeavesNothingBehind) {
    hostsim::Module module(VANTREL_MODULE);
    hostsim::Host host(module, e2e::hostConfig(hostsim::HostKind::Compositing));
    ASSERT_EQ(host.start(), PF_Err_NONE);
    // Version 1.2, release stage, build 0; configured flags plus the fixed ones.
    EXPECT_EQ(host.effectVersion(), 0x90600u);
    EXPECT_EQ(host.effectFlags(), 0x06008025u);
    EXPECT_EQ(host.effectFlags2(), 0x1400u);
    EXPECT_EQ(host.aegpName(), "Vantrel");
    EXPECT_EQ(host.optionsButtonName(), " ");
    ASSERT_NE(host.registeredUI(), nullptr);
    EXPECT_EQ(host.registeredUI()->events, 4);
    ASSERT_GT(host.paramCount(), 1);
    EXPECT_EQ(host.param(1).uu.id, 3);

    std::string about;
    ASSERT_EQ(host.about(&about), PF_Err_NONE);
    EXPECT_EQ(about.rfind("Vantrel", 0), 0u);

    ASSERT_EQ(host.updateParamsUI(), PF_Err_NONE);
    hostsim::Image input(64, 32);
    host.setInput(input);
    EXPECT_EQ(host.render(0).result, PF_Err_NONE);
    ASSERT_EQ(host.saveAndReload(), PF_Err_NONE);
    EXPECT_EQ(host.savedSequenceData(), std::vector<uint8_t>(8192, 0));
    EXPECT_EQ(host.render(1000).result, PF_Err_NONE);
    ASSERT_EQ(host.finish(), PF_Err_NONE);

    // Global setdown disposes of the global data too.
    e2e::expectNothingLeftBehind(host);
}

TEST(HostE2E, EditingHostGetsItsPixelFormatsAndNoAboutBox) {
    hostsim::Module module(VANTREL_MODULE);
    hostsim::Host host(module, e2e::hostConfig(hostsim::HostKind::Editing));
    ASSERT_EQ(host.start(), PF_Err_NONE);
    const std::vector<uint32_t> formats{0x62677261, 0x62677278, 0x62677258, 0x62677241, 0x62675241, 0x62675258};
    EXPECT_EQ(host.declaredPixelFormats(), formats);
    EXPECT_EQ(host.effectFlags() & 0x2000000u, 0u);
    EXPECT_EQ(host.effectFlags2() & 0x1000u, 0u);
    std::string about = "unchanged";
    ASSERT_EQ(host.about(&about), PF_Err_NONE);
    EXPECT_TRUE(about.empty() || about == "unchanged");
    hostsim::Image input(40, 20);
    host.setInput(input);
    EXPECT_EQ(host.render(0).result, PF_Err_NONE);
    ASSERT_EQ(host.finish(), PF_Err_NONE);
    e2e::expectNothingLeftBehind(host);
}
