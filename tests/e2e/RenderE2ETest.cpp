// Frames through the stand-in host with real GL: fixture effects whose
// output is known exactly, at every depth in both hosts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/e2e/E2E.h"

using hostsim::Host;
using hostsim::HostKind;
using hostsim::Image;
using hostsim::RenderResult;

namespace {

struct HostDepthE2E : testing::TestWithParam<e2e::HostDepth> {
    Host& open(const char* modulePath, bool bottomUp = false) {
        host.reset();
        module = std::make_unique<hostsim::Module>(modulePath);
        hostsim::HostConfig config = e2e::hostConfig(GetParam().kind, GetParam().depth);
        config.bottomUp = bottomUp;
        host = std::make_unique<Host>(*module, config);
        return *host;
    }
    std::unique_ptr<hostsim::Module> module;
    std::unique_ptr<Host> host;
};

// A value every depth stores exactly: 8-bit steps, 16-bit steps, or a float
// that is neither, all different from pixel to pixel.
float exactValue(uint32_t depth, uint32_t x, uint32_t y, uint32_t c) {
    const uint32_t n = x * 37 + y * 101 + c * 59;
    if (depth == 8) return float(n % 256) / 255.0f;
    if (depth == 16) return float((n * 331) % 32769) / 32768.0f;
    return float(n % 1000) / 999.0f;
}

Image exactImage(uint32_t width, uint32_t height, uint32_t depth) {
    Image image(width, height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t c = 0; c < 4; ++c) image.pixel(x, y)[c] = exactValue(depth, x, y, c);
    return image;
}

}  // namespace

TEST_P(HostDepthE2E, PassThroughGivesBackTheInputExactly) {
    Host& h = open(FIXTURE_PASSTHRU);
    const uint32_t depth = GetParam().depth;
    // 23 pixels a row: 16-bit rows narrow in whole blocks of 64 values and a rest.
    Image input = exactImage(23, 5, depth);
    if (depth == 16) {  // the ends of the host range survive widening and narrowing
        const float ends[4] = {1.0f, 32767 / 32768.0f, 0.5f, 1 / 32768.0f};
        std::copy(ends, ends + 4, input.pixel(0, 0));
    }
    h.setInput(input);
    ASSERT_EQ(h.start(), PF_Err_NONE);
    const RenderResult frame = h.render(0);
    ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
    ASSERT_EQ(frame.image.width, input.width);
    ASSERT_EQ(frame.image.height, input.height);
    EXPECT_EQ(frame.image.rgba, input.rgba);
}

// Worlds stored last row first (negative rowbytes): the input and a layer
// parameter arrive top row first like any other.
TEST_P(HostDepthE2E, BottomUpWorldsArriveTopRowFirst) {
    const uint32_t depth = GetParam().depth;
    Host& passthru = open(FIXTURE_PASSTHRU, true);
    const Image input = exactImage(7, 3, depth);
    passthru.setInput(input);
    ASSERT_EQ(passthru.start(), PF_Err_NONE);
    const RenderResult frame = passthru.render(0);
    ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
    EXPECT_EQ(frame.image.rgba, input.rgba);
    ASSERT_EQ(passthru.finish(), PF_Err_NONE);

    Host& probe = open(FIXTURE_PROBE, true);
    Image matte = exactImage(7, 3, depth);
    std::reverse(matte.rgba.begin(), matte.rgba.end());
    probe.setInput(input);
    ASSERT_EQ(probe.start(), PF_Err_NONE);
    probe.setPopup(probe.findParam("Show"), 2);
    probe.setLayer(probe.findParam("Matte"), matte);
    const RenderResult drawn = probe.render(0);
    ASSERT_EQ(drawn.result, PF_Err_NONE) << hostsim::commandName(drawn.failedCommand);
    EXPECT_EQ(drawn.image.rgba, matte.rgba);
}

// The pattern effect writes its parameters into the render target's first
// row only, so the frame shows where that row lands and how its values are
// brought to the host's range.
TEST_P(HostDepthE2E, FirstTargetRowLandsOnTheLastRowInTheHostRange) {
    Host& h = open(FIXTURE_PATTERN);
    const uint32_t depth = GetParam().depth;
    h.setInput(Image(6, 4));
    ASSERT_EQ(h.start(), PF_Err_NONE);
    // 16-bit target values and what the host must get for them (0..32768).
    struct Case {
        const char* param;
        int target;
        long host16;
    };
    const Case frames[2][4] = {
        {{"Red", 65535, 32768}, {"Green", 65534, 32768}, {"Blue", 32769, 16385}, {"Alpha", 32768, 16384}},
        {{"Red", 1, 0}, {"Green", 0, 0}, {"Blue", 65535, 32768}, {"Alpha", 65535, 32768}}};
    for (const auto& cases : frames) {
        for (const Case& c : cases) h.setFloat(h.findParam(c.param), c.target / 65535.0);
        const RenderResult frame = h.render(0);
        ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
        ASSERT_EQ(frame.image.height, 4u);
        for (uint32_t y = 0; y < 4; ++y) {
            for (uint32_t x = 0; x < 6; ++x) {
                for (int ch = 0; ch < 4; ++ch) {
                    const float v = frame.image.pixel(x, y)[ch];
                    if (y != 3) {
                        ASSERT_EQ(v, 0.0f) << "x " << x << " y " << y;
                    } else if (depth == 32) {
                        ASSERT_EQ(v, float(cases[ch].target / 65535.0)) << cases[ch].param;
                    } else if (depth == 16) {
                        ASSERT_EQ(e2e::stored(v, 16), cases[ch].host16) << cases[ch].param;
                    } else {
                        ASSERT_EQ(e2e::stored(v, 8), std::lround(cases[ch].target * 255.0 / 65535.0))
                            << cases[ch].param;
                    }
                }
            }
        }
    }
}

TEST_P(HostDepthE2E, EffectErrorsShowInTheFrameAndReachTheHostMessage) {
    Host& h = open(FIXTURE_FAULTY);
    h.setInput(Image(48, 32));
    ASSERT_EQ(h.start(), PF_Err_NONE);
    const int fault = h.findParam("Fault");
    RenderResult fine = h.render(0);
    ASSERT_EQ(fine.result, PF_Err_NONE);
    EXPECT_EQ(fine.message, "");
    EXPECT_EQ(fine.outFlags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0u);
    EXPECT_EQ(fine.image.pixel(0, 0)[1], 1.0f);  // opaque green

    const std::pair<int, std::string> faults[] = {{2, "Script error in draw()"}, {3, "Shader \"broken\""}};
    for (const auto& [entry, text] : faults) {
        h.setPopup(fault, entry);
        const RenderResult frame = h.render(0);
        ASSERT_EQ(frame.result, PF_Err_NONE) << text;
        EXPECT_NE(frame.message.find(text), std::string::npos) << frame.message;
        EXPECT_EQ(frame.outFlags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0u) << text;
        // The error frame: white text on transparent black, no green.
        float brightest = 0, greenest = 0;
        for (size_t i = 0; i < frame.image.rgba.size(); i += 4) {
            brightest = std::max(brightest, frame.image.rgba[i]);
            greenest = std::max(greenest, frame.image.rgba[i + 1] - frame.image.rgba[i]);
        }
        EXPECT_EQ(brightest, 1.0f) << text;
        EXPECT_EQ(greenest, 0.0f) << text;
    }
}

// A render with no frame data (no frame setup before it) or in a pixel format
// the module does not know: the whole world, or the input copied through,
// and nothing written outside the world.
TEST_P(HostDepthE2E, RenderWithoutFrameDataOrWithAnUnknownFormatGivesTheInput) {
    const Image input = exactImage(5, 3, GetParam().depth);
    hostsim::Module passthru(FIXTURE_PASSTHRU);
    for (bool unknownFormat : {false, true}) {
        hostsim::HostConfig config = e2e::hostConfig(GetParam().kind, GetParam().depth);
        config.smartRender = false;
        config.frameSetup = unknownFormat;
        config.reportedFormat = unknownFormat ? PF_PixelFormat_INVALID : 0;
        config.staleOutput = true;
        Host h(passthru, config);
        h.setInput(input);
        ASSERT_EQ(h.start(), PF_Err_NONE);
        const RenderResult frame = h.render(0);
        ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
        EXPECT_EQ(frame.image.rgba, input.rgba) << (unknownFormat ? "unknown format" : "no frame data");
        ASSERT_EQ(h.finish(), PF_Err_NONE);
        e2e::expectNothingLeftBehind(h);
    }
}

INSTANTIATE_TEST_SUITE_P(HostsAndDepths, HostDepthE2E, testing::ValuesIn(e2e::kEveryHostAndDepth), e2e::hostDepthName);

TEST(GeometryE2E, EnlargedOutputIsCentredOnTheInputInBothCompositingPaths) {
    hostsim::Module module(FIXTURE_EXTENT);
    for (bool smart : {true, false}) {
        hostsim::HostConfig config = e2e::hostConfig(HostKind::Compositing);
        config.smartRender = smart;
        Host h(module, config);
        h.setInput(Image(1000, 600));
        ASSERT_EQ(h.start(), PF_Err_NONE);
        h.setFloat(h.findParam("Grow X"), 200);
        h.setFloat(h.findParam("Grow Y"), 200);
        const RenderResult frame = h.render(0);
        ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
        if (smart) {
            const PF_Rect expected{-100, -100, 1100, 700};
            EXPECT_EQ(std::memcmp(&frame.resultRect, &expected, sizeof expected), 0);
            EXPECT_EQ(std::memcmp(&frame.maxResultRect, &expected, sizeof expected), 0);
            EXPECT_EQ(frame.preRenderFlags, 1);
        }
        EXPECT_EQ(frame.originX, -100);
        EXPECT_EQ(frame.originY, -100);
        ASSERT_EQ(frame.image.width, 1200u);
        ASSERT_EQ(frame.image.height, 800u);
        for (auto [x, y] : {std::pair{0u, 0u}, {1199u, 799u}, {600u, 400u}})
            EXPECT_EQ(std::vector<float>(frame.image.pixel(x, y), frame.image.pixel(x, y) + 4),
                      (std::vector<float>{1, 0, 1, 1}));
        ASSERT_EQ(h.finish(), PF_Err_NONE);
    }
}

// At a draft resolution the host hands over the input already downsampled;
// an effect that keeps the size gets an output of the input's size.
TEST(GeometryE2E, DraftResolutionOutputHasTheInputSizeInBothCompositingPaths) {
    hostsim::Module module(FIXTURE_EXTENT);
    for (bool smart : {true, false}) {
        hostsim::HostConfig config = e2e::hostConfig(HostKind::Compositing);
        config.smartRender = smart;
        config.downsampleX = config.downsampleY = {1, 2};
        Host h(module, config);
        h.setInput(Image(100, 60));
        ASSERT_EQ(h.start(), PF_Err_NONE);
        const RenderResult frame = h.render(0);
        ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
        EXPECT_EQ(frame.image.width, 50u) << (smart ? "smart" : "frame setup");
        EXPECT_EQ(frame.image.height, 30u) << (smart ? "smart" : "frame setup");
        EXPECT_EQ(frame.originX, 0);
        EXPECT_EQ(frame.originY, 0);
    }
}

// Frame data two pixels smaller than the output world: the world is cleared
// to transparent black, then the result is copied one pixel in from the left
// and one row down. The stale white of the host's buffer must not survive.
TEST(GeometryE2E, EditingHostFrameSmallerThanTheWorldIsCentredOnTransparentBlack) {
    hostsim::Module module(FIXTURE_EXTENT);
    hostsim::HostConfig config = e2e::hostConfig(HostKind::Editing);
    config.staleOutput = true;
    Host h(module, config);
    h.setInput(Image(10, 8));
    ASSERT_EQ(h.start(), PF_Err_NONE);
    h.setFloat(h.findParam("Grow X"), -2);
    h.setFloat(h.findParam("Grow Y"), -2);
    const RenderResult frame = h.render(0);
    ASSERT_EQ(frame.result, PF_Err_NONE) << hostsim::commandName(frame.failedCommand);
    ASSERT_EQ(frame.image.width, 10u);
    ASSERT_EQ(frame.image.height, 8u);
    for (uint32_t y = 0; y < 8; ++y) {
        for (uint32_t x = 0; x < 10; ++x) {
            const bool inside = x >= 1 && x <= 8 && y >= 1 && y <= 6;
            const std::vector<float> expected =
                inside ? std::vector<float>{1, 0, 1, 1} : std::vector<float>{0, 0, 0, 0};
            ASSERT_EQ(std::vector<float>(frame.image.pixel(x, y), frame.image.pixel(x, y) + 4), expected)
                << "x " << x << " y " << y;
        }
    }
}
