#include <gtest/gtest.h>

#include "gpu/ShaderSource.h"

namespace ss = gpu::shader_source;

namespace {

const std::string kWrapper = ss::kMainWrapper;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ShaderSourceTest, MainIsRenamedAndWrapped) {
    const std::string out = ss::rewrite("void main() { gl_FragColor = vec4(1.0); }");
    EXPECT_EQ(out, "void repl_main() { gl_FragColor = vec4(1.0); }\n" + kWrapper);
}

TEST(ShaderSourceTest, MainAtFirstCharacterOrWithoutParenthesisIsNotWrapped) {
    EXPECT_EQ(ss::rewrite("main() {}"), "main() {}");
    EXPECT_EQ(ss::rewrite("float main; float x = main;"), "float main; float x = main;");
    // Only a whitespace before counts: an identifier ending in "main" is not it.
    EXPECT_EQ(ss::rewrite("void domain() {}"), "void domain() {}");
}

TEST(ShaderSourceTest, MainWithAnyWhitespaceAroundIsWrapped) {
    const std::string out = ss::rewrite("void\tmain\n  ( ) {}");
    EXPECT_EQ(out, "void\trepl_main\n  ( ) {}\n" + kWrapper);
    // Only the first qualifying occurrence is renamed.
    const std::string twice = ss::rewrite("void main() {}\nvoid main() {}");
    EXPECT_EQ(twice, "void repl_main() {}\nvoid main() {}\n" + kWrapper);
}

TEST(ShaderSourceTest, Texture2DAfterOperatorIsRoutedButNotAfterComma) {
    std::string text = "c = texture2D(s, uv); d = mix(a,texture2D(s, uv), 0.5);";
    EXPECT_TRUE(ss::rewriteCall(text, "texture2D"));
    EXPECT_TRUE(contains(text, "c = repl_texture2D(s, uv);"));
    EXPECT_TRUE(contains(text, "mix(a,texture2D(s, uv)"));
    EXPECT_EQ(text.rfind("vec4 repl_texture2D(sampler2D a,vec2 b) { return texture2D(a,b).SWIZZLE; }\n", 0), 0u);
}

TEST(ShaderSourceTest, Texture2DWithSpacesBeforeParenthesisIsRouted) {
    std::string text = "x = texture2D   (s, uv);";
    EXPECT_TRUE(ss::rewriteCall(text, "texture2D"));
    EXPECT_TRUE(contains(text, "x = repl_texture2D   (s, uv);"));
}

TEST(ShaderSourceTest, LodCallsAreNotTakenForTexture2D) {
    std::string text = "x = texture2DLod(s, uv, 2.0);";
    EXPECT_FALSE(ss::rewriteCall(text, "texture2D"));
    EXPECT_EQ(text, "x = texture2DLod(s, uv, 2.0);");
    EXPECT_TRUE(ss::rewriteCall(text, "texture2DLod"));
    EXPECT_TRUE(contains(text, "x = repl_texture2DLod(s, uv, 2.0);"));
}

TEST(ShaderSourceTest, NoTextureReadsGetNoDefinitions) {
    const std::string source = "uniform float k;\nvoid main() { gl_FragColor = vec4(k); }";
    const std::string out = ss::rewrite(source);
    EXPECT_FALSE(contains(out, "repl_texture"));
    EXPECT_EQ(out.rfind("uniform float k;", 0), 0u);
}

TEST(ShaderSourceTest, DefinitionsArePrependedInReverseOrderOfPasses) {
    const std::string out = ss::rewrite(
        "uniform sampler2D s; uniform samplerCube e;\n"
        "void main() { gl_FragColor = texture2D(s, vec2(0.0)) + texture2DLod(s, vec2(0.0), 1.0)"
        " + textureCube(e, vec3(0.0, 0.0, 1.0)); }");
    const size_t cube = out.find("vec4 repl_textureCube(");
    const size_t lod = out.find("vec4 repl_texture2DLod(");
    const size_t plain = out.find("vec4 repl_texture2D(");
    EXPECT_EQ(cube, 0u);
    EXPECT_LT(cube, lod);
    EXPECT_LT(lod, plain);
    // Each call is routed once; the definitions' own reads are untouched.
    EXPECT_TRUE(contains(out,
                         "= repl_texture2D(s, vec2(0.0)) + repl_texture2DLod(s, vec2(0.0), 1.0)"
                         " + repl_textureCube(e, vec3(0.0, 0.0, 1.0));"));
    EXPECT_FALSE(contains(out, "repl_repl_"));
}

TEST(ShaderSourceTest, SamplerCubeBecomesSampler2D) {
    std::string text = "uniform samplerCube env;\nuniform samplerCube\nsky;\nfloat samplerCubeX;";
    ss::rewriteSamplerCube(text);
    EXPECT_EQ(text, "uniform sampler2D env;\nuniform sampler2D\nsky;\nfloat samplerCubeX;");
    const std::string cube = ss::rewrite(
        "uniform samplerCube env;\nvoid main() { vec3 d = vec3(0.0,1.0,0.0); "
        "gl_FragColor = textureCube(env, d); }");
    EXPECT_TRUE(contains(cube, "uniform sampler2D env;"));
    EXPECT_TRUE(contains(cube, "(atan( b.x, b.z ) + 3.141526f)/6.283052f, acos(b.y)/3.141526f"));
    EXPECT_TRUE(contains(cube, "gl_FragColor = repl_textureCube(env, d);"));
}

TEST(ShaderSourceTest, WordsAtStartOrEndOfTextAreSafe) {
    EXPECT_EQ(ss::rewrite(""), "");
    EXPECT_EQ(ss::rewrite("texture2D("), "texture2D(");
    EXPECT_EQ(ss::rewrite(" texture2D"), " texture2D");
    EXPECT_EQ(ss::rewrite(" main"), " main");
    EXPECT_EQ(ss::rewrite(" samplerCube"), " samplerCube");
}

}  // namespace

TEST(ShaderSourceVersionTest, LeadingVersionLineStaysFirstAndOthersAreLeftInPlace) {
    const std::string out = ss::rewrite(
        "\n#version 330 compatibility\nuniform sampler2D t;\n"
        "void main() { gl_FragColor = texture(t, vec2(0.0)) + texture2D(t, vec2(0.0)); }");
    EXPECT_EQ(out.rfind("\n#version 330 compatibility\n", 0), 0u) << out;
    EXPECT_TRUE(contains(out, "repl_texture2D(t"));
    std::string body = "uniform float a;\n#version 120\n";
    EXPECT_EQ(ss::takeVersionLine(body), "");
    EXPECT_EQ(body, "uniform float a;\n#version 120\n");
    std::string commented = "// licence\n/* two\n lines */ #version 330\nvoid main() {}\n";
    EXPECT_EQ(ss::takeVersionLine(commented), "// licence\n/* two\n lines */ #version 330\n");
    EXPECT_EQ(commented, "void main() {}\n");
    std::string open = "/* never closed #version 120\n";
    EXPECT_EQ(ss::takeVersionLine(open), "");
    std::string bare = "# version 120";
    EXPECT_EQ(ss::takeVersionLine(bare), "# version 120\n");
    EXPECT_EQ(bare, "");
}

namespace {

const std::string kStepDefinition =
    "int lumivex_steps = 0; bool lumivex_step() { return ++lumivex_steps <= " + std::to_string(ss::kMaxLoopSteps) +
    "; }";

// The text after guardLoops, or the refusal prefixed with "refused: ".
std::string guarded(std::string text) {
    const auto refusal = ss::guardLoops(text);
    return refusal ? "refused: " + *refusal : text;
}

// The guarded text without the counter's definition, which goes first.
std::string guardedBody(const std::string& text) {
    const std::string out = guarded(text);
    if (out.rfind(kStepDefinition + "\n", 0) != 0) return "no definition first: " + out;
    return out.substr(kStepDefinition.size() + 1);
}

TEST(ShaderLoopGuardTest, EveryFormOfLoopCountsSteps) {
    EXPECT_EQ(guardedBody("while (x < 1.0) x += a;"), "while ((x < 1.0) && lumivex_step()) x += a;");
    EXPECT_EQ(guardedBody("do { x += 1.0; } while(x < f(y, (z)));"),
              "do { x += 1.0; } while((x < f(y, (z))) && lumivex_step());");
    EXPECT_EQ(guardedBody("for (int i = 0; i < n; ++i) {}"), "for (int i = 0; (i < n) && lumivex_step(); ++i) {}");
    EXPECT_EQ(guardedBody("for (;;) {}"), "for (;lumivex_step();) {}");
    EXPECT_EQ(guardedBody("for (int i = 0; /* none */ ; ++i) {}"),
              "for (int i = 0; /* none */ lumivex_step(); ++i) {}");
    // Nested loops, over several lines, and loops inside macro bodies.
    EXPECT_EQ(guardedBody("for (int i = 0;\n i < 4;\n ++i)\n  while (\n  go(i)) {}"),
              "for (int i = 0;\n (i < 4) && lumivex_step();\n ++i)\n  while ((\n  go(i)) && lumivex_step()) {}");
    EXPECT_EQ(guardedBody("float f() {\n#define REPEAT(n) for (int k = 0; k < n; ++k)\n REPEAT(3) {} }"),
              "float f() {\n#define REPEAT(n) for (int k = 0; (k < n) && lumivex_step(); ++k)\n REPEAT(3) {} }");
}

TEST(ShaderLoopGuardTest, OnlyWholeWordsOutsideCommentsAreLoops) {
    for (const std::string text : {"float awhile = 1.0; int for_x = 2; float whiles(float forx) { return forx; }",
                                   "// while (true) {}\n/* for (;;) {} */ void main() {}",
                                   "uniform float k;\nvoid main() { gl_FragColor = vec4(k); }\n", "",
                                   "#extension GL_ARB_shader_texture_lod : enable\n#pragma for what it is\n"}) {
        EXPECT_EQ(guarded(text), text);
    }
}

// The counter's definition goes after leading directives on the line that
// follows them, so every line keeps its number.
TEST(ShaderLoopGuardTest, DefinitionFollowsLeadingDirectivesWithoutANewLine) {
    EXPECT_EQ(guarded("#line 0\n#define N 4\nvoid main() { while (N > 0) {} }"),
              "#line 0\n#define N 4\n" + kStepDefinition + " void main() { while ((N > 0) && lumivex_step()) {} }");
}

TEST(ShaderLoopGuardTest, ContinuedLinesReadAsTheCompilerReadsThem) {
    // A keyword split over lines is still the keyword.
    EXPECT_EQ(guardedBody("wh\\\nile (x) {}"), "wh\\\nile ((x) && lumivex_step()) {}");
    // A comment ends where the joined line says, so the loop after it counts.
    EXPECT_EQ(guardedBody("/* c *\\\r\n/ while (x) {}"), "/* c *\\\r\n/ while ((x) && lumivex_step()) {}");
    // A line comment continued takes the next line with it.
    EXPECT_EQ(guarded("// c \\\nwhile (true) {}"), "// c \\\nwhile (true) {}");
}

TEST(ShaderLoopGuardTest, WhatCouldHideALoopIsRefusedWithItsLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"#define W while\nvoid main() {\n  W(true) {}\n}",
         "Shader line 1: a loop keyword must be followed by its "
         "condition in parentheses"},
        {"void main() {\n\n  for int i;\n}", "Shader line 3: a loop keyword must be followed"},
        {"void main() {\n  while (x < (1.0) {}\n}\n", "Shader line 2: a loop's parenthesis is never closed"},
        {"#define L(c) while (c\nvoid main() { L(true)) {} }", "Shader line 1: a loop's parenthesis is never closed"},
        {"void main() {\n#define P(a, b) a ## b\n  P(wh, ile)(true) {}\n}", "Shader line 2: token pasting (##)"},
        {"void main() { x = 1 ## 2; }", "Shader line 1: token pasting (##)"},
        {"#define S ;\nvoid main() { for (int i = 0 S i < 3 S ++i) {} }", "Shader line 2: a for loop's parentheses"},
        {"#define C true)) {} if ((true\nvoid main() { while (C) {} }", "Shader line 1: a macro's parentheses"},
        {"void main() {\n  while (\n#if 0\n  )\n#endif\n  true)) {}\n}", "Shader line 3: a directive or '#'"},
        {"void main() { x; /*\n*/ #define W while\n}", "Shader line 2: a '#' may only begin a directive"},
        {"#define W /*\n*/ while\n", "Shader line 1: a comment must not carry a directive"},
        {"#if 1 /*\n*/ while (true) {}\n#endif\n", "Shader line 1: a comment must not carry a directive"},
    };
    for (const auto& [text, refusal] : cases) EXPECT_EQ(guarded(text).find("refused: " + refusal), 0u) << text;
    // Lines count from the number given for the first.
    std::string text = "\nfor x";
    EXPECT_EQ(ss::guardLoops(text, 7).value_or(""),
              "Shader line 8: a loop keyword must be followed by its condition in parentheses");
}

TEST(ShaderLoopGuardTest, RefusalLeavesTheTextAlone) {
    std::string text = "while (true) {}\nfor x";
    EXPECT_TRUE(ss::guardLoops(text));
    EXPECT_EQ(text, "while (true) {}\nfor x");
}

}  // namespace
