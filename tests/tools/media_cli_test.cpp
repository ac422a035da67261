// `lumivex render` with clips, chains and keyframes, end to end: clips are
// made with the media writer from pictures of known values, results read
// back from the frames the command writes.
#include <random>
#include <set>

#include "media/Media.h"
#include "media/Still.h"
#include "tests/media/ClipMaker.h"
#include "tests/tools/CliFixture.h"

using namespace clitest;

namespace {

const std::string kMix = std::string(PROBE_EFFECT) + "/../mix";

// A uniform opaque picture whose red is k/10.
ImageLib::Picture shade(uint32_t k) {
    ImageLib::Picture image(4, 4);
    for (size_t i = 0; i < image.rgba.size(); i += 4) image.rgba[i] = k / 10.0f, image.rgba[i + 3] = 1;
    return image;
}

// Five frames of shade(0..4) at 10 frames a second, lossless.
void makeClip(const std::string& path) {
    media::WriterOptions w;
    w.width = w.height = 4;
    w.rateNum = 10;
    media::VideoWriter writer(path, w);
    for (uint32_t k = 0; k < 5; ++k) writer.write(shade(k));
    writer.finish();
}

float redOf(const std::string& file) { return media::readImage(file).rgba[0]; }

}  // namespace

TEST_F(Cli, ClipInputsFollowTheFrameTimes) {
    makeClip(path("in.mkv"));
    // Without --frames: every frame of the clip at its own rate, into a clip.
    Outcome all = run("render --effect " + kMix + " -i in.mkv -o out.mkv");
    ASSERT_EQ(all.status, 0) << all.err;
    media::VideoReader out(path("out.mkv"));
    EXPECT_EQ(out.info().frameCount, 5);
    EXPECT_EQ(out.info().rateNum, 10u);
    for (uint32_t k = 0; k < 5; ++k) EXPECT_NEAR(out.frameAt(k / 10.0).rgba[0], k / 10.0f, 0.6f / 255) << k;

    // Without --output, numbered frames in the folder the command started in.
    ASSERT_EQ(run("render --effect " + kMix + " -i in.mkv").status, 0);
    EXPECT_NEAR(redOf(path("render.0004.png")), 0.4f, 0.6f / 255);

    // At 20 frames a second each picture shows twice; past the end the last holds.
    Outcome twice = run("render --effect " + kMix + " -i in.mkv --fps 20 --frames 12 -o t.%02d.exr");
    ASSERT_EQ(twice.status, 0) << twice.err;
    for (uint32_t i = 0; i < 12; ++i)
        EXPECT_NEAR(redOf(path("t." + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".exr")),
                    std::min(i / 2, 4u) / 10.0f, 0.6f / 255)
            << i;

    // --loop starts the clip again; --first-frame renders a slice, numbered as in the whole job.
    Outcome looped = run("render --effect " + kMix + " -i in.mkv --loop --first-frame 6 --frames 2 -o l.%d.exr");
    ASSERT_EQ(looped.status, 0) << looped.err;
    EXPECT_FALSE(fs::exists(path("l.5.exr")));
    EXPECT_NEAR(redOf(path("l.6.exr")), 0.1f, 0.6f / 255);
    EXPECT_NEAR(redOf(path("l.7.exr")), 0.2f, 0.6f / 255);

    // A numbered sequence is a clip too, numbered from its first file.
    for (uint32_t k = 0; k < 3; ++k) media::writeImage(path("seq." + std::to_string(k + 1) + ".png"), shade(k + 2), 8);
    Outcome seq = run("render --effect " + kMix + " -i seq.%d.png --fps 10 -o s.%d.exr");
    ASSERT_EQ(seq.status, 0) << seq.err;
    EXPECT_NEAR(redOf(path("s.2.exr")), 0.4f, 0.6f / 255);
    EXPECT_FALSE(fs::exists(path("s.3.exr")));

    // A clip as a layer parameter: the probe shows the layer's width / 64.
    Outcome layer = run(probe("--size 8x8 -p Mode=Matte -p Matte=in.mkv -o m.exr"));
    ASSERT_EQ(layer.status, 0) << layer.err;
    EXPECT_NEAR(redOf(path("m.exr")), 4 / 64.0f, 0.6f / 255);
    // A layer clip changes with the frames and its last picture holds past
    // its end: a sequence (at the render's rate) of pictures 8, 16, 32 wide.
    for (uint32_t k = 0; k < 3; ++k)
        media::writeImage(path("w." + std::to_string(k) + ".png"), ImageLib::Picture(8 << k, 4), 8);
    Outcome moving = run(probe("--size 8x8 --fps 10 --frames 5 -p Mode=Matte -p Matte=w.%d.png -o w.%d.exr"));
    ASSERT_EQ(moving.status, 0) << moving.err;
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_NEAR(redOf(path("w." + std::to_string(i) + ".exr")), (8 << std::min(i, 2u)) / 64.0f, 0.6f / 255) << i;
}

TEST_F(Cli, ChainsRunInOrderWithIndependentInstances) {
    media::writeImage(path("in.png"), shade(2), 8);
    // (0.2 * 0.5 + 0.25) * 2 = 0.7 one way, 0.2 * 2 * 0.5 + 0.25 = 0.45 the other:
    // the order shows, and so does any parameter shared between the two instances.
    const std::string a = "--effect " + kMix + " -p Gain=0.5 -p Add=0.25", b = "--effect " + kMix + " -p Gain=2";
    ASSERT_EQ(run("render -i in.png " + a + " " + b + " -o ab.exr").status, 0);
    ASSERT_EQ(run("render -i in.png " + b + " " + a + " -o ba.exr").status, 0);
    EXPECT_NEAR(redOf(path("ab.exr")), 0.7f, 1 / 255.0f);
    EXPECT_NEAR(redOf(path("ba.exr")), 0.45f, 1 / 255.0f);
    // Two different effect folders: the probe's colour, then the mix.
    Outcome two = run(probe("--size 4x4 -p Level=0.3 --effect " + kMix + " -p Gain=2 -p Add=0.1 -o pm.exr"));
    ASSERT_EQ(two.status, 0) << two.err;
    ImageLib::Picture pm = media::readImage(path("pm.exr"));
    EXPECT_NEAR(pm.rgba[0], 0.7f, 1 / 255.0f);
    EXPECT_NEAR(pm.rgba[1], 0.1f, 1 / 255.0f);
}

TEST_F(Cli, KeyframedParametersChangeFromFrameToFrame) {
    Outcome r = run(probe("--size 4x4 --fps 10 --frames 7 -p 'Level=0@0,0.5@0.2:hold,1@0.6' -o k.%d.exr"));
    ASSERT_EQ(r.status, 0) << r.err;
    const float level[] = {0, 0.25f, 0.5f, 0.5f, 0.5f, 0.5f, 1};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(redOf(path("k." + std::to_string(i) + ".exr")), level[i], 0.6f / 255) << i;
    // Colours per component; a popup jumps from key to key.
    Outcome c =
        run(probe("--size 4x4 --fps 4 --frames 3 -p 'Mode=1@0,2@0.4' -p 'Tint=0,0,0@0,255,51,102@1' -o c.%d.exr"));
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_NEAR(redOf(path("c.0.exr")), 0.25f, 0.6f / 255);  // Mode 1: red is Level's default
    ImageLib::Picture half = media::readImage(path("c.2.exr"));
    EXPECT_NEAR(half.rgba[0], 0.5f, 0.6f / 255);
    EXPECT_NEAR(half.rgba[1], 0.1f, 0.6f / 255);
    EXPECT_NEAR(half.rgba[2], 0.2f, 0.6f / 255);
    Outcome bad = run(probe("-p 'Level=1@1,0@0.5'"));
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("key times must increase"), std::string::npos) << bad.err;
    // A key out of range stops the render before its first frame is written.
    Outcome range = run(probe("--size 4x4 --fps 10 --frames 20 -p 'Level=0@0,7@1.5' -o r.%d.png"));
    EXPECT_EQ(range.status, 2);
    EXPECT_EQ(range.err, "lumivex: value 7 of 'Level' is outside its range 0 to 1\n");
    EXPECT_FALSE(fs::exists(path("r.0.png")));
}

TEST_F(Cli, BadClipsAreNamedAndLeaveNoOutput) {
    Outcome missing = run(probe("-i gone.mp4 -o out.mp4"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "lumivex: " + path("gone.mp4") + ": no such file\n");
    makeClip(path("in.mkv"));
    std::string bytes = slurp(path("in.mkv"));
    std::ofstream(path("cut.mkv"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    Outcome cut = run("render --effect " + kMix + " -i cut.mkv --frames 5 --fps 10 -o out.mp4");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find(path("cut.mkv") + ": "), std::string::npos) << cut.err;
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"in.mkv", "cut.mkv", "stderr.txt"}));
}

TEST_F(Cli, PresetReachesTheH264Encoder) {
    // The fastest preset drops arithmetic coding, so its file differs from
    // the slower one's; an unknown name is refused before anything is made.
    for (const char* p : {"ultrafast", "slow"})
        ASSERT_EQ(run(probe("--size 64x64 --frames 3 --preset " + std::string(p) + " -o " + p + ".mp4")).status, 0)
            << p;
    EXPECT_NE(slurp(path("ultrafast.mp4")), slurp(path("slow.mp4")));
    Outcome bad = run(probe("--size 64x64 --frames 3 --preset quick -o bad.mp4"));
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--preset: unknown H.264 preset 'quick'"), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(path("bad.mp4")));
}

TEST_F(Cli, AnOutputThatIsAlsoReadIsRefusedBeforeAnythingIsWritten) {
    makeClip(path("in.mkv"));
    media::writeImage(path("still.png"), shade(3), 8);
    for (uint32_t k = 0; k < 3; ++k) media::writeImage(path("seq." + std::to_string(k) + ".png"), shade(k), 8);
    fs::create_directories(path("sub"));
    fs::create_symlink("in.mkv", path("link.mkv"));
    const std::string clip = slurp(path("in.mkv")), still = slurp(path("still.png")), seq1 = slurp(path("seq.1.png"));
    const std::string mix = "render --effect " + kMix;
    for (const std::string& args :
         {mix + " -i in.mkv -o in.mkv", mix + " -i in.mkv -o sub/../in.mkv", mix + " -i in.mkv -o link.mkv",
          mix + " -i " + path("in.mkv") + " -o ./in.mkv", mix + " -i still.png -o still.png",
          mix + " -i seq.%d.png -o seq.%d.png", mix + " -i seq.%d.png --frames 1 -o seq.1.png",
          mix + " -i seq.%d.png --time 0.1 --fps 10 --frames 3 -o 'seq.%d.png'",
          probe("--size 8x8 -p Mode=Matte -p Matte=in.mkv -o link.mkv"),
          probe("--size 8x8 -p Mode=Matte -p Matte=still.png -o still.png")}) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("choose another output name"), std::string::npos) << args << "\n" << r.err;
    }
    EXPECT_EQ(slurp(path("in.mkv")), clip);
    EXPECT_EQ(slurp(path("still.png")), still);
    EXPECT_EQ(slurp(path("seq.1.png")), seq1);
    EXPECT_TRUE(fs::is_symlink(path("link.mkv")));
    // Another name in the same folder is fine.
    EXPECT_EQ(run(mix + " -i seq.%d.png -o other.%d.png").status, 0);
    EXPECT_TRUE(fs::exists(path("other.2.png")));
}

TEST_F(Cli, SigtermRemovesThePartialClipAndKeepsTheOldOne) {
    std::ofstream(path("out.mp4")) << "the previous render";
    // Stopped once its partial file exists; the shell prints the exit status.
    Outcome r =
        shell("timeout 120 " + std::string(LUMIVEX_BIN) + " " + probe("--size 128x128 --frames 100000 -o out.mp4") +
              " 2>err.txt & pid=$!; n=0; while [ ! -e '" + path(".out.mp4.part") +
              "' ] && [ $n -lt 1200 ]; do sleep 0.05; n=$((n+1)); done;"
              " sleep 0.2; kill -TERM $pid; wait $pid; echo $?");
    const std::string err = slurp(path("err.txt"));
    EXPECT_EQ(r.out, "143\n") << err;
    EXPECT_NE(err.find("stopped by SIGTERM"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(path(".out.mp4.part")));
    EXPECT_EQ(slurp(path("out.mp4")), "the previous render");
}

TEST_F(Cli, ANumberedFrameThatCannotBeWrittenWhollyIsNotLeft) {
    // Noise that compresses badly: each PNG is far above the 4 KB the
    // shell lets the command write to one file (as a full disk would stop it).
    ImageLib::Picture noise(64, 64);
    std::mt19937 random(7);
    for (float& v : noise.rgba) v = float(random() % 256) / 255;
    media::writeImage(path("noise.png"), noise, 8);
    Outcome r = shell("trap '' XFSZ; ulimit -f 8; " + std::string(LUMIVEX_BIN) + " render --effect " + kMix +
                      " -i noise.png --frames 2 -o 'f.%d.png'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write " + path("f.0.png")), std::string::npos) << r.err;
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"noise.png", "stderr.txt"}));
}

TEST_F(Cli, ClipsKeepTheirRealRateLengthAndPictures) {
    // Matroska keeps milliseconds: every picture still gets a frame of its own.
    clipmaker::Plan plan;
    plan.pts = clipmaker::evenTimes(20);
    clipmaker::make(path("ms.mkv"), plan);
    ASSERT_EQ(run("render --effect " + kMix + " -i ms.mkv -o ms.out.mkv").status, 0);
    {
        media::VideoReader out(path("ms.out.mkv"));
        EXPECT_EQ(out.info().frameCount, 20);
        for (int i = 0; i < 20; ++i) EXPECT_EQ(clipmaker::pictureOf(out.frameAt(i / 30.0)), i) << i;
    }
    // NTSC rates are written as the exact fractions.
    for (auto [num, den] : {std::pair{30000, 1001}, std::pair{24000, 1001}}) {
        plan.timeBase = {den, num};
        clipmaker::make(path("ntsc.mp4"), plan);
        Outcome r = run("render --effect " + kMix + " -i ntsc.mp4 -o ntsc.out.mkv");
        ASSERT_EQ(r.status, 0) << r.err;
        const media::ClipInfo info = media::probeClip(path("ntsc.out.mkv"));
        const media::ClipInfo in = media::probeClip(path("ntsc.mp4"));
        EXPECT_EQ(in.rateNum, uint32_t(num)) << in.rateDen;
        EXPECT_EQ(info.rateNum, uint32_t(num));
        EXPECT_EQ(info.rateDen, uint32_t(den));
        EXPECT_EQ(info.frameCount, 20);
    }
    // Half a second at 24 a second, then half at 30: about a second of output.
    plan.timeBase = {1, 120};
    plan.pts.clear();
    for (int k = 0; k < 12; ++k) plan.pts.push_back(k * 5);
    for (int k = 0; k < 15; ++k) plan.pts.push_back(60 + k * 4);
    clipmaker::make(path("vfr.mkv"), plan);
    ASSERT_EQ(run("render --effect " + kMix + " -i vfr.mkv -o vfr.out.mkv").status, 0);
    const media::ClipInfo vfr = media::probeClip(path("vfr.out.mkv"));
    EXPECT_NEAR(double(vfr.frameCount) * vfr.rateDen / vfr.rateNum, 1.0, 0.05)
        << vfr.frameCount << " at " << vfr.rateNum << "/" << vfr.rateDen;
}

TEST_F(Cli, AClipsPixelAspectReachesTheOutput) {
    clipmaker::Plan plan;
    plan.pts = clipmaker::evenTimes(3);
    plan.sar = {4, 3};
    clipmaker::make(path("sar.mp4"), plan);
    const media::ClipInfo in = media::probeClip(path("sar.mp4"));
    EXPECT_EQ(in.aspectNum * 3, in.aspectDen * 4) << in.aspectNum << "/" << in.aspectDen;
    for (const char* out : {"sar.out.mp4", "sar.out.mkv"}) {
        Outcome r = run("render --effect " + kMix + " -i sar.mp4 -o " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        const media::ClipInfo info = media::probeClip(path(out));
        EXPECT_EQ(info.aspectNum, 4u) << out;
        EXPECT_EQ(info.aspectDen, 3u) << out;
    }
    // The effect sees it as the host's pixel aspect (the probe's red is a quarter of it).
    Outcome seen = run(probe("-i sar.mp4 --frames 1 -p Mode=Aspect -o aspect.exr"));
    ASSERT_EQ(seen.status, 0) << seen.err;
    EXPECT_NEAR(redOf(path("aspect.exr")), 1 / 3.0f, 0.6f / 255);
    // --par overrides it.
    ASSERT_EQ(run("render --effect " + kMix + " -i sar.mp4 --par 1 -o square.mp4").status, 0);
    const media::ClipInfo square = media::probeClip(path("square.mp4"));
    EXPECT_EQ(square.aspectNum, square.aspectDen) << square.aspectNum << "/" << square.aspectDen;
}

TEST_F(Cli, PopupAndKeyMistakesAreExplained) {
    Outcome popup = run(probe("--size 4x4 -p Mode=Sideways -o p.png"));
    EXPECT_EQ(popup.status, 2);
    EXPECT_NE(popup.err.find("the entries are: 1 "), std::string::npos) << popup.err;
    EXPECT_NE(popup.err.find(" Aspect"), std::string::npos) << popup.err;
    Outcome negative = run(probe("--size 4x4 -p 'Level=0@-1,1@1' -o n.png"));
    EXPECT_EQ(negative.status, 2);
    EXPECT_NE(negative.err.find("key time -1 is negative"), std::string::npos) << negative.err;
    EXPECT_FALSE(fs::exists(path("p.png")));
    EXPECT_FALSE(fs::exists(path("n.png")));
}

TEST_F(Cli, InterlacedInputIsPointedOut) {
    clipmaker::Plan plan;
    plan.pts = clipmaker::evenTimes(2);
    plan.interlaced = true;
    clipmaker::make(path("fields.mp4"), plan);
    EXPECT_TRUE(media::probeClip(path("fields.mp4")).interlaced);
    Outcome r = run("render --effect " + kMix + " -i fields.mp4 -o out.mkv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("fields.mp4 is interlaced"), std::string::npos) << r.err;
    // A progressive clip gets no such note.
    plan.interlaced = false;
    clipmaker::make(path("frames.mp4"), plan);
    Outcome p = run("render --effect " + kMix + " -i frames.mp4 -o out2.mkv");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(p.err, "");
}
