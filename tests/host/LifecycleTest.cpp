#include <gtest/gtest.h>

#include <cstring>

#include "host/Handlers.h"
#include "host/SequenceData.h"
#include "package/ConfigDocument.h"
#include "tests/host/FakeHost.h"
#include "tests/host/FakePlugin.h"

namespace {

const host::GlobalData& globalData(FakeHost& host) {
    return *static_cast<const host::GlobalData*>(*host.out.global_data);
}

}  // namespace

TEST(About, WritesTheAboutTextInTheCompositingHost) {
    FakeHost host;
    fakePlugin().texts[0] = "Lumivex effect\rversion 1";
    EXPECT_EQ(host.call(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_STREQ(host.out.return_msg, "Lumivex effect\rversion 1");
}

TEST(About, IsSilentInTheEditingHost) {
    FakeHost host(true);
    std::memset(host.out.return_msg, 'q', sizeof host.out.return_msg);
    EXPECT_EQ(host.call(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_EQ(host.out.return_msg[0], 'q');
    EXPECT_EQ(host.out.return_msg[255], 'q');
}

TEST(About, OverlongTextStaysInsideTheMessageField) {
    FakeHost host;
    fakePlugin().texts[0] = std::string(600, 'a');
    EXPECT_EQ(host.call(PF_Cmd_ABOUT), PF_Err_NONE);
    EXPECT_EQ(std::strlen(host.out.return_msg), 255u);
}

TEST(GlobalSetup, ReportsVersionWordFromTheConfiguration) {
    struct Case {
        uint32_t major, minor, stage, build, word;
    };
    for (const Case& c : {Case{1, 2, 3, 3, 0x90603}, Case{9, 17, 1, 600, 0x88258}, Case{1, 2, 3, 0, 0x90600}}) {
        EXPECT_EQ(package::hostVersionWord(packVersion(c.major, c.minor, c.stage, c.build)), c.word);
    }
    FakeHost host;
    fakePlugin().version = packVersion(9, 17, 1, 600);
    ASSERT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(host.out.my_version, 0x88258u);
}

TEST(GlobalSetup, FlagsZeroGiveTheFixedFlagsAndRegistersWithAEGP) {
    FakeHost host;
    fakePlugin().texts[2] = "Lumivex registration";
    ASSERT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(static_cast<uint32_t>(host.out.out_flags), 0x04008005u);
    EXPECT_EQ(host.out.out_flags2, 0);
    EXPECT_EQ(fakePlugin().initInstance, host.moduleInstance);
    EXPECT_EQ(host.registeredName, "Lumivex registration");
    ASSERT_NE(host.out.global_data, nullptr);
    EXPECT_EQ(host.liveHandles.at(host.out.global_data), 8u);
    EXPECT_EQ(globalData(host).initialised, 1);
    EXPECT_EQ(globalData(host).pluginId, 77);
    EXPECT_TRUE(host.pixelFormatsAdded.empty());
    EXPECT_EQ(host.acquiredTotal(), host.releasedTotal());
}

TEST(GlobalSetup, InitFailureGives512) {
    FakeHost host;
    fakePlugin().initResult = false;
    EXPECT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(host.out.global_data, nullptr);
}

TEST(GlobalSetup, FailedRegistrationIsReturnedAndLeavesNoHandle) {
    FakeHost host;
    host.registerResult = A_Err_GENERIC;
    EXPECT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), A_Err_GENERIC);
    EXPECT_EQ(host.out.global_data, nullptr);
    EXPECT_TRUE(host.liveHandles.empty());
}

TEST(GlobalSetup, NoMemoryForGlobalDataGives512) {
    FakeHost host;
    host.failNewHandle = true;
    EXPECT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST(GlobalSetup, EditingHostGetsDeepAndFloatFormatsAndLosesThoseFlags) {
    FakeHost host(true);
    fakePlugin().flags = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_I_DO_DIALOG;
    fakePlugin().flags2 = PF_OutFlag2_FLOAT_COLOR_AWARE | PF_OutFlag2_SUPPORTS_SMART_RENDER;
    ASSERT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(host.pixelFormatsCleared, 1);
    const std::vector<uint32_t> expected{0x62677261, 0x62677278, 0x62677258, 0x62677241, 0x62675241, 0x62675258};
    EXPECT_EQ(host.pixelFormatsAdded, expected);
    EXPECT_EQ(static_cast<uint32_t>(host.out.out_flags), 0x04008005u | PF_OutFlag_I_DO_DIALOG);
    EXPECT_EQ(static_cast<uint32_t>(host.out.out_flags2),
              PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER);
    // The editing host keeps global data without an AEGP registration.
    ASSERT_NE(host.out.global_data, nullptr);
    EXPECT_EQ(globalData(host).initialised, 1);
    EXPECT_TRUE(host.registeredName.empty());
    EXPECT_EQ(host.acquiredTotal(), host.releasedTotal());
}

TEST(GlobalSetup, EditingHostWithoutDeepColorGetsEightBitFormatsOnly) {
    FakeHost host(true);
    ASSERT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    const std::vector<uint32_t> expected{0x62677261, 0x62677278};
    EXPECT_EQ(host.pixelFormatsAdded, expected);
}

TEST(GlobalSetup, EditingHostWithoutPixelFormatSuiteSkipsTheFormats) {
    FakeHost host(true);
    host.missing.insert({kPFPixelFormatSuite, 1});
    fakePlugin().flags = PF_OutFlag_DEEP_COLOR_AWARE;
    EXPECT_EQ(host.call(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_TRUE(host.pixelFormatsAdded.empty());
    EXPECT_TRUE(static_cast<uint32_t>(host.out.out_flags) & PF_OutFlag_DEEP_COLOR_AWARE);
}

class SequenceTest : public ::testing::Test {
protected:
    FakeHost host;
    FakePlugin& fx = fakePlugin();

    // Runs sequence setup and hands the made block back in in_data, as the
    // host does on later calls.
    void setUpSequence() {
        ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
        host.in.sequence_data = host.out.sequence_data;
        host.out.sequence_data = nullptr;
    }
    const host::SequenceData& data(PF_Handle h) { return *static_cast<const host::SequenceData*>(*h); }
};

TEST_F(SequenceTest, SetupMakesAZeroedBlockWithANewSequence) {
    setUpSequence();
    ASSERT_NE(host.in.sequence_data, nullptr);
    EXPECT_EQ(host.liveHandles.at(host.in.sequence_data), 8192u);
    EXPECT_EQ(data(host.in.sequence_data).handle, fx.sequences.at(0).get());
    const std::vector<uint8_t> bytes = host.handleBytes(host.in.sequence_data);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i < 32 || i >= 40) {
            ASSERT_EQ(bytes[i], 0) << i;
        }
    }
}

TEST_F(SequenceTest, SetupOnAnInstanceWithDataDeletesTheOldSequenceFirst) {
    setUpSequence();
    script::SequenceHandle* first = data(host.in.sequence_data).handle;
    setUpSequence();
    EXPECT_EQ(fx.deleted, 1);
    EXPECT_EQ(fx.liveSequences(), 1);
    EXPECT_NE(data(host.in.sequence_data).handle, first);
    EXPECT_EQ(host.liveHandles.size(), 1u);
}

TEST_F(SequenceTest, WithoutTheHandleSuiteSetupKeepsTheInstanceAndSetdownEndsIt) {
    setUpSequence();
    script::SequenceHandle* first = data(host.in.sequence_data).handle;
    host.missing.insert({kPFHandleSuite, kPFHandleSuiteVersion1});
    EXPECT_NE(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    // The host keeps its block; the Sequence it names must still be alive.
    EXPECT_EQ(fx.deleted, 0);
    EXPECT_EQ(data(host.in.sequence_data).handle, first);
    host.missing.clear();
    setUpSequence();
    EXPECT_EQ(fx.deleted, 1);
    EXPECT_EQ(host.liveHandles.size(), 1u);
    // Setdown without the suite still ends the Sequence; the block the host
    // keeps names none.
    host.missing.insert({kPFHandleSuite, kPFHandleSuiteVersion1});
    EXPECT_NE(host.call(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(fx.liveSequences(), 0);
    EXPECT_EQ(data(host.in.sequence_data).handle, nullptr);
}

TEST_F(SequenceTest, SetupWithoutMemoryGives4) {
    host.failNewHandle = true;
    EXPECT_EQ(host.call(PF_Cmd_SEQUENCE_SETUP), PF_Err_OUT_OF_MEMORY);
}

TEST_F(SequenceTest, FlattenGives8192ZeroBytesAndKeepsTheLiveData) {
    setUpSequence();
    PF_Handle live = host.in.sequence_data;
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    PF_Handle flat = host.out.sequence_data;
    ASSERT_NE(flat, nullptr);
    ASSERT_NE(flat, live);
    EXPECT_EQ(host.handleBytes(flat), std::vector<uint8_t>(8192, 0));
    EXPECT_EQ(fx.current, data(live).handle);
    EXPECT_EQ(host.liveHandles.count(live), 1u);
}

TEST_F(SequenceTest, ResetupFromAFlatBlockMakesAFreshSequence) {
    setUpSequence();
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    // A reloaded project: the host hands back only the flat block.
    host.in.sequence_data = host.out.sequence_data;
    host.out = PF_OutData{};
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    ASSERT_NE(host.out.sequence_data, nullptr);
    EXPECT_EQ(fx.sequences.size(), 2u);
    EXPECT_EQ(data(host.out.sequence_data).handle, fx.sequences.at(1).get());
    EXPECT_EQ(fx.current, fx.sequences.at(1).get());
    EXPECT_TRUE(host.out.out_flags & PF_OutFlag_REFRESH_UI);
    EXPECT_FALSE(host.out.out_flags & PF_OutFlag_FORCE_RERENDER);
}

TEST_F(SequenceTest, ResetupInAnOlderHostForcesARerender) {
    host.in.version = {13, 2};
    setUpSequence();
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    EXPECT_TRUE(host.out.out_flags & PF_OutFlag_FORCE_RERENDER);
}

TEST_F(SequenceTest, ResetupAndFlattenWithoutDataDoNothing) {
    EXPECT_EQ(host.call(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    EXPECT_EQ(host.call(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    EXPECT_EQ(host.out.sequence_data, nullptr);
    EXPECT_EQ(host.handlesMade, 0);
}

TEST_F(SequenceTest, SetdownLeavesNoHandlesOrSequences) {
    setUpSequence();
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    PF_Handle flat = host.out.sequence_data;
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host.in.sequence_data, nullptr);
    EXPECT_EQ(fx.liveSequences(), 0);
    // Setting down the flat block the host was given frees it too.
    host.in.sequence_data = flat;
    ASSERT_EQ(host.call(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_TRUE(host.liveHandles.empty());
    EXPECT_EQ(host.acquiredTotal(), host.releasedTotal());
    EXPECT_EQ(host.call(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
}
