// The default effect, Vantrel, as a host sees it: its parameters, frames at
// every depth in both hosts, the grown output, the greyed controls and the
// palette stage.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <utility>

#include "hostsim/Host.h"

namespace {

// Colour bars over a grey ramp, opaque.
hostsim::Image card(uint32_t width, uint32_t height) {
    static const float kBars[6][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}, {1, 0, 0}, {0, 0, 0}};
    hostsim::Image image(width, height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            float* p = image.pixel(x, y);
            const float ramp = float(x) / float(width - 1);
            for (int c = 0; c < 3; ++c) p[c] = y < height / 2 ? kBars[x * 6 / width][c] : ramp;
            p[3] = 1;
        }
    }
    return image;
}

class VantrelTest : public ::testing::Test {
protected:
    hostsim::Module module{VANTREL_MODULE};

    // A started instance of the effect on a 64x32 card.
    std::unique_ptr<hostsim::Host> start(hostsim::HostKind kind = hostsim::HostKind::Compositing, uint32_t depth = 8) {
        hostsim::HostConfig config;
        config.kind = kind;
        config.depth = depth;
        auto host = std::make_unique<hostsim::Host>(module, config);
        host->setInput(card(64, 32));
        EXPECT_EQ(host->start(), PF_Err_NONE);
        return host;
    }

    static int32_t index(hostsim::Host& host, const std::string& name) {
        const int32_t i = host.findParam(name);
        EXPECT_GT(i, 0) << name;
        return i;
    }

    static void choose(hostsim::Host& host, const std::string& name, int32_t entry) {
        host.setPopup(index(host, name), entry);
        ASSERT_EQ(host.userChangedParam(index(host, name)), PF_Err_NONE);
    }

    static void set(hostsim::Host& host, const std::string& name, double value) {
        host.setFloat(index(host, name), value);
        ASSERT_EQ(host.userChangedParam(index(host, name)), PF_Err_NONE);
    }

    // Renders a frame and expects no error, neither returned nor shown.
    static hostsim::RenderResult frame(hostsim::Host& host) {
        hostsim::RenderResult result = host.render(0);
        EXPECT_EQ(result.result, PF_Err_NONE);
        EXPECT_STREQ(host.outData().return_msg, "");
        return result;
    }

    static bool disabled(hostsim::Host& host, const std::string& name) {
        return (host.param(index(host, name)).ui_flags & PF_PUI_DISABLED) != 0;
    }
};

TEST_F(VantrelTest, DeclaresEveryParameterWithItsKind) {
    auto host = start();
    const std::vector<std::pair<std::string, PF_ParamType>> expected = {{"Glow", PF_Param_GROUP_START},
                                                                        {"Threshold", PF_Param_FLOAT_SLIDER},
                                                                        {"Glow Radius", PF_Param_FLOAT_SLIDER},
                                                                        {"Intensity", PF_Param_FLOAT_SLIDER},
                                                                        {"Streak Length", PF_Param_FLOAT_SLIDER},
                                                                        {"Streak Angle", PF_Param_ANGLE},
                                                                        {"Tint", PF_Param_COLOR},
                                                                        {"", PF_Param_GROUP_END},
                                                                        {"Light Leak", PF_Param_GROUP_START},
                                                                        {"Leak Centre", PF_Param_POINT},
                                                                        {"Leak Radius", PF_Param_FLOAT_SLIDER},
                                                                        {"Leak Strength", PF_Param_FLOAT_SLIDER},
                                                                        {"Texture", PF_Param_POPUP},
                                                                        {"Texture Amount", PF_Param_FLOAT_SLIDER},
                                                                        {"", PF_Param_GROUP_END},
                                                                        {"Posterize", PF_Param_GROUP_START},
                                                                        {"Palette", PF_Param_POPUP},
                                                                        {"Dither", PF_Param_POPUP},
                                                                        {"Dither Amount", PF_Param_FLOAT_SLIDER},
                                                                        {"Serpentine", PF_Param_CHECKBOX},
                                                                        {"Greyscale", PF_Param_CHECKBOX},
                                                                        {"Pixel Size", PF_Param_FLOAT_SLIDER},
                                                                        {"", PF_Param_GROUP_END},
                                                                        {"Blend Layer", PF_Param_LAYER},
                                                                        {"Blend Amount", PF_Param_FLOAT_SLIDER},
                                                                        {"Grow", PF_Param_FLOAT_SLIDER}};
    // Names as the host shows them once the effect has refreshed its UI.
    ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
    ASSERT_EQ(host->paramCount(), int32_t(expected.size()) + 1);
    for (size_t i = 0; i < expected.size(); ++i) {
        const PF_ParamDef& def = host->param(int32_t(i) + 1);
        EXPECT_EQ(def.param_type, expected[i].second) << i;
        EXPECT_EQ(std::string(def.name), expected[i].first) << i;
    }
    // Popups list the palettes and dithers the image library knows.
    EXPECT_EQ(host->popupChoices(index(*host, "Palette")).size(), 21u);
    EXPECT_EQ(host->popupChoices(index(*host, "Dither")).size(), 13u);
    const PF_FloatSliderDef& grow = host->param(index(*host, "Grow")).u.fs_d;
    EXPECT_EQ(grow.valid_min, 0);
    EXPECT_EQ(grow.valid_max, 400);
    EXPECT_EQ(host->param(index(*host, "Intensity")).u.fs_d.precision, 2);
}

TEST_F(VantrelTest, RendersAtEveryDepthInBothHosts) {
    for (auto kind : {hostsim::HostKind::Compositing, hostsim::HostKind::Editing}) {
        for (uint32_t depth : {8u, 16u, 32u}) {
            SCOPED_TRACE("depth " + std::to_string(depth) + (kind == hostsim::HostKind::Editing ? " editing" : ""));
            auto host = start(kind, depth);
            hostsim::RenderResult result = frame(*host);
            ASSERT_EQ(result.image.width, 64u);
            ASSERT_EQ(result.image.height, 32u);
            // The layer stays opaque and the glow lifts the black bar's lower
            // edge next to the white ramp end (an error frame is transparent).
            EXPECT_NEAR(result.image.pixel(5, 5)[3], 1.0f, 1e-3f);
            EXPECT_NEAR(result.image.pixel(5, 5)[0], 1.0f, 0.02f);
            EXPECT_GT(result.image.pixel(60, 15)[0], 0.05f);
            EXPECT_EQ(host->finish(), PF_Err_NONE);
        }
    }
}

TEST_F(VantrelTest, GrowEnlargesTheOutputOnEverySide) {
    for (auto kind : {hostsim::HostKind::Compositing, hostsim::HostKind::Editing}) {
        auto host = start(kind);
        set(*host, "Grow", 24);
        set(*host, "Leak Strength", 0);  // the leak would light the whole small frame
        hostsim::RenderResult result = frame(*host);
        EXPECT_EQ(result.image.width, 64u + 48u);
        EXPECT_EQ(result.image.height, 32u + 48u);
        // The layer sits in the middle, the border is light on transparency.
        EXPECT_NEAR(result.image.pixel(24 + 5, 24 + 5)[3], 1.0f, 1e-3f);
        EXPECT_LT(result.image.pixel(0, 0)[3], 0.5f);
        if (kind == hostsim::HostKind::Compositing) {
            EXPECT_EQ(result.originX, -24);
            EXPECT_EQ(result.originY, -24);
        }
    }
}

TEST_F(VantrelTest, ControlsThatDoNotApplyAreGreyed) {
    auto host = start();
    ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
    for (const char* name : {"Dither", "Dither Amount", "Serpentine", "Greyscale", "Pixel Size"})
        EXPECT_TRUE(disabled(*host, name)) << name;
    EXPECT_FALSE(disabled(*host, "Streak Angle"));

    choose(*host, "Palette", 9);  // Primaries 8, with Floyd-Steinberg
    set(*host, "Streak Length", 0);
    ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
    for (const char* name : {"Dither", "Serpentine", "Greyscale", "Pixel Size"})
        EXPECT_FALSE(disabled(*host, name)) << name;
    EXPECT_TRUE(disabled(*host, "Dither Amount"));  // only ordered dithers and the threshold use it
    EXPECT_TRUE(disabled(*host, "Streak Angle"));

    choose(*host, "Dither", 12);  // Ordered 4x4
    ASSERT_EQ(host->updateParamsUI(), PF_Err_NONE);
    EXPECT_FALSE(disabled(*host, "Dither Amount"));
    EXPECT_TRUE(disabled(*host, "Serpentine"));
}

TEST_F(VantrelTest, PaletteStageLeavesOnlyThePalettesColours) {
    // Primaries 8, as red, green, blue.
    const std::array<std::array<int, 3>, 8> primaries = {{{0x00, 0x00, 0x00},
                                                          {0x00, 0x27, 0xFB},
                                                          {0x00, 0xF9, 0x2C},
                                                          {0x00, 0xFC, 0xFE},
                                                          {0xFF, 0x30, 0x16},
                                                          {0xFF, 0x3F, 0xFC},
                                                          {0xFF, 0xFD, 0x33},
                                                          {0xFF, 0xFF, 0xFF}}};
    for (uint32_t depth : {8u, 16u, 32u}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        auto host = start(hostsim::HostKind::Compositing, depth);
        choose(*host, "Palette", 9);
        set(*host, "Leak Strength", 0);
        hostsim::RenderResult result = frame(*host);
        std::set<std::array<int, 3>> seen;
        for (uint32_t y = 0; y < result.image.height; ++y) {
            for (uint32_t x = 0; x < result.image.width; ++x) {
                const float* p = result.image.pixel(x, y);
                std::array<int, 3> rgb;
                for (int c = 0; c < 3; ++c) rgb[c] = int(std::lround(p[c] * 255.0f));
                seen.insert(rgb);
            }
        }
        EXPECT_GT(seen.size(), 2u);
        for (const auto& colour : seen) {
            bool near = false;
            for (const auto& entry : primaries) {
                int d = 0;
                for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(entry[c] - colour[c]));
                near = near || d <= 1;
            }
            EXPECT_TRUE(near) << colour[0] << "," << colour[1] << "," << colour[2];
        }
    }
}

}  // namespace
