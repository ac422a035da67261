// The command's argument parser and image files.
#include <gtest/gtest.h>

#include <fstream>

#include "media/Still.h"
#include "render/Keyframes.h"
#include "tools/lumivex/Args.h"

using namespace tools;
using media::readImage;
using media::writeImage;
using render::Keyframes;

namespace {
const std::vector<OptionSpec> kSpecs = {
    {"--depth", nullptr, true, false}, {"--param", "-p", true, true}, {"--json", nullptr, false, false}};

std::string usageError(const std::vector<std::string>& args) {
    try {
        parseArgs("render", args, kSpecs);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "accepted";
}

std::string temp(const std::string& name) { return testing::TempDir() + name; }
}  // namespace

TEST(Args, FormsOfOptionsAndTheirErrors) {
    ParsedArgs a = parseArgs("render", {"--depth=16", "-p", "A=1", "--param", "B=2", "file", "--json"}, kSpecs);
    EXPECT_EQ(a.get("--depth"), "16");
    EXPECT_EQ(a.all("--param"), (std::vector<std::string>{"A=1", "B=2"}));
    EXPECT_TRUE(a.has("--json"));
    EXPECT_EQ(a.positional, std::vector<std::string>{"file"});
    EXPECT_TRUE(parseArgs("render", {"-h"}, kSpecs).has("--help"));

    EXPECT_EQ(usageError({"--bogus"}), "unknown option --bogus for 'render' (see lumivex render --help)");
    EXPECT_EQ(usageError({"--depth", "8", "--depth", "16"}), "option --depth is given more than once");
    EXPECT_EQ(usageError({"--depth"}), "option --depth needs a value");
    EXPECT_EQ(usageError({"--json=yes"}), "option --json takes no value");
}

TEST(Args, ValueParsers) {
    uint32_t w = 0, h = 0;
    parseSize("--size", "640x360", w, h);
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(h, 360u);
    EXPECT_THROW(parseSize("--size", "640", w, h), UsageError);
    EXPECT_THROW(parseSize("--size", "0x10", w, h), UsageError);
    parseRatio("--par", "4/3", w, h);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 3u);
    parseRatio("--par", "2", w, h);
    EXPECT_EQ(h, 1u);
    EXPECT_THROW(parseRatio("--par", "4/0", w, h), UsageError);
    EXPECT_EQ(parseNumberList("v", "1,-0.5,2e1"), (std::vector<double>{1, -0.5, 20}));
    EXPECT_THROW(parseNumberList("v", "1,,2"), UsageError);
    EXPECT_THROW(parseNumber("v", "nan"), UsageError);
    EXPECT_THROW(parseCount("--frames", "-3", 1, 10), UsageError);
    EXPECT_THROW(parseCount("--frames", "11", 1, 10), UsageError);
}

TEST(ImageFile, PngKeepsEightAndSixteenBitValues) {
    ImageLib::Picture image(2, 1);
    const float px[8] = {1.0f, 0.0f, 128 / 255.0f, 1.0f, 1000 / 65535.0f, 0.5f, 0.25f, 0.0f};
    std::copy(px, px + 8, image.rgba.begin());
    writeImage(temp("eight.png"), image, 8);
    ImageLib::Picture back8 = readImage(temp("eight.png"));
    ASSERT_EQ(back8.width, 2u);
    EXPECT_FLOAT_EQ(back8.rgba[2], 128 / 255.0f);
    EXPECT_FLOAT_EQ(back8.rgba[4], 4 / 255.0f);  // 1000/65535 of full is 3.9 in 8 bits
    writeImage(temp("sixteen.png"), image, 16);
    ImageLib::Picture back16 = readImage(temp("sixteen.png"));
    EXPECT_FLOAT_EQ(back16.rgba[4], 1000 / 65535.0f);
    EXPECT_NEAR(back16.rgba[5], 0.5f, 0.5f / 65535);
}

TEST(ImageFile, ExrKeepsFloatsAboveOne) {
    ImageLib::Picture image(3, 2);
    for (size_t i = 0; i < image.rgba.size(); ++i) image.rgba[i] = float(i) * 0.75f;
    writeImage(temp("float.exr"), image, 32);
    ImageLib::Picture back = readImage(temp("float.exr"));
    ASSERT_EQ(back.width, 3u);
    ASSERT_EQ(back.height, 2u);
    EXPECT_EQ(back.rgba, image.rgba);
}

TEST(ImageFile, OtherFormatsGoThroughTheEngineDecoder) {
    // A 2x1 uncompressed true-colour TGA, bottom row first: blue, green, red.
    const unsigned char tga[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 255, 0, 0, 0, 128, 255};
    std::ofstream(temp("pixels.tga"), std::ios::binary).write(reinterpret_cast<const char*>(tga), sizeof tga);
    ImageLib::Picture image = readImage(temp("pixels.tga"));
    ASSERT_EQ(image.width, 2u);
    ASSERT_EQ(image.height, 1u);
    const float expected[8] = {0, 0, 1, 1, 1, 128 / 255.0f, 0, 1};
    for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(image.rgba[i], expected[i]) << i;
}

TEST(ImageFile, UnreadableAndUnwritableFilesNameTheFile) {
    auto message = [](auto call) {
        try {
            call();
        } catch (const media::Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([] { readImage("/nonexistent/in.png"); }).rfind("cannot read image /nonexistent/in.png: ", 0),
              0u);
    std::ofstream(temp("junk.png")) << "not an image at all";
    EXPECT_EQ(message([] { readImage(temp("junk.png")); }).rfind("cannot read image " + temp("junk.png") + ": ", 0),
              0u);
    // A PNG cut short.
    writeImage(temp("whole.png"), ImageLib::Picture(16, 16), 8);
    std::ifstream in(temp("whole.png"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(temp("cut.png"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    EXPECT_NE(message([] { readImage(temp("cut.png")); }), "no error");
    EXPECT_EQ(message([] { writeImage(temp("out.tiff"), ImageLib::Picture(1, 1), 8); }),
              "cannot write " + temp("out.tiff") + ": unknown image type (use .png or .exr)");
    EXPECT_EQ(message([] {
                  writeImage("/nonexistent/dir/out.png", ImageLib::Picture(1, 1), 8);
              }).rfind("cannot write /nonexistent/dir/out.png: ", 0),
              0u);
}

TEST(Keyframes, KeysSplitAtTheCommaAfterEachTime) {
    auto numbers = [](const std::string& v) { return parseNumberList("value", v); };
    Keyframes tint("Tint", "0,10,20@0,100,110,120@2:hold,0,0,0@3", numbers, true);
    EXPECT_EQ(tint.at(-1), (std::vector<double>{0, 10, 20}));
    EXPECT_EQ(tint.at(0.5), (std::vector<double>{25, 35, 45}));
    EXPECT_EQ(tint.at(2.9), (std::vector<double>{100, 110, 120}));  // held until the next key
    EXPECT_EQ(tint.at(9), (std::vector<double>{0, 0, 0}));
    Keyframes stepped("Mode", "1@0,3@1", numbers, false);
    EXPECT_EQ(stepped.at(0.99), std::vector<double>{1});
    EXPECT_EQ(stepped.at(1), std::vector<double>{3});
    EXPECT_FALSE(Keyframes::isAnimated("0.5"));
    for (const char* bad : {"0@0,1", "0@", "0@x", "1@1,2@1"})
        EXPECT_THROW(Keyframes("Level", bad, numbers, true), UsageError) << bad;
}
