#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "GLFixture.h"
#include "gpu/ShaderSource.h"

namespace {

using ShaderTest = GLTest;

const gpu::Parameter& uniformNamed(const gpu::Shader& shader, const std::string& name) {
    for (const gpu::Parameter& uniform : shader.uniforms())
        if (uniform.name == name) return uniform;
    static const gpu::Parameter none;
    return none;
}

// Declared parameters of the same name leave the kinds alone: the script side
// matches them when values are copied, whatever was declared first.
TEST_F(ShaderTest, UniformKindsFollowGLTypesWhateverIsDeclared) {
    context().createParameter("turn", LX_ANGLE, "");
    context().createParameter("where", LX_POINT, "");
    const uint32_t id = context().createShader(
        "kinds",
        "uniform float f; uniform vec2 p2; uniform vec3 p3; uniform vec4 c; uniform sampler2D layer;\n"
        "uniform bool b; uniform int i; uniform mat2 m; uniform float arr[3]; uniform float turn;\n"
        "void main() { gl_FragColor = vec4(f + p2.x + p3.x + c.x + float(b) + float(i) + m[0][0] + arr[2] + turn)"
        " + texture2D(layer, vec2(0.0)); }\n");
    const gpu::Shader& shader = context().getShader(id);
    ASSERT_EQ(shader.error(), "");
    EXPECT_EQ(uniformNamed(shader, "f").kind, static_cast<uint32_t>(LX_FLOAT));
    EXPECT_EQ(uniformNamed(shader, "p2").kind, static_cast<uint32_t>(LX_POINT2D));
    EXPECT_EQ(uniformNamed(shader, "p3").kind, static_cast<uint32_t>(LX_POINT));
    EXPECT_EQ(uniformNamed(shader, "c").kind, static_cast<uint32_t>(LX_COLOR));
    EXPECT_EQ(uniformNamed(shader, "layer").kind, static_cast<uint32_t>(LX_LAYER));
    EXPECT_EQ(uniformNamed(shader, "b").kind, static_cast<uint32_t>(LX_BOOL));
    EXPECT_EQ(uniformNamed(shader, "i").kind, static_cast<uint32_t>(LX_POPUP));
    EXPECT_EQ(uniformNamed(shader, "m").kind, static_cast<uint32_t>(LX_UNKNOWN));
    const gpu::Parameter& array = uniformNamed(shader, "arr[0]");
    EXPECT_EQ(array.kind, static_cast<uint32_t>(LX_UNKNOWN));
    EXPECT_EQ(array.arraySize, 3);
    EXPECT_EQ(uniformNamed(shader, "turn").kind, static_cast<uint32_t>(LX_FLOAT));
    EXPECT_EQ(uniformNamed(shader, "c").id, 0u);
    EXPECT_NE(uniformNamed(shader, "c").location, -1);
}

TEST_F(ShaderTest, SamplersGetConsecutiveUnitsAndTheirSizes) {
    const uint32_t first = context().createTexture(4, 2, 8);
    const uint32_t second = context().createTexture(8, 16, 8);
    const uint32_t id = context().createShader(
        "two",
        "uniform sampler2D a; uniform sampler2D b; uniform vec4 s_Texture0Params; uniform vec4 Texture1Params;\n"
        "void main() { gl_FragColor = texture2D(a, vec2(0.0)) + texture2D(b, vec2(0.0))"
        " + s_Texture0Params + Texture1Params; }\n");
    gpu::Shader& shader = context().getShader(id);
    ASSERT_EQ(shader.error(), "");
    ASSERT_EQ(shader.uniforms().size(), 4u);
    EXPECT_TRUE(shader.setParameterValue("a", context().getTexture(first).glName()));
    EXPECT_TRUE(shader.setParameterValue("b", context().getTexture(second).glName()));

    const uint32_t target = context().createRenderTarget(2, 2, 8);
    context().getRenderTarget(target).bind();
    ASSERT_TRUE(shader.use());
    shader.draw(false);

    // Units follow the order in which the GL lists the samplers.
    std::vector<std::string> samplers;
    for (const gpu::Parameter& uniform : shader.uniforms())
        if (uniform.kind == LX_LAYER) samplers.push_back(uniform.name);
    ASSERT_EQ(samplers.size(), 2u);
    for (GLint unit = 0; unit < 2; ++unit) {
        GLint bound = -1;
        glGetUniformiv(shader.programName(), shader.uniformLocation(samplers[unit]), &bound);
        EXPECT_EQ(bound, unit);
    }
    const bool aFirst = samplers[0] == "a";
    const float w0 = aFirst ? 4.0f : 8.0f, h0 = aFirst ? 2.0f : 16.0f;
    const float w1 = aFirst ? 8.0f : 4.0f, h1 = aFirst ? 16.0f : 2.0f;
    float size[4] = {};
    glGetUniformfv(shader.programName(), shader.uniformLocation("s_Texture0Params"), size);
    EXPECT_FLOAT_EQ(size[0], w0);
    EXPECT_FLOAT_EQ(size[1], h0);
    EXPECT_FLOAT_EQ(size[2], 1.0f / w0);
    EXPECT_FLOAT_EQ(size[3], 1.0f / h0);
    glGetUniformfv(shader.programName(), shader.uniformLocation("Texture1Params"), size);
    EXPECT_FLOAT_EQ(size[0], w1);
    EXPECT_FLOAT_EQ(size[1], h1);
    GLint active = -1;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
}

TEST_F(ShaderTest, TextureParameterSamplersAreBoundLikeLayers) {
    context().createParameter("tex", LX_TEXTURE, "");
    const uint32_t id = copyShader();
    EXPECT_EQ(context().getShader(id).parameter("tex").kind, static_cast<uint32_t>(LX_LAYER));
    gpu::Texture& texture = context().getTexture(context().createTexture(1, 1, 8));
    const uint8_t pixel[4] = {7, 8, 9, 10};
    ASSERT_TRUE(texture.upload(pixel, 1, 1, 8, 4, true, false));
    gpu::RenderTarget& target = context().getRenderTarget(context().createRenderTarget(1, 1, 8));
    drawInto(target, id, texture.glName());
    EXPECT_EQ(readBack<uint8_t>(target), (std::vector<uint8_t>{7, 8, 9, 10}));

    // The default shader (an unknown id) draws nothing at all.
    const uint8_t clear[4] = {0, 0, 0, 0};
    ASSERT_TRUE(target.upload(clear, 1, 1, 8, 4, true, false));
    target.bind();
    glUseProgram(0);
    context().getShader(0x02000099).draw(false);
    EXPECT_EQ(readBack<uint8_t>(target), std::vector<uint8_t>(4, 0));
}

TEST_F(ShaderTest, UniformValuesReachTheProgram) {
    const uint32_t id = context().createShader("values",
                                               "uniform float f; uniform vec3 p; uniform bool b; uniform int n;\n"
                                               "void main() { gl_FragColor = vec4(f, p.y, float(b), float(n)); }\n");
    gpu::Shader& shader = context().getShader(id);
    ASSERT_EQ(shader.error(), "");
    shader.parameter("f").value[0] = 0.5f;
    shader.parameter("p").value[1] = 0.25f;
    EXPECT_TRUE(shader.setParameterValue("b", 1));
    EXPECT_TRUE(shader.setParameterValue("n", 3));
    EXPECT_TRUE(shader.setParameterValue("n", gpu::Shader::kKeepValue));
    EXPECT_FALSE(shader.setParameterValue("missing", 1));
    EXPECT_EQ(shader.parameterIndex("missing"), -1);
    EXPECT_EQ(shader.parameter("missing").name, "");

    const uint32_t target = context().createRenderTarget(1, 1, 32);
    gpu::RenderTarget& rt = context().getRenderTarget(target);
    rt.bind();
    ASSERT_TRUE(shader.use());
    shader.draw(false);
    // The wrapper writes the colour in host order: alpha, red, green, blue.
    const std::vector<float> pixel = readBack<float>(rt);
    EXPECT_FLOAT_EQ(pixel[0], 3.0f);
    EXPECT_FLOAT_EQ(pixel[1], 0.5f);
    EXPECT_FLOAT_EQ(pixel[2], 0.25f);
    EXPECT_FLOAT_EQ(pixel[3], 1.0f);
}

TEST_F(ShaderTest, LeadingVersionLineCompilesWithThatDialect) {
    // texelFetch, bit operations and an unsigned literal need GLSL 1.30 or later.
    const uint32_t id = context().createShader(
        "versioned",
        "#version 330 compatibility\nuniform sampler2D tex;\n"
        "void main() { uint bits = 5u & 4u; gl_FragColor = texelFetch(tex, ivec2(0), 0) * float(bits); }\n");
    EXPECT_EQ(context().getShader(id).error(), "");
    // Comments may come before the version line.
    const uint32_t commented = context().createShader(
        "commented",
        "// A licence header.\n/* More of it. */\n#version 330 compatibility\n"
        "uniform sampler2D tex;\nvoid main() { gl_FragColor = texture2D(tex, vec2(0.5)) * float(5u & 4u); }\n");
    EXPECT_EQ(context().getShader(commented).error(), "");
    const uint32_t old = context().createShader("unversioned", "void main() { uint bits = 5u & 4u; }\n");
    EXPECT_NE(context().getShader(old).error(), "");
}

TEST_F(ShaderTest, DrawCoversTargetAndFlipMirrorsTextureCoordinates) {
    const uint32_t id = context().createShader(
        "coords", "void main() { gl_FragColor = vec4(gl_TexCoord[0].x, gl_TexCoord[0].y, 0.0, 1.0); }\n");
    const uint32_t target = context().createRenderTarget(2, 2, 32);
    gpu::RenderTarget& rt = context().getRenderTarget(target);
    for (bool flip : {false, true}) {
        drawInto(rt, id, 0, flip);
        const std::vector<float> pixels = readBack<float>(rt);
        // Host order: index 1 is red (x), 2 is green (y); row 0 is the bottom.
        EXPECT_FLOAT_EQ(pixels[1], 0.25f);
        EXPECT_FLOAT_EQ(pixels[4 + 1], 0.75f);
        EXPECT_FLOAT_EQ(pixels[2], flip ? 0.75f : 0.25f);
        EXPECT_FLOAT_EQ(pixels[8 + 2], flip ? 0.25f : 0.75f);
    }
}

// The preamble and the texture-read definitions come before the author's
// text; the compiler's log still counts the author's lines.
TEST_F(ShaderTest, CompileErrorsNameTheAuthorsLine) {
    const uint32_t id = context().createShader(
        "lines",
        "uniform sampler2D s;\nvoid main() {\n  vec4 c = texture2D(s, vec2(0.5));\n  gl_FragColor = c + nope;\n}\n");
    const std::string& error = context().getShader(id).error();
    EXPECT_NE(error.find(":4("), std::string::npos) << error;
}

// The same with a version line of the author's own, in the numbering of
// either GLSL generation, and after blank lines.
TEST_F(ShaderTest, CompileErrorsNameTheAuthorsLineAfterAVersionLine) {
    const std::string body =
        "uniform sampler2D s;\nvoid main() {\n  gl_FragColor = texture2D(s, vec2(0.5)) + nope;\n}\n";
    // The error is on the author's line 4, or 6 after two blank lines.
    const std::pair<std::string, const char*> cases[] = {{"#version 120\n", ":4("},
                                                         {"#version 330 compatibility\n", ":4("},
                                                         {"\n\n#version 330 compatibility\n", ":6("},
                                                         {"\n \n#version 120\n", ":6("}};
    for (const auto& [version, line] : cases) {
        const uint32_t id = context().createShader("versioned", version + body);
        const std::string& error = context().getShader(id).error();
        EXPECT_NE(error.find(line), std::string::npos) << version << error;
        EXPECT_EQ(error.find("version"), std::string::npos) << version << error;
    }
}

// "#extension" must come before any code; the texture-read and loop-counter
// definitions the engine adds go after it, outside any conditional block
// (a precision line under "#ifdef GL_ES" is compiled out here), and the
// author's lines keep their numbers.
TEST_F(ShaderTest, ExtensionLineWithTextureReadsCompiles) {
    const std::string body =
        "uniform sampler2D s;\nvoid main() {\n  gl_FragColor = texture2DLod(s, vec2(0.5), 0.0)"
        " + texture2D(s, vec2(0.5));\n  for (int i = 0; i < 2; ++i) gl_FragColor *= 0.5;\n}\n";
    for (const std::string head :
         {"#extension GL_ARB_shader_texture_lod : enable\n",
          "// header\n/* lod\n */ #define K 1\n#extension GL_ARB_shader_texture_lod : enable\n",
          "#extension GL_ARB_shader_texture_lod : enable\n#ifdef GL_ES\nprecision mediump float;\n#endif\n",
          "#extension GL_ARB_shader_texture_lod : enable\n#if 0\n#if 1\nfloat f(float x) { return x; /* #endif */ "
          "}\n#endif\n#else\n#define K 2\n#endif\n"}) {
        const uint32_t id = context().createShader("extension", head + body);
        EXPECT_EQ(context().getShader(id).error(), "") << head;
        const size_t authorsLine = 5 + std::count(head.begin(), head.end(), '\n');
        const uint32_t broken = context().createShader("extension", head + body + "float x = nope;\n");
        const std::string& error = context().getShader(broken).error();
        EXPECT_NE(error.find(":" + std::to_string(authorsLine + 1) + "("), std::string::npos) << head << error;
    }
}

// Every declared name counts against the uniform limit, in one declaration
// or in arrays, not the declarations.
TEST_F(ShaderTest, UniformLimitCountsNamesNotDeclarations) {
    std::string names = "uniform float u0";
    for (int i = 1; i < 1100; ++i) names += ", u" + std::to_string(i);
    const std::string main = "void main() { gl_FragColor = vec4(u0); }\n";
    const uint32_t many = context().createShader("many", names + ";\n" + main);
    EXPECT_NE(context().getShader(many).error().find("declares 1100 uniforms"), std::string::npos)
        << context().getShader(many).error();

    const uint32_t array =
        context().createShader("array", "uniform float u0[1100];\nvoid main() { gl_FragColor = vec4(u0[0]); }\n");
    EXPECT_NE(context().getShader(array).error().find("declares 1100 uniforms"), std::string::npos);

    const uint32_t fine = context().createShader("fine", "uniform float u0, u1;\nuniform vec4 k[8];\n" + main);
    EXPECT_EQ(context().getShader(fine).error(), "");
}

TEST_F(ShaderTest, CompileAndLinkFailuresAreKeptWithHeadings) {
    const uint32_t broken = context().createShader("broken", "void main() { gl_FragColor = nope; }\n");
    const std::string& compileError = context().getShader(broken).error();
    EXPECT_EQ(compileError.rfind("Shader compilation failed:\n", 0), 0u);
    EXPECT_GT(compileError.size(), std::string("Shader compilation failed:\n").size());

    const uint32_t unlinked =
        context().createShader("unlinked", "void helper();\nvoid main() { helper(); gl_FragColor = vec4(1.0); }\n");
    EXPECT_EQ(context().getShader(unlinked).error().rfind("Program linking failed:\n", 0), 0u);

    // A shader with an error neither uses nor draws.
    gpu::Shader& shader = context().getShader(broken);
    EXPECT_FALSE(shader.use());
    const uint32_t target = context().createRenderTarget(1, 1, 8);
    gpu::RenderTarget& rt = context().getRenderTarget(target);
    rt.bind();
    glUseProgram(0);
    shader.draw(false);
    EXPECT_EQ(readBack<uint8_t>(rt), std::vector<uint8_t>(4, 0));
    EXPECT_FALSE(context().getShader(0).use());
}

// Every loop of one invocation counts on one step counter: endless loops
// end once it passes kMaxLoopSteps, and loops after them get no step. Some
// GLs stop loops themselves well before (llvmpipe after 65535 iterations of
// a shader), so the counter starts close to the limit here.
TEST_F(ShaderTest, EndlessLoopsEndAfterTheStepLimitInAll) {
    const std::string nearLimit = "lumivex_steps = " + std::to_string(gpu::shader_source::kMaxLoopSteps - 5) + ";\n  ";
    const std::pair<std::string, std::pair<float, float>> forms[] = {
        {nearLimit + "while (true) total += 1.0;\n  for (;;) after += 1.0;", {5.0f, 0.0f}},
        {nearLimit + "for (float x = 0.0; x >= 0.0; x += 1.0) { total += 1.0; while (true) total += 1.0; }\n"
                     "  do { after += 1.0; } while (true);",
         {5.0f, 1.0f}},
        // A do loop's first body runs before its condition takes a step.
        {nearLimit + "for (int i = 0; i >= 0; ++i) { do { total += 1.0; } while (true); }\n"
                     "  while (true) after += 1.0;",
         {5.0f, 0.0f}},
        // A loop that ends by itself takes only the steps it ran.
        {"for (int i = 0; i < 10; ++i) total += 1.0;\n  after = float(lumivex_steps);", {10.0f, 10.0f}},
    };
    const uint32_t target = context().createRenderTarget(2, 2, 32);
    gpu::RenderTarget& rt = context().getRenderTarget(target);
    for (const auto& [form, expected] : forms) {
        const uint32_t id =
            context().createShader("endless", "void main() {\n  float total = 0.0, after = 0.0;\n  " + form +
                                                  "\n  gl_FragColor = vec4(total, after, 0.0, 1.0);\n}\n");
        drawInto(rt, id, 0);
        const std::vector<float> pixels = readBack<float>(rt);
        // Host order: index 1 is red (total), 2 is green (after).
        EXPECT_EQ(pixels[1], expected.first) << form;
        EXPECT_EQ(pixels[2], expected.second) << form;
    }
}

// The counter takes no line of the author's: compiler errors name the
// author's lines, with or without a version line, and refusals too.
TEST_F(ShaderTest, GuardedLoopsKeepTheAuthorsLineNumbers) {
    const std::string body =
        "void main() {\n  float n = 0.0;\n  while (n < 1.0) n += 1.0;\n  gl_FragColor = nope;\n}\n";
    for (const auto& [head, line] : {std::pair<std::string, const char*>{"", ":4("},
                                     {"#version 120\n", ":5("},
                                     {"#extension GL_ARB_shader_texture_lod : enable\n", ":5("}}) {
        const uint32_t id = context().createShader("lines", head + body);
        const std::string& error = context().getShader(id).error();
        EXPECT_NE(error.find(line), std::string::npos) << head << error;
    }
    for (const auto& [head, line] :
         {std::pair<std::string, const char*>{"", "Shader line 2:"}, {"\n#version 120\n", "Shader line 4:"}}) {
        const uint32_t id = context().createShader("refused", head + "void main() {\n  for x\n}\n");
        const std::string& error = context().getShader(id).error();
        EXPECT_EQ(error.rfind(std::string("Shader compilation failed:\n") + line, 0), 0u) << head << error;
        EXPECT_FALSE(context().getShader(id).use());
    }
}

// Drawn in bands against a deadline, a shader gives the pixels of one draw,
// inside the viewport only; once the deadline passes no band is drawn.
TEST_F(ShaderTest, BandedDrawMatchesOneDrawAndStopsAtTheDeadline) {
    const uint32_t id = context().createShader(
        "coords", "void main() { gl_FragColor = vec4(gl_TexCoord[0].xy, fract(gl_FragCoord.x * 0.37), 1.0); }\n");
    gpu::Shader& shader = context().getShader(id);
    const uint32_t target = context().createRenderTarget(37, 53, 32);
    gpu::RenderTarget& rt = context().getRenderTarget(target);
    const int32_t viewport[4] = {3, 5, 30, 45};
    const auto drawWith = [&](const std::function<bool()>& inTime) {
        rt.bind();
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        rt.bind(viewport);
        EXPECT_TRUE(shader.use());
        shader.draw(true, inTime);
        EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST), GL_FALSE);
        return readBack<float>(rt);
    };
    const std::vector<float> once = drawWith({});
    EXPECT_EQ(drawWith([] { return true; }), once);

    // Two bands (1 and 2 rows) before the deadline: the viewport's first
    // three rows are drawn, nothing above them.
    int asked = 0;
    const std::vector<float> cut = drawWith([&asked] { return ++asked <= 2; });
    for (size_t row = 0; row < 53; ++row) {
        const bool drawn = row >= 5 && row < 8;
        for (size_t x = 0; x < 37; ++x) {
            const size_t at = (row * 37 + x) * 4;
            const std::vector<float> expected =
                drawn ? std::vector<float>(once.begin() + at, once.begin() + at + 4) : std::vector<float>(4, 0.0f);
            ASSERT_EQ(std::vector<float>(cut.begin() + at, cut.begin() + at + 4), expected) << row << " " << x;
        }
    }
}

TEST_F(ShaderTest, CollectShaderErrorsListsFailuresInIdOrder) {
    EXPECT_EQ(context().collectShaderErrors(), "");
    context().createShader("first", "void main() { bad1 }\n");
    context().createShader("fine", "void main() { gl_FragColor = vec4(1.0); }\n");
    context().createShader("second", "void main() { bad2 }\n");
    const std::string errors = context().collectShaderErrors();
    const std::string firstError = context().getShader(0x02000001).error();
    const std::string secondError = context().getShader(0x02000003).error();
    EXPECT_EQ(errors, "Shader \"first\"\n" + firstError + "\nShader \"second\"\n" + secondError + "\n");
}

TEST_F(ShaderTest, EmptySourceKeepsEverything) {
    const uint32_t id = context().createShader("keep", "uniform float k;\nvoid main() { gl_FragColor = vec4(k); }\n");
    gpu::Shader& shader = context().getShader(id);
    ASSERT_EQ(shader.uniforms().size(), 1u);
    EXPECT_FALSE(shader.setSource(""));
    EXPECT_EQ(shader.uniforms().size(), 1u);
    EXPECT_EQ(shader.parameterIndex("k"), 0);
    EXPECT_TRUE(shader.use());
    // Rebuilding from the kept source gives a working program again.
    EXPECT_TRUE(shader.rebuild(true));
    EXPECT_TRUE(shader.use());
}

using ShaderFileTest = GLFolderTest;

TEST_F(ShaderFileTest, EmptySourceLoadsNamedFragmentFile) {
    writeFile("glow.frag", "uniform float glow;\nvoid main() { gl_FragColor = vec4(glow); }\n");
    const uint32_t id = context().createShader("glow", "");
    gpu::Shader& shader = context().getShader(id);
    EXPECT_EQ(shader.error(), "");
    EXPECT_EQ(shader.fileName(), L"\\glow.frag");
    EXPECT_EQ(shader.name(), L"glow");
    EXPECT_EQ(shader.parameterIndex("glow"), 0);
}

TEST_F(ShaderFileTest, MissingFileIsReported) {
    const uint32_t id = context().createShader("absent", "");
    EXPECT_EQ(context().getShader(id).error(), "Shader file not found or shader is empty!");
    EXPECT_EQ(context().collectShaderErrors(), "Shader \"absent\"\nShader file not found or shader is empty!\n");
    EXPECT_FALSE(context().getShader(id).loadFile(L""));
    // A NUL or a newline in a name shows as an escape; the text goes on past it.
    context().releaseEntity(id);
    context().createShader(std::string("a\0b\nc", 5), "");
    EXPECT_EQ(context().collectShaderErrors(), "Shader \"a\\x00b\\x0Ac\"\nShader file not found or shader is empty!\n");
}

}  // namespace
