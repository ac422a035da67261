#include <gtest/gtest.h>

#include <algorithm>

#include "script/Program.h"

using script::buildProgram;
using script::scriptPrelude;

TEST(Prelude, LayoutAndConstants) {
    const std::string& prelude = scriptPrelude();
    EXPECT_EQ(prelude.rfind("\n\nvar LX_Type = { UNKNOWN: 0, FLOAT: 1,", 0), 0u);
    const size_t typeEnd = prelude.find("ANGLE: 12 };\n\nvar LX_GL = {\n");
    EXPECT_NE(typeEnd, std::string::npos);
    const size_t comment = prelude.find(
        "\n/* ------------------------- GL_ARB_texture_swizzle ------------------------ */\n"
        "    TEXTURE_SWIZZLE_R: 0x8E42,\n");
    EXPECT_NE(comment, std::string::npos);
    // Groups are separated by blank lines.
    EXPECT_NE(prelude.find("ALPHA: 0x1906,\n\n    NEAREST: 0x2600,"), std::string::npos);
    EXPECT_NE(prelude.find("TEXTURE_LOD_BIAS: 0x8501,\n\n/*"), std::string::npos);
    EXPECT_NE(prelude.find("};\n\nvar LX_ParamFlags = {\n    NONE: 0,\n    ScaleByWidth: 8,\n"), std::string::npos);
    EXPECT_EQ(prelude.substr(prelude.size() - 6), "\n};\n\n\n");
    EXPECT_EQ(script::preludeLineCount(), static_cast<int>(std::count(prelude.begin(), prelude.end(), '\n')));
}

TEST(BuildProgram, AppendsSetupCallAndBothStubsWhenMissing) {
    const std::string program = buildProgram("function setup() {}\nfunction draw() {}");
    EXPECT_EQ(program, scriptPrelude() + "function setup() {}\nfunction draw() {}\nsetup();\n" +
                           "function preRender(w,h) {};function updateUIFlags() {};");
}

TEST(BuildProgram, KeepsScriptsThatNameTheEntryPoints) {
    const std::string script = "function preRender(w,h) {}\nfunction updateUIFlags() {}";
    EXPECT_EQ(buildProgram(script), scriptPrelude() + script + "\nsetup();\n");
    // A mention in a comment is enough to suppress a stub.
    const std::string mention = "// preRender is not needed\n";
    EXPECT_EQ(buildProgram(mention), scriptPrelude() + mention + "\nsetup();\nfunction updateUIFlags() {};");
}

TEST(BuildProgram, BlanksOnlyTheFirstImport) {
    const std::string program = buildProgram("import L;x();import L;");
    EXPECT_NE(program.find(" x();import L;\nsetup();"), std::string::npos);
}

TEST(BuildProgram, RewritesEveryLXPrefixIncludingAdjacentOnes) {
    const std::string program = buildProgram("L.X.L.X.initParam(L.X.L.X.)");
    EXPECT_NE(program.find("LX_LX_initParam(LX_LX_)"), std::string::npos);
    EXPECT_EQ(program.find("L.X."), std::string::npos);
}
