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
