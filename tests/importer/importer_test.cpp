// Our own ISF and Shadertoy files (tests/importer/files) imported with the
// lumivex command and rendered through the stand-in host at float depth;
// every pixel is compared with what the file's code computes, worked out
// here from the input pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>

#include <nlohmann/json.hpp>

#include "importer/Effect.h"
#include "media/Still.h"
#include "tests/tools/CliFixture.h"

namespace {

using clitest::Cli;
using clitest::Outcome;
namespace fs = std::filesystem;

const std::string kFiles = IMPORT_FILES;

// An 8 x 8 picture whose channels tell where a pixel came from.
ImageLib::Picture pattern(float blue) {
    ImageLib::Picture image(8, 8);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) {
            float* p = image.pixel(x, y);
            p[0] = (10.0f + 30.0f * x) / 255.0f;
            p[1] = (10.0f + 30.0f * y) / 255.0f;
            p[2] = blue;
            p[3] = 1.0f;
        }
    return image;
}

// This month, 0 to 11, in local time as the effect's script sees it.
int localMonth() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_mon;
}

struct Importer : Cli {
    // Imports `file` into the folder "fx" of the test's folder.
    void import(const std::string& file, const std::string& extra = "") {
        const Outcome o = run("import " + file + " -o fx " + extra);
        ASSERT_EQ(o.status, 0) << o.err;
    }

    // Renders `frames` frames of "fx" at float depth and checks each pixel.
    void expectFrames(const std::string& args, int frames,
                      const std::function<std::array<float, 4>(int frame, uint32_t x, uint32_t y)>& expected) {
        const Outcome o = run("render --effect fx --depth 32 --frames " + std::to_string(frames) +
                              " --fps 10 --output f%04d.exr " + args);
        ASSERT_EQ(o.status, 0) << o.err;
        for (int k = 0; k < frames; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "f%04d.exr", k);
            const ImageLib::Picture image = media::readImage(path(name));
            for (uint32_t y = 0; y < image.height; ++y)
                for (uint32_t x = 0; x < image.width; ++x) {
                    const std::array<float, 4> want = expected(k, x, y);
                    for (int c = 0; c < 4; ++c)
                        ASSERT_NEAR(image.pixel(x, y)[c], want[c], 2e-3f)
                            << "frame " << k << " pixel " << x << "," << y << " channel " << c;
                }
        }
    }
};

TEST_F(Importer, IsfInputsBecomeParametersWithTheFilesMeaning) {
    const ImageLib::Picture layer = pattern(0.5f);
    media::writeImage(path("layer.png"), layer, 8);
    import(kFiles + "/inputs.fs");
    // A colour input: the colour, 0 to 1.
    expectFrames("--size 8x8 --param Tint=255,128,0", 1, [](int, uint32_t, uint32_t) {
        return std::array<float, 4>{1.0f, 128.0f / 255.0f, 0.0f, 1.0f};
    });
    // A point declared within 0 to 1 reaches the shader as a fraction of the
    // size, y up; left at its default, it is the file's default.
    expectFrames("--size 8x8 --param Mode=3 --param Centre=2,6", 1, [](int, uint32_t, uint32_t) {
        return std::array<float, 4>{0.25f, 0.25f, 0.0f, 1.0f};
    });
    expectFrames("--size 8x8 --param Mode=3", 1, [](int, uint32_t, uint32_t) {
        return std::array<float, 4>{0.5f, 0.75f, 0.0f, 1.0f};
    });
    // The long's second entry (value 7), a point in pixels (host y down,
    // the shader's y up: 2,7 on an 8-high layer is 2 right, 1 up), a gain
    // and the bool: the layer's pixel 2 right and 1 up, halved and inverted.
    // The event switched on shows white in the first frame only.
    const ImageLib::Picture& in = layer;
    expectFrames(
        "--input layer.png --param Mode=2 --param Offset=2,7 --param Gain=0.5 --param Invert=true "
        "--param Flash=true",
        2, [&](int k, uint32_t x, uint32_t y) {
            if (k == 0) return std::array<float, 4>{1.0f, 1.0f, 1.0f, 1.0f};
            const float* p = in.pixel(std::min(x + 2, 7u), y == 0 ? 0 : y - 1);  // edges repeat
            return std::array<float, 4>{1 - 0.5f * p[0], 1 - 0.5f * p[1], 1 - 0.5f * p[2], 0.5f};
        });
}

TEST_F(Importer, IsfPassesHaveTheirSizesAndPersistentTargetsCountFrames) {
    import(kFiles + "/passes.fs");
    // Pass 0 is 20 x 10 and stores its RENDERSIZE / 100; the float target
    // gains 1/16 a frame; FRAMEINDEX counts from 0; DATE's month from 1.
    const float month = static_cast<float>(localMonth() + 1);
    expectFrames("--size 40x20", 3, [&](int k, uint32_t, uint32_t) {
        return std::array<float, 4>{0.2f, k / 16.0f, (k + 1) / 16.0f, 0.2f + month / 100.0f};
    });
}

TEST_F(Importer, IsfImportedImageIsReadThroughTheInterpolatedVertexStage) {
    for (const char* name : {"shifted.fs", "shifted.vs"}) fs::copy_file(kFiles + "/" + name, path(name));
    const ImageLib::Picture pic = pattern(0.25f);
    media::writeImage(path("pic.png"), pic, 8);
    import("shifted.fs");
    ASSERT_TRUE(fs::exists(path("fx/pic.png")));
    // The vertex stage adds a quarter of the width: two pixels to the right,
    // the last column repeated past the edge.
    expectFrames("--size 8x8", 1, [&](int, uint32_t x, uint32_t y) {
        const float* p = pic.pixel(std::min(x + 2, 7u), y);
        return std::array<float, 4>{p[0], p[1], p[2], 1.0f};
    });
}

TEST_F(Importer, ShadertoyImageReadsTheLayerAndItsOwnLastFrame) {
    const ImageLib::Picture layer = pattern(0.5f);
    media::writeImage(path("layer.png"), layer, 8);
    media::writeImage(path("flat.png"), pattern(0.25f), 8);
    import(kFiles + "/feedback.glsl", "--channel 1=buffer --channel 2=flat.png");
    // texelFetch of the layer (upright), 1/8 more green each frame, iFrame / 8
    // plus half the image's blue; the Image pass is opaque whatever alpha it writes.
    expectFrames("--input layer.png", 3, [&](int k, uint32_t x, uint32_t y) {
        return std::array<float, 4>{layer.pixel(x, y)[0], (k + 1) / 8.0f, k / 8.0f + 0.125f, 1.0f};
    });
}

TEST_F(Importer, ShadertoyExportRunsBuffersWithCommonCode) {
    import(kFiles + "/buffers.json");
    EXPECT_NE(clitest::slurp(path("fx/config.xml")).find("<FXNAME>Buffer Count</FXNAME>"), std::string::npos);
    // iDate counts months from 0; iMouse is in pixels with y up (2,1 from the
    // top left of a 4-high layer is 2,3).
    const float month = static_cast<float>(localMonth());
    expectFrames("--size 6x4 --param Mouse=2,1", 3, [&](int k, uint32_t, uint32_t) {
        const float v = 0.25f * (k + 1);
        return std::array<float, 4>{v + 0.02f, v + 0.03f, v + month / 100.0f, 1.0f};
    });
}

TEST_F(Importer, ShadertoyWebcamAndVideoChannelsReadTheLayerOnEveryPass) {
    const ImageLib::Picture layer = pattern(0.5f);
    media::writeImage(path("layer.png"), layer, 8);
    import(kFiles + "/webcam.json");
    // Buffer A copies its webcam channel (1); the Image pass shows the
    // buffer's red and green and its video channel's (2) blue.
    expectFrames("--input layer.png", 1, [&](int, uint32_t x, uint32_t y) {
        const float* p = layer.pixel(x, y);
        return std::array<float, 4>{p[0], p[1], p[2], 1.0f};
    });
}

TEST_F(Importer, IsfVaryingsDeclaredForEachGlslVersionAreOneVarying) {
    for (const char* name : {"versioned.fs", "versioned.vs"}) fs::copy_file(kFiles + "/" + name, path(name));
    import("versioned.fs");
    // Half the normalized coordinate of the pixel's centre, y up.
    expectFrames("--size 8x8", 1, [](int, uint32_t x, uint32_t y) {
        return std::array<float, 4>{0.5f * (x + 0.5f) / 8, 0.5f * (1 - (y + 0.5f) / 8), 0.0f, 1.0f};
    });
}

TEST_F(Importer, IsfVaryingArraysAreInterpolatedElementByElement) {
    for (const char* name : {"taps.fs", "taps.vs"}) fs::copy_file(kFiles + "/" + name, path(name));
    const ImageLib::Picture layer = pattern(0.25f);
    media::writeImage(path("layer.png"), layer, 8);
    import("taps.fs");
    // The mean of the pixel and the two above it (rows up the picture are
    // rows back in the file), the top row repeated past the edge.
    expectFrames("--input layer.png", 1, [&](int, uint32_t x, uint32_t y) {
        std::array<float, 4> mean{};
        for (uint32_t i = 0; i < 3; ++i)
            for (int c = 0; c < 4; ++c) mean[c] += layer.pixel(x, y >= i ? y - i : 0)[c] / 3;
        return mean;
    });
}

TEST_F(Importer, IsfPointsAreInPixelsUnlessTheFileSaysOtherwise) {
    import(kFiles + "/points.fs");
    // Host y down, the shader's y up on an 8-high layer. Spot (declared
    // within 0 to 1, but divided by RENDERSIZE a component at a time) and Pin
    // (no numbers at all) arrive in pixels; Mark (scaled by RENDERSIZE) in 0 to 1.
    expectFrames("--size 8x8 --param Spot=2,6 --param Pin=4,2 --param Mark=4,2", 1, [](int, uint32_t, uint32_t) {
        return std::array<float, 4>{2.0f / 8, 6.0f / 16, 6.0f / 16, 2.0f / 8};
    });
}

TEST_F(Importer, IsfTargetsAreEightBitUnlessFloatAtEveryDepth) {
    import(kFiles + "/depth.fs");
    // Rendered at float depth: the 8-bit target's step of 0.3/255 rounds
    // away every frame, the float target's adds up.
    expectFrames("--size 4x4", 6, [](int k, uint32_t, uint32_t) {
        return std::array<float, 4>{0.0f, (k + 1) * 0.3f / 255, 0.0f, 1.0f};
    });
}

TEST_F(Importer, EverySamplingBuiltinReadsInTheFilesOrientation) {
    // An 8 x 32 layer whose every pixel differs: red from x and the row,
    // green from the row, blue from x.
    const int w = 8, h = 32;
    ImageLib::Picture layer(w, h);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            float* p = layer.pixel(x, r);
            p[0] = (32.0f * x + r) / 255;
            p[1] = (4.0f + 8 * r) / 255;
            p[2] = (20.0f + 30 * x) / 255;
            p[3] = 1.0f;
        }
    media::writeImage(path("layer.png"), layer, 8);
    using Texel = std::array<float, 4>;
    // The layer as the file sees it: y up, edges repeated.
    auto at = [&](int x, int y) {
        const float* p = layer.pixel(std::clamp(x, 0, w - 1), h - 1 - std::clamp(y, 0, h - 1));
        return Texel{p[0], p[1], p[2], p[3]};
    };
    auto same = [&](int x, int y) { return at(x, y); };
    auto moved = [&](int x, int y) { return at(x + 1, y + 2); };
    // A gather of channel c at the corner right of and above pixel (x, y).
    auto gather = [&](int c, int x, int y) {
        return Texel{at(x, y + 1)[c], at(x + 1, y + 1)[c], at(x + 1, y)[c], at(x, y)[c]};
    };
    const struct {
        std::string glsl;
        std::function<Texel(int, int)> expected;
    } reads[] = {
        {"texture(inputImage, uv)", same},
        {"texture(inputImage, uv, 0.0)", same},
        {"texture2D(inputImage, uv)", same},
        {"textureProj(inputImage, vec3(uv * 2.0, 2.0))", same},
        {"textureProj(inputImage, vec4(uv * 2.0, 7.0, 2.0))", same},
        {"textureProj(inputImage, vec3(uv, 1.0), 0.0)", same},
        {"texture2DProj(inputImage, vec4(uv, 7.0, 1.0))", same},
        {"textureLod(inputImage, uv, 0.0)", same},
        {"texture2DLod(inputImage, uv, 0.0)", same},
        {"textureProjLod(inputImage, vec3(uv, 1.0), 0.0)", same},
        {"texture2DProjLod(inputImage, vec3(uv, 1.0), 0.0)", same},
        {"textureOffset(inputImage, uv, ivec2(1, 2))", moved},
        {"textureOffset(inputImage, uv, ivec2(1, 2), 0.0)", moved},
        {"textureProjOffset(inputImage, vec3(uv, 1.0), ivec2(1, 2))", moved},
        {"textureProjOffset(inputImage, vec4(uv, 7.0, 1.0), ivec2(1, 2), 0.0)", moved},
        {"textureLodOffset(inputImage, uv, 0.0, ivec2(1, 2))", moved},
        {"textureProjLodOffset(inputImage, vec3(uv, 1.0), 0.0, ivec2(1, 2))", moved},
        {"textureGrad(inputImage, uv, dx, dy)", same},
        {"textureGradOffset(inputImage, uv, dx, dy, ivec2(1, 2))", moved},
        {"textureProjGrad(inputImage, vec3(uv, 1.0), dx, dy)", same},
        {"textureProjGradOffset(inputImage, vec4(uv, 7.0, 1.0), dx, dy, ivec2(1, 2))", moved},
        {"texelFetch(inputImage, p, 0)", same},
        {"texelFetchOffset(inputImage, ivec2(p.x / 2, p.y), 0, ivec2(1, 2))",
         [&](int x, int y) { return at(x / 2 + 1, y + 2); }},
        {"textureGather(inputImage, corner)", [&](int x, int y) { return gather(0, x, y); }},
        {"textureGather(inputImage, corner, 2)", [&](int x, int y) { return gather(2, x, y); }},
        {"textureGatherOffset(inputImage, corner, ivec2(1, 2), 1)",
         [&](int x, int y) { return gather(1, x + 1, y + 2); }},
        {"textureGatherOffsets(inputImage, corner, ivec2[4](ivec2(0, 0), ivec2(1, 0), ivec2(0, 1), ivec2(2, 3)))",
         [&](int x, int y) {
             return Texel{at(x, y)[0], at(x + 1, y)[0], at(x, y + 1)[0], at(x + 2, y + 3)[0]};
         }},
        // Sizes do not depend on the orientation.
        {"vec4(vec2(textureSize(inputImage, 0)) / 100.0, 0.0, 1.0)",
         [](int, int) {
             return Texel{0.08f, 0.32f, 0.0f, 1.0f};
         }},
    };
    const int count = static_cast<int>(std::size(reads));
    ASSERT_LE(count, h);
    // Row y of the picture (y up) shows read y % count of its own pixel.
    std::string list;
    for (const auto& read : reads) list += (list.empty() ? "        " : ",\n        ") + read.glsl;
    std::ofstream(path("reads.fs")) << "/*{\"INPUTS\": [{\"NAME\": \"inputImage\", \"TYPE\": \"image\"}]}*/\n"
                                       "void main() {\n"
                                       "    vec2 uv = gl_FragCoord.xy / vec2(8.0, 32.0);\n"
                                       "    vec2 corner = (floor(gl_FragCoord.xy) + 1.0) / vec2(8.0, 32.0);\n"
                                       "    ivec2 p = ivec2(gl_FragCoord.xy);\n"
                                       "    vec2 dx = dFdx(uv), dy = dFdy(uv);\n"
                                       "    vec4 reads["
                                    << count << "] = vec4[" << count << "](\n"
                                    << list
                                    << ");\n"
                                       "    gl_FragColor = reads[p.y % "
                                    << count
                                    << "];\n"
                                       "}\n";
    import("reads.fs");
    const Outcome o = run("render --effect fx --depth 32 --input layer.png --output out.exr");
    ASSERT_EQ(o.status, 0) << o.err;
    const ImageLib::Picture image = media::readImage(path("out.exr"));
    ASSERT_EQ(image.width, uint32_t(w));
    ASSERT_EQ(image.height, uint32_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Texel want = reads[y % count].expected(x, y);
            for (int c = 0; c < 4; ++c)
                ASSERT_NEAR(image.pixel(x, h - 1 - y)[c], want[c], 2e-3f)
                    << reads[y % count].glsl << " at " << x << "," << y << " (y up), channel " << c;
        }
}

TEST_F(Importer, RefusalsNameTheFeatureAndTheLineAndWriteNothing) {
    const std::string audio =
        "/*{\n  \"INPUTS\": [\n    {\"NAME\": \"level\", \"TYPE\": \"float\"},\n"
        "    {\"NAME\": \"sound\", \"TYPE\": \"audioFFT\"}\n  ]\n}*/\n"
        "void main() { gl_FragColor = vec4(level); }\n";
    std::ofstream(path("audio.fs")) << audio;
    Outcome o = run("import audio.fs -o a");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("audio.fs:4: input \"sound\" of type audioFFT"), std::string::npos) << o.err;

    std::ofstream(path("moved.fs")) << "/*{}*/\nvoid main() { gl_FragColor = vec4(1.0); }\n";
    std::ofstream(path("moved.vs")) << "void main() {\n  isf_vertShaderInit();\n  gl_Position.x += 0.5;\n}\n";
    o = run("import moved.fs -o m");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("moved.vs:3: the vertex shader writes gl_Position"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(path("a")) || fs::exists(path("m")));
}

TEST_F(Importer, UncompilableCodeIsRefusedWithItsFileLineAndName) {
    // Each file has one unknown name; the refusal is one line that names the
    // file (or the part of an export) and the line as the file counts them,
    // in GLSL 3.30 (Shadertoy) and 1.20 (ISF) alike, and the name.
    std::ofstream(path("bad.glsl")) << "void mainImage(out vec4 c, in vec2 f) {\n  c = vec4(undefinedName);\n}\n";
    std::ofstream(path("bad.fs")) << "/*{\n}*/\nvoid main() {\n  gl_FragColor = vec4(missingColour);\n}\n";
    std::ofstream(path("stage.fs")) << "/*{}*/\nvarying vec2 q;\nvoid main() { gl_FragColor = vec4(q, 0.0, 1.0); }\n";
    std::ofstream(path("stage.vs"))
        << "varying vec2 q;\nvoid main() {\n  isf_vertShaderInit();\n  q = notDeclared;\n}\n";
    std::ofstream(path("common.json"))
        << "{\"Shader\": {\"renderpass\": [\n"
           "  {\"type\": \"common\", \"code\": \"float f() {\\n  return 1.0;\\n}\\nfloat g() { return unknownThing; "
           "}\\n\"},\n"
           "  {\"type\": \"image\", \"code\": \"void mainImage(out vec4 c, in vec2 f) {\\n  c = vec4(f());\\n}\\n\"}\n"
           "]}}\n";
    const struct {
        const char* file;
        const char* where;
        const char* name;
    } cases[] = {{"bad.glsl", "bad.glsl:2: ", "undefinedName"},
                 {"bad.fs", "bad.fs:4: ", "missingColour"},
                 {"stage.fs", "stage.vs:4: ", "notDeclared"},
                 {"common.json", "common.json: Common line 4: ", "unknownThing"}};
    for (const auto& c : cases) {
        const Outcome o = run(std::string("import ") + c.file + " -o out");
        EXPECT_EQ(o.status, 1) << c.file;
        const std::string expected = std::string("lumivex: cannot import ") + c.where;
        EXPECT_EQ(o.err.compare(0, expected.size(), expected), 0) << o.err;
        EXPECT_NE(o.err.find(c.name, expected.size()), std::string::npos) << o.err;
        EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << "one line: " << o.err;
        EXPECT_FALSE(fs::exists(path("out")));
    }
}

TEST_F(Importer, GalleryEffectIsWhatTheImportWritesToday) {
    // effects/ripple is generated; a change to the importer must be imported again.
    import(std::string(GALLERY_DIR) + "/../importer/examples/ripple.fs", "--name Ripple");
    for (const auto& entry : fs::directory_iterator(path("fx"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(clitest::slurp(entry.path().string()), clitest::slurp(std::string(GALLERY_DIR) + "/ripple/" + name))
            << name << " differs: run lumivex import importer/examples/ripple.fs -o effects/ripple --name Ripple";
    }
}

TEST_F(Importer, ErrorsAndShaderLinesNameTheAuthorsFiles) {
    // A refusal keeps its file, line and message apart for tools that show them.
    std::ofstream(path("bad.fs")) << "/*{\n}*/\nvoid main() {\n  gl_FragColor = vec4(missingColour);\n}\n";
    try {
        importer::importFile(path("bad.fs"), path("out"), {});
        ADD_FAILURE() << "imported";
    } catch (const importer::ImportError& e) {
        EXPECT_EQ(e.file, path("bad.fs"));
        EXPECT_EQ(e.line, 4);
        EXPECT_NE(e.message.find("missingColour"), std::string::npos) << e.message;
        EXPECT_EQ(std::string(e.what()), path("bad.fs") + ":4: " + e.message);
    }
    // The written shader's "#line" ranges: origin 1 the .fs, 2 the .vs.
    std::ofstream(path("stage.fs")) << "/*{}*/\nvarying vec2 q;\nvoid main() { gl_FragColor = vec4(q, 0.0, 1.0); }\n";
    std::ofstream(path("stage.vs")) << "varying vec2 q;\nvoid main() {\n  isf_vertShaderInit();\n  q = vec2(0.5);\n}\n";
    const importer::Report report = importer::importFile(path("stage.fs"), path("fx"), {});
    ASSERT_EQ(report.origins.count("stage.frag"), 1u);
    const std::vector<importer::Origin>& origins = report.origins.at("stage.frag");
    ASSERT_EQ(origins.size(), 2u);
    EXPECT_EQ(origins[0].file, path("stage.fs"));
    EXPECT_EQ(origins[1].file, path("stage.vs"));
    EXPECT_EQ(importer::originOfLine(3), std::make_pair(1, 3));
    EXPECT_EQ(importer::originOfLine(100004), std::make_pair(2, 4));
    EXPECT_EQ(importer::originOfLine(900010).first, 0);
    EXPECT_EQ(report.read, (std::vector<std::string>{path("stage.fs"), path("stage.vs")}));
}

TEST_F(Importer, PointDefaultsArePlacedForTheLayerSizeGiven) {
    import(kFiles + "/points.fs", "--size 640x360");
    const Outcome o = run("info --effect fx --json");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto info = nlohmann::json::parse(o.out);
    int points = 0;
    for (const auto& p : info["parameters"])
        if (p["type"] == "point") {
            ++points;
            EXPECT_LE(p["default"][0].get<double>(), 640) << p;
            EXPECT_LE(p["default"][1].get<double>(), 360) << p;
            if (p["name"] == "Spot") {
                EXPECT_EQ(p["default"], nlohmann::json::array({0.5, 359.5}));  // pixels, y up
            }
        }
    EXPECT_GT(points, 0);
}

TEST(ImporterJson, TrailingCommasGoButCommasInStringsStay) {
    EXPECT_EQ(importer::dropTrailingCommas("{\"a\": \"x,]\\\",}\", \"b\": [1, 2 ,\n],\n}"),
              "{\"a\": \"x,]\\\",}\", \"b\": [1, 2 \n]\n}");
}

}  // namespace
