// Hostile effects (tests/hostile) through the lumivex command, where what
// they must not break shows in the frames: instances that keep their own
// state across the command's repeated global setup, an output that keeps
// the frame's size, the time preRender sees, the clamp of an output size and
// the GPU memory bound.
#include <algorithm>
#include <cmath>
#include <set>

#include "media/Still.h"
#include "tests/tools/CliFixture.h"

using namespace clitest;

namespace {

std::string hostile(const std::string& name) { return std::string(HOSTILE_DIR) + "/" + name; }

// The red channel of the first pixel in 8-bit steps; every pixel must match it.
long uniformRed(const ImageLib::Picture& image) {
    EXPECT_GT(image.width, 0u);
    if (image.rgba.empty()) return -1;
    for (size_t i = 0; i < image.rgba.size(); i += 4) EXPECT_EQ(image.rgba[i], image.rgba[0]) << "at pixel " << i / 4;
    return std::lround(image.rgba[0] * 255);
}

}  // namespace

// The command sets the module up once per instance: the second global setup
// reloads the script, and the first instance must keep a sequence of its own.
TEST_F(Cli, InstancesCountTheirOwnFramesAcrossAReload) {
    Outcome r = run("render --effect " + hostile("counter") + " --effect " + hostile("counter") +
                    " --size 4x2 --frames 3 -o 'count%d.png'");
    ASSERT_EQ(r.status, 0) << r.err;
    const long expected[3] = {26, 51, 77};  // 1/10, 2/10, 3/10 of 255
    for (int frame = 0; frame < 3; ++frame) {
        const long red = uniformRed(media::readImage(path("count" + std::to_string(frame) + ".png")));
        EXPECT_NEAR(red, expected[frame], 1) << "frame " << frame;
    }
}

// A 2 x 2 surface copied onto the frame's output leaves the output at the
// frame's size: the frame is the effect's red corner on transparent black,
// not whatever lay past a 2 x 2 readback.
TEST_F(Cli, ASmallCopyOntoTheOutputKeepsTheFrame) {
    for (const std::string depth : {"8", "16", "32"}) {
        const std::string name = depth == "32" ? "copy.exr" : "copy.png";
        Outcome r =
            run("render --effect " + hostile("output-copy-small") + " --size 640x360 --depth " + depth + " -o " + name);
        ASSERT_EQ(r.status, 0) << depth << ": " << r.err;
        const ImageLib::Picture image = media::readImage(path(name));
        ASSERT_EQ(image.width, 640u);
        std::set<std::vector<float>> colours;
        for (size_t i = 0; i < image.rgba.size(); i += 4)
            colours.insert(std::vector<float>(image.rgba.begin() + i, image.rgba.begin() + i + 4));
        EXPECT_EQ(colours, (std::set<std::vector<float>>{{0, 0, 0, 0}, {1, 0, 0, 1}})) << depth;
    }
}

TEST_F(Cli, PreRenderSeesTheTimeOfItsFrame) {
    for (const std::string host : {"ae", "premiere"}) {
        Outcome r = run("render --effect " + hostile("prerender-time") + " --size 4x2 --time 5 --host " + host +
                        " -o time.png");
        ASSERT_EQ(r.status, 0) << host << ": " << r.err;
        EXPECT_EQ(uniformRed(media::readImage(path("time.png"))), 128) << host;
    }
}

// The editing host scales the asked width by the pixel aspect: the output
// is clamped to what the engine renders, and the frame says so.
TEST_F(Cli, AnOutputTooLargeIsClampedAndReported) {
    Outcome r = run("render --effect " + hostile("output-extent-clamp") +
                    " --size 64x32 --host premiere --par 2/1 -o wide.png");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("the output is clamped to at most"), std::string::npos) << r.err;
    const ImageLib::Picture image = media::readImage(path("wide.png"));
    EXPECT_GT(image.width, 64u);
    EXPECT_LE(image.width, 32768u);
    EXPECT_EQ(image.height, 32u);
}

TEST_F(Cli, PassingTheGpuMemoryBoundStopsTheScript) {
    Outcome r = run("render --effect " + hostile("gpu-memory") + " --size 64x64 -o memory.png");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("LX_initRenderTarget: textures and render targets may hold at most 4096 MiB of GPU memory"),
              std::string::npos)
        << r.err;
}
