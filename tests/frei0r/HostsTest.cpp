// The built frei0r plug-ins inside hosts that nobody here wrote: FFmpeg's
// frei0r filter, melt and GStreamer's frei0r elements. Every frame must
// match lumivex render of the same module, input, time and values within
// one level.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// FFmpeg hands frei0r the time in milliseconds; these filters around the
// plug-in make that number the frame's seconds and put the times back (on a
// time base of 1/3000 s, so that the 3 fps frames' times stay exact).
const std::string kSecondsIn = "settb=1/3000,setpts=PTS/1000,";
const std::string kSecondsOut = ",setpts=PTS*1000";

struct Frei0rHosts : testing::Test {
    std::string dir;

    void SetUp() override {
        dir = testing::TempDir() + "lumivex_frei0r_" + testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Runs a command line in the test's folder with the plug-ins on the
    // frei0r path; true when it exits with 0. Output goes to log.txt.
    bool run(const std::string& commandLine) const {
        const std::string command =
            "cd '" + dir + "' && FREI0R_PATH='" FREI0R_DIR "' timeout 240 " + commandLine + " >>log.txt 2>&1";
        const int status = std::system(command.c_str());
        const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!ok) ADD_FAILURE() << "failed: " << commandLine << "\n" << log();
        return ok;
    }

    std::string log() const {
        std::ifstream in(path("log.txt"));
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // A picture file's RGBA8 pixels, decoded by FFmpeg; with `crop` (W:H),
    // only the centred W x H area.
    std::vector<unsigned char> pixels(const std::string& picture, const std::string& crop = "") const {
        const std::string raw = picture + ".rgba";
        const std::string filter = crop.empty() ? "" : " -vf crop=" + crop;
        if (!run(std::string(FFMPEG_BIN) + " -v error -y -i " + picture + filter + " -f rawvideo -pix_fmt rgba " +
                 raw)) {
            return {};
        }
        std::ifstream in(path(raw), std::ios::binary);
        return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // `count` frames of FFmpeg's moving test picture, in0.png, in1.png, ...
    void makeInput(int count, const std::string& size) const {
        run(std::string(FFMPEG_BIN) + " -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=3 -frames:v " +
            std::to_string(count) + " -pix_fmt rgba -start_number 0 in%d.png");
    }

    // Each host frame `prefix`N.png against lumivex render of `input`N.png at
    // time start + N / fps with `renderArgs`, one frame at a time.
    void expectRenderMatches(const std::string& prefix, const std::string& input, int count, double start, double fps,
                             const std::string& renderArgs) const {
        for (int i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            char time[32];
            std::snprintf(time, sizeof time, "%.9g", start + i / fps);
            ASSERT_TRUE(run(std::string(LUMIVEX_BIN) + " render " + renderArgs + " --input " + input + n +
                            ".png --time " + time + " --output ref" + n + ".png"));
        }
        expectSameFrames(prefix, "ref", count);
    }

    // `prefix`N.png against `reference`N.png within one level; an output the
    // effect enlarged is compared in its centred `crop` (W:H), the frame's size.
    void expectSameFrames(const std::string& prefix, const std::string& reference, int count,
                          const std::string& crop = "") const {
        for (int i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            const auto want = pixels(reference + n + ".png", crop);
            const auto got = pixels(prefix + n + ".png");
            ASSERT_EQ(got.size(), want.size()) << "frame " << i;
            ASSERT_FALSE(want.empty());
            int worst = 0;
            for (size_t k = 0; k < want.size(); ++k) worst = std::max(worst, std::abs(int(got[k]) - int(want[k])));
            EXPECT_LE(worst, 1) << prefix << " frame " << i;
        }
    }

    // Frames through FFmpeg's frei0r filter chain `filters`, out0.png, ...
    void ffmpeg(const std::string& filters) const {
        run(std::string(FFMPEG_BIN) + " -v error -y -framerate 3 -start_number 0 -i in%d.png -vf \"" + kSecondsIn +
            filters + kSecondsOut + "\" -pix_fmt rgba -start_number 0 out%d.png");
    }

    // Frames 50 to 52 of a clip of the test picture through melt with
    // `filters`, written as `prefix`0.png, ... A filter's time is the
    // output's: 0, 0.04 and 0.08 s at melt's 25 fps.
    void melt(const std::string& filters, const std::string& prefix) const {
        run(std::string(MELT_BIN) + " clip.mkv in=50 out=52 " + filters + " -consumer avformat:" + prefix +
            "%d.png vcodec=png pix_fmt=rgba start_number=0");
    }

    // `count` frames in0.png, ... at 3 fps through GStreamer's element for
    // the plug-in `name` with the properties `properties`, out0.png, ...
    // GStreamer passes the frame's time in seconds. Its plug-in registry
    // is the test's own, so the plug-ins are looked up afresh.
    void gstreamer(const std::string& name, const std::string& properties, int count) const {
        run(std::string("env GST_REGISTRY=registry.bin ") + GST_LAUNCH_BIN +
            " -q multifilesrc location=in%d.png "
            "index=0 stop-index=" +
            std::to_string(count - 1) +
            " caps=image/png,framerate=3/1 ! pngdec ! "
            "videoconvert ! frei0r-filter-" +
            name + " " + properties +
            " ! videoconvert ! pngenc ! "
            "multifilesink location=out%d.png");
    }

    // Skips a test where GStreamer or its frei0r elements are not installed.
    bool gstreamerMissing() const {
        if (std::string(GST_LAUNCH_BIN).find("NOTFOUND") != std::string::npos) return true;
        const std::string command =
            "env GST_REGISTRY='" + path("registry.bin") + "' " + GST_INSPECT_BIN + " frei0r >/dev/null 2>&1";
        return std::system(command.c_str()) != 0;
    }

    void makeClip() const {
        run(std::string(FFMPEG_BIN) +
            " -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 60 -c:v ffv1 "
            "-pix_fmt bgra clip.mkv");
    }
};

// Gain 3, Turn 45, Tint (51, 102, 153), Spot (16, 24) of 64 x 48, Place
// (1, 2, 0.5), Invert on, Show Image, Grow 0: in FFmpeg's order and forms,
// and as lumivex render takes them.
const std::string kKindsParams = "0.625|0.125|0.2/0.4/0.6|0.25/0.5|1 2 0.5|y|0|0";
const std::string kKindsRender =
    "--param Gain=3 --param Turn=45 --param Tint=51,102,153 --param Spot=16,24 "
    "--param Place=1,2,0.5 --param Invert=true";

TEST_F(Frei0rHosts, FFmpegRendersTheDefaultEffectAsRenderDoes) {
    makeInput(3, "160x120");
    ffmpeg("frei0r=filter_name=vantrel");
    expectRenderMatches("out", "in", 3, 0, 3, "--module " VANTREL_MODULE);
}

TEST_F(Frei0rHosts, FFmpegPassesEveryParameterKindToTheShader) {
    makeInput(3, "64x48");
    ffmpeg("frei0r=filter_name=kinds:filter_params=" + kKindsParams);
    expectRenderMatches("out", "in", 3, 0, 3, "--module " KINDS_MODULE " " + kKindsRender);
    // The values changed the picture: the defaults give another one.
    ASSERT_TRUE(run(std::string(LUMIVEX_BIN) + " render --module " KINDS_MODULE " --input in1.png --time " +
                    "0.333333333 --output defaults.png"));
    EXPECT_NE(pixels("defaults.png"), pixels("out1.png"));
}

TEST_F(Frei0rHosts, TwoFFmpegInstancesInOneGraphKeepTheirOwnValues) {
    makeInput(2, "64x48");
    ffmpeg("frei0r=filter_name=kinds:filter_params=" + kKindsParams +
           ",frei0r=filter_name=kinds:filter_params=0.25|0.5|0/1/0|0.5/0.5|5 0 0|n|0|0");
    for (int i = 0; i < 2; ++i) {
        const std::string n = std::to_string(i);
        const std::string time = i ? "0.333333333" : "0";
        ASSERT_TRUE(run(std::string(LUMIVEX_BIN) + " render --module " KINDS_MODULE " " + kKindsRender + " --input in" +
                        n + ".png --time " + time + " --output first" + n + ".png"));
    }
    expectRenderMatches("out", "first", 2, 0, 3,
                        "--module " KINDS_MODULE
                        " --param Gain=0 --param Turn=180 --param Tint=0,255,0 "
                        "--param Spot=32,24 --param Place=5,0,0 --param Invert=false");
}

// The gallery's modules (named by the effect's FXNAME) and their frei0r
// plug-ins (the FXNAME in lower case, without spaces, as hosts' command
// lines take it).
struct GalleryEffect {
    const char* module;
    const char* plugin;
};
const GalleryEffect kGallery[] = {{"CRT", "crt"},     {"Halftone", "halftone"}, {"Kaleido", "kaleido"},
                                  {"Retro", "retro"}, {"Ripple", "ripple"},     {"Pixel Sort", "pixelsort"}};

// lumivex render of the gallery module `module` over `input`N.png as a
// sequence at `fps`, ref0.png, ...: effects that carry pictures from frame to
// frame see the frames in order in the host too.
std::string renderSequence(const std::string& module, const std::string& input, int count, int fps) {
    return std::string(LUMIVEX_BIN) + " render --module '" MODULE_DIR "/" + module + ".so' --input " + input +
           "%d.png --frames " + std::to_string(count) + " --fps " + std::to_string(fps) + " --output ref%d.png";
}

TEST_F(Frei0rHosts, FFmpegRendersEveryGalleryEffectAsRenderDoes) {
    makeInput(3, "96x64");
    for (const GalleryEffect& effect : kGallery) {
        SCOPED_TRACE(effect.module);
        ffmpeg(std::string("frei0r=filter_name=") + effect.plugin);
        ASSERT_TRUE(run(renderSequence(effect.module, "in", 3, 3)));
        expectSameFrames("out", "ref", 3, "96:64");
    }
}

TEST_F(Frei0rHosts, GStreamerRendersTheDefaultEffectAsRenderDoes) {
    if (gstreamerMissing()) GTEST_SKIP() << "GStreamer's frei0r elements are not installed";
    makeInput(3, "160x120");
    gstreamer("vantrel", "", 3);
    expectRenderMatches("out", "in", 3, 0, 3, "--module " VANTREL_MODULE);
}

TEST_F(Frei0rHosts, GStreamerPassesEveryParameterKindToTheShader) {
    if (gstreamerMissing()) GTEST_SKIP() << "GStreamer's frei0r elements are not installed";
    makeInput(3, "64x48");
    // The values of kKindsParams as GStreamer's properties: a colour and a
    // position are one property per component.
    gstreamer("kinds",
              "gain=0.625 turn=0.125 tint-r=0.2 tint-g=0.4 tint-b=0.6 spot-x=0.25 spot-Y=0.5 "
              "place='1,2,0.5' invert=true show=0 grow=0",
              3);
    expectRenderMatches("out", "in", 3, 0, 3, "--module " KINDS_MODULE " " + kKindsRender);
    ASSERT_TRUE(run(std::string(LUMIVEX_BIN) + " render --module " KINDS_MODULE " --input in1.png --time " +
                    "0.333333333 --output defaults.png"));
    EXPECT_NE(pixels("defaults.png"), pixels("out1.png"));
}

TEST_F(Frei0rHosts, MeltRendersTheDefaultEffectAsRenderDoes) {
    if (std::string(MELT_BIN).find("NOTFOUND") != std::string::npos) GTEST_SKIP() << "melt is not installed";
    makeClip();
    // melt converts pictures on the way in: its own unfiltered frames are
    // the reference's input.
    melt("", "plain");
    melt("-filter frei0r.vantrel", "out");
    expectRenderMatches("out", "plain", 3, 0, 25, "--module " VANTREL_MODULE);
}

TEST_F(Frei0rHosts, MeltRendersEveryGalleryEffectAsRenderDoes) {
    if (std::string(MELT_BIN).find("NOTFOUND") != std::string::npos) GTEST_SKIP() << "melt is not installed";
    makeClip();
    melt("", "plain");
    for (const GalleryEffect& effect : kGallery) {
        SCOPED_TRACE(effect.module);
        melt(std::string("-filter frei0r.") + effect.plugin, "out");
        ASSERT_TRUE(run(renderSequence(effect.module, "plain", 3, 25)));
        expectSameFrames("out", "ref", 3, "96:64");
    }
}

TEST_F(Frei0rHosts, MeltPassesParametersToEachOfTwoInstances) {
    if (std::string(MELT_BIN).find("NOTFOUND") != std::string::npos) GTEST_SKIP() << "melt is not installed";
    makeClip();
    melt("", "plain");
    melt("-filter frei0r.kinds 0=0.625 1=0.125 2=#336699 4='1 2 0.5' 5=1 -filter frei0r.kinds 0=0.25 5=0", "out");
    // The first instance's frames, rendered again through the second's values.
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i);
        char time[32];
        std::snprintf(time, sizeof time, "%.9g", i / 25.0);
        ASSERT_TRUE(run(std::string(LUMIVEX_BIN) +
                        " render --module " KINDS_MODULE
                        " --param Gain=3 --param Turn=45 --param Tint=51,102,153 --param Place=1,2,0.5 "
                        "--param Invert=true --input plain" +
                        n + ".png --time " + time + " --output first" + n + ".png"));
    }
    expectRenderMatches("out", "first", 3, 0, 25, "--module " KINDS_MODULE " --param Gain=0 --param Invert=false");
}

}  // namespace
