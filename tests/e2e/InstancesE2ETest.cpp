// Several instances of one effect in one host, and what an instance leaves
// behind when the host removes or rebuilds it. The probe fixture shows the
// serials a new render target and texture would get: the lowest free ones,
// so every entity still alive pushes them up.
#include <gtest/gtest.h>

#include "tests/e2e/E2E.h"

using hostsim::Host;
using hostsim::HostKind;
using hostsim::Image;
using hostsim::RenderResult;

namespace {

struct Probe {
    long target, texture, mark;
    bool operator==(const Probe& o) const { return target == o.target && texture == o.texture && mark == o.mark; }
};

std::ostream& operator<<(std::ostream& out, const Probe& p) {
    return out << "{target " << p.target << ", texture " << p.texture << ", mark " << p.mark << "}";
}

// What an 8-bit frame of the probe shows, the same in every pixel.
Probe probe(const RenderResult& frame) {
    EXPECT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
    if (frame.image.width == 0) return {-1, -1, -1};
    const float* first = frame.image.pixel(0, 0);
    for (uint32_t y = 0; y < frame.image.height; ++y)
        for (uint32_t x = 0; x < frame.image.width; ++x)
            EXPECT_EQ(std::vector<float>(first, first + 4),
                      std::vector<float>(frame.image.pixel(x, y), frame.image.pixel(x, y) + 4));
    return {e2e::stored(first[0], 8), e2e::stored(first[1], 8), e2e::stored(first[2], 8)};
}

// A further instance in a host that set the module up already: the
// parameters are registered again, the global setup is not repeated.
PF_Err addInstance(Host& host) {
    const PF_Err err = host.paramsSetup();
    return err != PF_Err_NONE ? err : host.sequenceSetup();
}

// The probe module with its first instance (global setup included) over a
// 4x2 input.
struct InstancesE2E : testing::Test {
    void SetUp() override {
        first.setInput(Image(4, 2));
        ASSERT_EQ(first.start(), PF_Err_NONE);
    }
    hostsim::Module module{FIXTURE_PROBE};
    Host first{module, e2e::hostConfig(HostKind::Compositing)};
};

}  // namespace

// Entities alive while the probe draws: the Matte layer's texture (made at
// setup), each instance's output target and input texture, nothing else.
TEST_F(InstancesE2E, TwoInstancesRenderApartAndRemovingOneLeavesTheOtherWhole) {
    Host second(module, e2e::hostConfig(HostKind::Compositing));
    second.setInput(Image(3, 5));
    ASSERT_EQ(addInstance(second), PF_Err_NONE);
    first.setFloat(first.findParam("Mark"), 0.2);
    second.setFloat(second.findParam("Mark"), 0.6);

    // Targets: first 1, second 2; textures: matte 1, first 2, second 3.
    EXPECT_EQ(probe(first.render(0)), (Probe{2, 3, 51}));
    const RenderResult secondFrame = second.render(0);
    EXPECT_EQ(secondFrame.image.width, 3u);
    EXPECT_EQ(probe(secondFrame), (Probe{3, 4, 153}));
    EXPECT_EQ(probe(first.render(1000)), (Probe{3, 4, 51}));

    // The first instance's target and texture are free again.
    ASSERT_EQ(first.sequenceSetdown(), PF_Err_NONE);
    EXPECT_EQ(probe(second.render(1000)), (Probe{1, 2, 153}));
    EXPECT_EQ(probe(second.render(2000)), (Probe{1, 2, 153}));
    ASSERT_EQ(second.finish(), PF_Err_NONE);
    ASSERT_EQ(first.finish(), PF_Err_NONE);
    e2e::expectNothingLeftBehind(first);
    e2e::expectNothingLeftBehind(second);
}

// A script error belongs to the instance whose call failed: its frame shows
// it (transparent black, with the message), the other instance renders as
// usual, and the failing instance draws again once its call succeeds.
TEST_F(InstancesE2E, AnErrorStaysWithTheInstanceWhoseCallFailed) {
    Host second(module, e2e::hostConfig(HostKind::Compositing));
    second.setInput(Image(4, 2));
    ASSERT_EQ(addInstance(second), PF_Err_NONE);
    first.setFloat(first.findParam("Mark"), 0.2);
    second.setFloat(second.findParam("Mark"), 1);

    const RenderResult failed = second.render(0);
    ASSERT_EQ(failed.result, PF_Err_NONE);
    EXPECT_NE(failed.message.find("probe marked"), std::string::npos) << failed.message;
    EXPECT_EQ(failed.image.rgba, std::vector<float>(failed.image.rgba.size(), 0.0f));
    const RenderResult fine = first.render(0);
    EXPECT_EQ(fine.message, "");
    EXPECT_EQ(probe(fine).mark, 51);

    second.setFloat(second.findParam("Mark"), 0.6);
    const RenderResult recovered = second.render(1000);
    EXPECT_EQ(recovered.message, "");
    EXPECT_EQ(probe(recovered).mark, 153);
    EXPECT_EQ(probe(first.render(1000)).mark, 51);
    ASSERT_EQ(second.finish(), PF_Err_NONE);
    ASSERT_EQ(first.finish(), PF_Err_NONE);
}

TEST_F(InstancesE2E, RebuildingAnInstanceFreesWhatItHeld) {
    const Probe alone{2, 3, 0};
    EXPECT_EQ(probe(first.render(0)), alone);
    ASSERT_EQ(first.saveAndReload(), PF_Err_NONE);
    EXPECT_EQ(probe(first.render(0)), alone);
    // Sequence setup over the live block replaces the instance.
    ASSERT_EQ(first.sequenceSetup(), PF_Err_NONE);
    EXPECT_EQ(probe(first.render(0)), alone);
    ASSERT_EQ(first.finish(), PF_Err_NONE);
    e2e::expectNothingLeftBehind(first);
}

// A block the module never filled (no sequence handle) renders as an effect
// without an instance: the input comes back unchanged (copied by the host,
// here between bottom-up worlds), and the instance that rendered last is
// neither drawn nor shown in its place.
TEST_F(InstancesE2E, BlockWithoutAHandleShowsNoOtherInstance) {
    first.setFloat(first.findParam("Mark"), 0.6);
    EXPECT_EQ(probe(first.render(0)), (Probe{2, 3, 153}));

    hostsim::HostConfig bottomUp = e2e::hostConfig(HostKind::Compositing);
    bottomUp.bottomUp = true;
    Host stray(module, bottomUp);
    Image input(4, 2);
    for (uint32_t i = 0; i < input.rgba.size(); ++i) input.rgba[i] = float(i * 7 % 256) / 255.0f;
    stray.setInput(input);
    ASSERT_EQ(stray.paramsSetup(), PF_Err_NONE);
    stray.useSequenceData(std::vector<uint8_t>(8192, 0));
    const RenderResult frame = stray.render(0);
    ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
    EXPECT_EQ(frame.image.rgba, input.rgba);

    EXPECT_EQ(probe(first.render(1000)), (Probe{2, 3, 153}));
    ASSERT_EQ(stray.finish(), PF_Err_NONE);
    ASSERT_EQ(first.finish(), PF_Err_NONE);
    e2e::expectNothingLeftBehind(stray);
}
