// The lumivex command end to end: the built command run as a user runs it,
// on the default module and on the probe effect (tests/tools/effects/probe),
// whose frame colour is made from its parameters.
#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "media/Still.h"
#include "tests/tools/CliFixture.h"

using namespace clitest;

namespace {

// Every pixel of `image` has the colour (r, g, b, a), within `tolerance`.
void expectUniform(const ImageLib::Picture& image, std::initializer_list<float> rgba, float tolerance) {
    ASSERT_GT(image.width, 0u);
    for (size_t i = 0; i < image.rgba.size(); ++i)
        ASSERT_NEAR(image.rgba[i], rgba.begin()[i % 4], tolerance) << "at value " << i;
}

}  // namespace

TEST_F(Cli, HelpForEveryCommand) {
    for (const char* command : {"info", "render", "pack", "unpack"}) {
        Outcome r = run(std::string(command) + " --help");
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find("lumivex " + std::string(command)), std::string::npos) << r.out;
    }
    EXPECT_EQ(run("--help").status, 0);
    Outcome none = run("");
    EXPECT_EQ(none.status, 2);
    Outcome unknown = run("frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err,
              "lumivex: unknown command 'frobnicate' (use info, render, studio, import, pack or unpack)\n");
}

TEST_F(Cli, InfoJsonDescribesTheProbe) {
    Outcome r = run(std::string("info --json --effect ") + PROBE_EFFECT);
    ASSERT_EQ(r.status, 0) << r.err;
    nlohmann::json info = nlohmann::json::parse(r.out);
    EXPECT_EQ(info["registration"]["name"], "Probe");
    EXPECT_EQ(info["registration"]["matchName"], "ADBE Probe");
    EXPECT_EQ(info["registration"]["category"], "Tests");
    EXPECT_EQ(info["registration"]["version"]["major"], 2);
    EXPECT_EQ(info["registration"]["version"]["minor"], 3);
    EXPECT_EQ(info["registration"]["version"]["stage"], 1);
    EXPECT_EQ(info["registration"]["version"]["build"], 4);
    EXPECT_EQ(info["globalSetup"]["version"], info["registration"]["version"]["word"]);
    EXPECT_EQ(info["about"], "Probe\nParameter probe for tests.");
    const auto& params = info["parameters"];
    ASSERT_EQ(params.size(), 8u);
    EXPECT_EQ(params[0]["name"], "Level");
    EXPECT_EQ(params[0]["type"], "slider");
    EXPECT_EQ(params[0]["id"], 3);
    EXPECT_DOUBLE_EQ(params[0]["default"].get<double>(), 0.25);
    EXPECT_EQ(params[0]["range"], nlohmann::json::parse("[0, 1]"));
    EXPECT_EQ(params[1]["type"], "checkbox");
    EXPECT_EQ(params[2]["choices"],
              nlohmann::json::parse(R"(["Values", "Tint", "Where", "Matte", "Aspect", "Time", "Place"])"));
    EXPECT_EQ(params[3]["type"], "color");
    EXPECT_EQ(params[3]["default"], nlohmann::json::parse("[255, 128, 0, 255]"));
    EXPECT_EQ(params[4]["type"], "angle");
    EXPECT_EQ(params[5]["type"], "point");
    EXPECT_EQ(params[5]["id"], 8);
    EXPECT_EQ(params[6]["type"], "layer");
    EXPECT_EQ(params[7]["type"], "point3d");
    EXPECT_EQ(params[7]["default"], nlohmann::json::parse("[10, 20, 30]"));
}

#ifdef HAVE_MODULES
TEST_F(Cli, InfoOnTheDefaultModuleShowsTheRegistrationFirst) {
    Outcome r = run("info");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Module:", 0), 0u);
    EXPECT_NE(r.out.find("Name:         Vantrel\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Match name:   ADBE Vantrel\n"), std::string::npos);
    EXPECT_LT(r.out.find("Entry point:"), r.out.find("About:"));
}

TEST_F(Cli, DefaultModuleRendersAFrameOfTheRequestedSize) {
    Outcome r = run("render --size 64x48 -o frame.png");
    ASSERT_EQ(r.status, 0) << r.err;
    ImageLib::Picture frame = media::readImage(path("frame.png"));
    EXPECT_EQ(frame.width, 64u);
    EXPECT_EQ(frame.height, 48u);
}
#endif

struct HostDepth {
    const char* host;
    int depth;
};

struct CliRender : Cli, testing::WithParamInterface<HostDepth> {};

TEST_P(CliRender, ParametersOfEachKindReachTheEffect) {
    const std::string host = GetParam().host;
    const int depth = GetParam().depth;
    const std::string ext = depth == 32 ? "exr" : "png";
    const std::string common = "--size 16x8 --host " + host + " --depth " + std::to_string(depth);
    const float tolerance = depth == 8 ? 0.6f / 255 : 2.0f / 32768;

    Outcome values = run(probe(common + " -o values." + ext + " --param Level=0.5 --param Flag=true --param Angle=90"));
    ASSERT_EQ(values.status, 0) << values.err;
    expectUniform(media::readImage(path("values." + ext)), {0.5f, 1.0f, 0.25f, 1.0f}, tolerance);

    Outcome tint = run(probe(common + " -o tint." + ext + " --param Mode=Tint --param Tint=51,102,204"));
    ASSERT_EQ(tint.status, 0) << tint.err;
    expectUniform(media::readImage(path("tint." + ext)), {0.2f, 0.4f, 0.8f, 1.0f}, tolerance);

    Outcome where = run(probe(common + " -o where." + ext + " --param Mode=3 --param Spot=4,6"));
    ASSERT_EQ(where.status, 0) << where.err;
    expectUniform(media::readImage(path("where." + ext)), {4.0f / 16, 6.0f / 8, 0.0f, 1.0f}, tolerance);

    Outcome place = run(probe(common + " -o place." + ext + " --param Mode=Place --param Place=50,25,75"));
    ASSERT_EQ(place.status, 0) << place.err;
    expectUniform(media::readImage(path("place." + ext)), {0.5f, 0.25f, 0.75f, 1.0f}, tolerance);
}

INSTANTIATE_TEST_SUITE_P(HostsAndDepths, CliRender,
                         testing::Values(HostDepth{"ae", 8}, HostDepth{"ae", 16}, HostDepth{"ae", 32},
                                         HostDepth{"premiere", 8}, HostDepth{"premiere", 16},
                                         HostDepth{"premiere", 32}),
                         [](const testing::TestParamInfo<HostDepth>& info) {
                             return std::string(info.param.host) + std::to_string(info.param.depth);
                         });

TEST_F(Cli, LayerParameterImagesReachTheEffectAtTheRenderResolution) {
    media::writeImage(path("matte.png"), ImageLib::Picture(16, 32), 8);
    Outcome full = run(probe("--size 8x8 --param Mode=Matte --param Matte=matte.png -o full.png"));
    ASSERT_EQ(full.status, 0) << full.err;
    expectUniform(media::readImage(path("full.png")), {16 / 64.0f, 32 / 64.0f, 0.0f, 1.0f}, 0.6f / 255);
    Outcome half = run(probe("--size 8x8 --downsample 2 --param Mode=4 --param Matte=matte.png -o half.png"));
    ASSERT_EQ(half.status, 0) << half.err;
    expectUniform(media::readImage(path("half.png")), {8 / 64.0f, 16 / 64.0f, 0.0f, 1.0f}, 0.6f / 255);
    Outcome missing = run(probe("--param Matte=nothing.png"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("lumivex: cannot read image " + path("nothing.png") + ": ", 0), 0u) << missing.err;
}

TEST_F(Cli, PixelAspectAndCompositionSizeReachTheEffectInBothHosts) {
    for (const char* host : {"ae", "premiere"}) {
        Outcome r = run(probe(std::string("--host ") + host + " --size 64x32 --par 2/1 --param Mode=Aspect -o a.png"));
        ASSERT_EQ(r.status, 0) << r.err;
        expectUniform(media::readImage(path("a.png")), {0.5f, 0.25f, 0.125f, 1.0f}, 0.6f / 255);
    }
}

TEST_F(Cli, FrameTimesFollowTimeAndFrameRate) {
    Outcome r = run(probe("--size 4x4 --depth 32 --time 2.5 --fps 10 --frames 2 --param Mode=Time -o 't%d.exr'"));
    ASSERT_EQ(r.status, 0) << r.err;
    expectUniform(media::readImage(path("t25.exr")), {0.25f, 0, 0, 1}, 1e-5f);
    expectUniform(media::readImage(path("t26.exr")), {0.26f, 0, 0, 1}, 1e-5f);
    // A wide frame number is written whole.
    ASSERT_EQ(run(probe("--size 4x4 --frames 2 -o 'w%040d.png'")).status, 0);
    EXPECT_TRUE(fs::exists(path("w" + std::string(39, '0') + "1.png")));
}

TEST_F(Cli, SixteenBitPngUsesTheFullFileRange) {
    Outcome r = run(probe("--size 4x4 --depth 16 -o full.png --param Level=1"));
    ASSERT_EQ(r.status, 0) << r.err;
    ImageLib::Picture image = media::readImage(path("full.png"));
    EXPECT_FLOAT_EQ(image.rgba[0], 1.0f);  // 32768 in the host is 65535 in the file
}

TEST_F(Cli, ThreeFrameSequenceIsNumberedFromTheStartTime) {
    Outcome r = run(probe("--size 8x8 --frames 3 --fps 10 --time 1 --param Mode=Time -o 'seq.%04d.png'"));
    ASSERT_EQ(r.status, 0) << r.err;
    // Mode Time: red is the frame's time / 10.
    const float red[] = {0.10f, 0.11f, 0.12f};
    const char* names[] = {"seq.0010.png", "seq.0011.png", "seq.0012.png"};
    for (int i = 0; i < 3; ++i) expectUniform(media::readImage(path(names[i])), {red[i], 0, 0, 1}, 0.6f / 255);
    EXPECT_FALSE(fs::exists(path("seq.0013.png")));
    EXPECT_EQ(r.err, "");  // no progress display without a terminal
}

TEST_F(Cli, SequenceShowsProgressOnATerminal) {
    // script(1) gives the command a terminal and copies what it shows.
    const std::string command = std::string(LUMIVEX_BIN) + " " + probe("--size 4x4 --frames 3 -o p%02d.png");
    Outcome r = shell("script -qec \"" + command + "\" /dev/null");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* frame : {"\rframe 1/3, ", "\rframe 2/3, ", "\rframe 3/3, "})
        EXPECT_NE(r.out.find(frame), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" fps, 0:00 left"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(path("p02.png")));
}

TEST_F(Cli, DownsampleRendersAtTheLowerResolution) {
    Outcome r = run(probe("--size 20x10 --downsample 2 -o small.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(media::readImage(path("small.png")).width, 10u);
}

TEST_F(Cli, InputImageSetsTheFrameSize) {
    media::writeImage(path("in.png"), ImageLib::Picture(7, 5), 8);
    Outcome r = run(probe("--input in.png -o out.exr"));
    ASSERT_EQ(r.status, 0) << r.err;
    ImageLib::Picture out = media::readImage(path("out.exr"));
    EXPECT_EQ(out.width, 7u);
    EXPECT_EQ(out.height, 5u);
}

TEST_F(Cli, PackAndUnpackRoundTrip) {
    Outcome pack = run(std::string("pack ") + PROBE_EFFECT + " -o probe.blob");
    ASSERT_EQ(pack.status, 0) << pack.err;
    ASSERT_TRUE(fs::exists(path("probe.blob")));
    EXPECT_EQ(slurp(path("probe.blob")).find("gl_FragColor"), std::string::npos);  // scrambled
    Outcome unpack = run("unpack probe.blob -o back");
    ASSERT_EQ(unpack.status, 0) << unpack.err;
    for (const char* name : {"config.xml", "fx.js", "solid.frag"})
        EXPECT_EQ(slurp(path(std::string("back/") + name)), slurp(std::string(PROBE_EFFECT) + "/" + name)) << name;
    EXPECT_NE(run("unpack probe.blob -o back").status, 0);  // never overwrites
    EXPECT_EQ(run("pack").status, 2);
}

TEST_F(Cli, ErrorsNameTheirCauseAndExitNonZero) {
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    const std::string effect = std::string("--effect ") + PROBE_EFFECT + " ";
    const std::vector<Case> cases = {
        {"render " + effect + "--param Bogus=1", 2,
         "lumivex: unknown parameter 'Bogus'; the effect has: Level, Flag, Mode, Tint, Angle, Spot, Matte, Place\n"},
        {"render " + effect + "--param Level=abc", 2, "lumivex: parameter 'Level' needs a number, got 'abc'\n"},
        {"render " + effect + "--param Level=7", 2, "lumivex: value 7 of 'Level' is outside its range 0 to 1\n"},
        {"render " + effect + "--param Flag=maybe", 2,
         "lumivex: parameter 'Flag' is a checkbox: use true or false, not 'maybe'\n"},
        {"render " + effect + "--param Tint=1,2", 2,
         "lumivex: parameter 'Tint' needs 3 comma-separated numbers, got '1,2'\n"},
        {"render " + effect + "--param Tint=300,0,0", 2,
         "lumivex: parameter 'Tint': colour components run from 0 to 255, got '300,0,0'\n"},
        {"render " + effect + "--param Mode=9", 2,
         "lumivex: parameter 'Mode' needs a whole number from 1 to 7, got '9'; the entries are: 1 Values, 2 Tint, 3 "
         "Where, "
         "4 Matte, 5 Aspect, 6 Time, 7 Place\n"},
        {"render " + effect + "--param Level", 2, "lumivex: --param needs NAME=VALUE, got 'Level'\n"},
        {"render " + effect + "--depth 12", 2, "lumivex: --depth must be 8, 16 or 32, got 12\n"},
        {"render " + effect + "--host nuke", 2, "lumivex: --host must be ae or premiere, got 'nuke'\n"},
        {"render " + effect + "--frames 3 -o one.png", 2,
         "lumivex: --frames 3 needs a frame number such as %04d in --output\n"},
        {"render " + effect + "-o out.tiff", 2, ""},
        {"render " + effect + "--fps 0.0001", 2, "lumivex: --fps must be from 0.001 to 1000\n"},
        {"render " + effect + "--time 80000", 2,
         "lumivex: --time and --frames reach past the host's time range at this frame rate\n"},
        {"render " + effect + "--input missing.png", 1, ""},
        {"render --module /nonexistent/fx.so", 1, "lumivex: module /nonexistent/fx.so does not exist\n"},
        {"render --effect /nonexistent", 1, "lumivex: effect folder /nonexistent does not exist\n"},
        {"info --module a.so --effect b", 2, "lumivex: give either --module or --effect, not both\n"},
        {"info --frames 2", 2, "lumivex: unknown option --frames for 'info' (see lumivex info --help)\n"},
    };
    for (const Case& c : cases) {
        Outcome r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        if (!c.message.empty()) {
            EXPECT_EQ(r.err, c.message) << c.args;
        }
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
    }
    EXPECT_NE(run("render " + effect + "--input missing.png").err.find("cannot read image " + path("missing.png")),
              std::string::npos);
    std::ofstream(path("notes.png")) << "not an image";
    Outcome junk = run("render " + effect + "--input notes.png");
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.err, "lumivex: cannot read image " + path("notes.png") +
                            ": not a PNG, EXR, JPEG, BMP, GIF, PSD, HDR or TGA file the decoder accepts\n");
    // A bare TGA header announcing 5792 x 5792 pixels of 32 bits.
    std::string header(18, '\0');
    header[2] = 2, header[12] = header[14] = char(5792 & 0xFF), header[13] = header[15] = char(5792 >> 8);
    header[16] = 32;
    std::ofstream(path("short.tga"), std::ios::binary) << header;
    Outcome truncated = run("render " + effect + "--input short.tga");
    EXPECT_EQ(truncated.status, 1);
    EXPECT_EQ(truncated.err, "lumivex: cannot read image " + path("short.tga") +
                                 ": the file ends before the image data its header announces\n");
}

TEST_F(Cli, ModuleFolderOverride) {
    Outcome r = run("info", "LUMIVEX_MODULE_DIR=/nonexistent");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lumivex: module /nonexistent/Vantrel.so does not exist\n");
}

TEST_F(Cli, FilesThatAreNotModules) {
    std::ofstream(path("fake.so")) << "not a module";
    Outcome r = run("info --module fake.so");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lumivex: " + path("fake.so") + " is not an ELF file\n");
}

#ifdef FAKE_MODULE
TEST_F(Cli, ModuleErrorCodesAreNamed) {
    Outcome r =
        run(std::string("render --module ") + FAKE_MODULE + " --size 4x4 -o x.png", "FAKE_MODULE_SETUP_ERROR=512");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lumivex: global setup failed: the module returned 512 (PF_Err_INTERNAL_STRUCT_DAMAGED)\n");
    EXPECT_FALSE(fs::exists(path("x.png")));
}

TEST_F(Cli, InfoShowsTheRegistrationEvenWhenTheModuleCannotRun) {
    Outcome r = run(std::string("info --module ") + FAKE_MODULE_NOENTRY);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Name:         Fake\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Entry point:  NoSuchEntryPoint\n"), std::string::npos);
    EXPECT_EQ(r.err,
              std::string("lumivex: ") + FAKE_MODULE_NOENTRY + " does not export its entry point NoSuchEntryPoint\n");
}

TEST_F(Cli, AnErrorReportedByTheEffectStillWritesTheFrame) {
    Outcome r = run(std::string("render --module ") + FAKE_MODULE + " --size 4x4 -o x.png",
                    "FAKE_MODULE_RENDER_MESSAGE='Shader broken failed'");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "lumivex: the effect reported an error; the frame shows it: Shader broken failed\n");
    EXPECT_TRUE(fs::exists(path("x.png")));
}
#endif

namespace {

// A copy of the probe effect in the test's folder with one file replaced.
void breakProbe(const std::string& folder, const std::string& file, const std::string& text) {
    fs::copy(PROBE_EFFECT, folder, fs::copy_options::recursive);
    std::ofstream(folder + "/" + file) << text;
}

// The largest red value of the frame: the error text is white on black.
float brightest(const ImageLib::Picture& image) {
    float most = 0;
    for (size_t i = 0; i < image.rgba.size(); i += 4) most = std::max(most, image.rgba[i]);
    return most;
}

}  // namespace

// A TEXTURE parameter as a user sets it: the host's popup (first entry by
// default) gives the script a choice, the script names the texture for it,
// and the shader samples that texture.
TEST_F(Cli, TextureParameterChoiceReachesTheShaderInBothHosts) {
    breakProbe(
        path("pick"), "fx.js",
        "var pattern, show, solid = LX_initShader('solid'), shown = [];\n"
        "function setup() {\n"
        "  pattern = LX_initParam('pattern', LX_Type.TEXTURE, 'Pattern');\n"
        "  LX_setParamChoices(pattern, 'Red|Green|Blue');\n"
        "  show = LX_initShader('show', 'uniform sampler2D pattern;\\n"
        "void main() { gl_FragColor = texture2D(pattern, vec2(0.5)); }');\n"
        "  for (var i = 0; i < 3; ++i) {\n"  // the probe's solid.frag draws (r, g, b)
        "    ['r', 'g', 'b'].forEach(function (c, j) { LX_setShaderParamVal(solid, c, i == j ? 1 : 0); });\n"
        "    LX_renderShader(solid, shown[i] = LX_initRenderTarget(1, 1, 8));\n"
        "  }\n"
        "}\n"
        "function draw() {\n"
        "  var chosen = shown[LX_getParamValue(pattern) - 1];\n"
        "  if (!LX_setParamValue(pattern, chosen) || !LX_setShaderParam(show, pattern)) throw new Error('refused');\n"
        "  LX_renderShader(show, LX_getSequenceRT());\n"
        "}\n");
    for (const std::string host : {"ae", "premiere"}) {
        const std::string render = "render --effect pick --size 4x2 --host " + host;
        Outcome first = run(render + " -o first.png");
        ASSERT_EQ(first.status, 0) << host << ": " << first.err;
        expectUniform(media::readImage(path("first.png")), {1, 0, 0, 1}, 0.6f / 255);
        Outcome blue = run(render + " --param Pattern=Blue -o blue.png");
        ASSERT_EQ(blue.status, 0) << host << ": " << blue.err;
        expectUniform(media::readImage(path("blue.png")), {0, 0, 1, 1}, 0.6f / 255);
        Outcome green = run(render + " --param Pattern=2 -o green.png");
        ASSERT_EQ(green.status, 0) << host << ": " << green.err;
        expectUniform(media::readImage(path("green.png")), {0, 1, 0, 1}, 0.6f / 255);
    }
}

// A surface made from the input layer holds alpha, red, green, blue in
// either host, so grayscale weighs red, green and blue as such.
TEST_F(Cli, SurfaceOfTheInputLayerWeighsTheSameColoursInBothHosts) {
    breakProbe(path("grey"), "fx.js",
               "function setup() {}\n"
               "function draw() {\n"
               "  var s = LX_textureToSurface(LX_getSequenceTexture());\n"
               "  LX_surfaceQuantize(s, true, 0, 0, 0, false);\n"
               "  LX_surfaceCopyTo(s, LX_getSequenceRT(), false);\n"
               "}\n");
    ImageLib::Picture input(4, 2);
    for (size_t i = 0; i < input.rgba.size(); i += 4) {
        input.rgba[i] = 200 / 255.0f;
        input.rgba[i + 1] = 30 / 255.0f;
        input.rgba[i + 2] = 10 / 255.0f;
        input.rgba[i + 3] = 1;
    }
    media::writeImage(path("in.png"), input, 8);
    const float grey = (0.2126f * 200 + 0.7152f * 30 + 0.0722f * 10) / 255;
    for (const std::string host : {"ae", "premiere"}) {
        Outcome r = run("render --effect grey --input in.png --host " + host + " -o grey.png");
        ASSERT_EQ(r.status, 0) << host << ": " << r.err;
        expectUniform(media::readImage(path("grey.png")), {grey, grey, grey, 1}, 1.0f / 255);
    }
}

TEST_F(Cli, ShaderAndScriptErrorsWriteTheErrorFrameAndExitThree) {
    breakProbe(path("shader"), "solid.frag", "void main() { gl_FragColor = vec4(1.0) }\n");
    std::string script = slurp(std::string(PROBE_EFFECT) + "/fx.js");
    script.replace(script.find("function draw() {"), 17, "function draw() { notDefinedAnywhere();");
    breakProbe(path("script"), "fx.js", script);

    Outcome shader = run("render --effect shader --size 320x64 --host premiere -o shader.png");
    EXPECT_EQ(shader.status, 3);
    EXPECT_EQ(shader.err.rfind("lumivex: the effect reported an error; the frame shows it: Shader \"solid\"\n", 0), 0u)
        << shader.err;
    EXPECT_EQ(shader.err.back(), '\n');
    EXPECT_NE(shader.err[shader.err.size() - 2], '\n');  // no blank lines after the engine's text
    EXPECT_GT(brightest(media::readImage(path("shader.png"))), 0.9f);

    Outcome failing = run("render --effect script --size 320x64 --frames 2 -o 'script%d.png'");
    EXPECT_EQ(failing.status, 3);
    EXPECT_NE(failing.err.find("Script error in draw()"), std::string::npos) << failing.err;
    EXPECT_NE(failing.err.find("notDefinedAnywhere"), std::string::npos) << failing.err;
    EXPECT_GT(brightest(media::readImage(path("script1.png"))), 0.9f);

    // info draws one frame to find such errors, after listing the effect.
    Outcome info = run("info --effect script");
    EXPECT_EQ(info.status, 3);
    EXPECT_NE(info.out.find("Level  slider"), std::string::npos) << info.out;
    EXPECT_NE(info.err.find("notDefinedAnywhere"), std::string::npos) << info.err;
}

TEST_F(Cli, DepthsTheEffectDoesNotDeclareAreRefused) {
    breakProbe(path("plain"), "config.xml", "<FXNAME>Plain</FXNAME>\n<FLAGS>0</FLAGS>\n<FLAGS2>0</FLAGS2>\n");
    for (const char* host : {"ae", "premiere"}) {
        Outcome deep = run(std::string("render --effect plain --size 4x4 --depth 16 -o d.png --host ") + host);
        EXPECT_EQ(deep.status, 2);
        EXPECT_EQ(deep.err,
                  "lumivex: --depth 16: the effect does not declare 16-bit frames (bit 0x02000000 of FLAGS in its "
                  "config.xml)\n");
        Outcome fp = run(std::string("render --effect plain --size 4x4 --depth 32 -o f.exr --host ") + host);
        EXPECT_EQ(fp.status, 2);
        EXPECT_NE(fp.err.find("bit 0x1000 of FLAGS2"), std::string::npos) << fp.err;
    }
    EXPECT_FALSE(fs::exists(path("d.png")));
    EXPECT_EQ(run("render --effect plain --size 4x4 -o e.png").status, 0);
}
