// Inputs past what a host or the GL can hold, as a host meets them: each is
// refused with a message naming the cause or handled, never a crash or a
// hang. The loose-file cases run the lumivex command on an effect folder
// (the engine module reads it as its package).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "../tools/CliFixture.h"
#include "hostsim/Host.h"

namespace {

namespace fs = std::filesystem;

const char* kConfig = "<FXNAME>Limits</FXNAME><FLAGS>33554432</FLAGS><FLAGS2>5120</FLAGS2>\n";
const char* kDrawSolid =
    "function draw() { LX_setShaderParamVal(solid, 'level', [level]); LX_renderShader(solid, LX_getSequenceRT()); }\n";

struct Limits : clitest::Cli {
    // An effect folder with config.xml, fx.js and the given files.
    std::string effect(const std::string& script, const std::map<std::string, std::string>& files = {}) {
        std::string folder = path("effect");
        fs::create_directories(folder);
        std::ofstream(folder + "/config.xml") << kConfig;
        std::ofstream(folder + "/fx.js", std::ios::binary) << script;
        for (const auto& [name, text] : files) std::ofstream(folder + "/" + name, std::ios::binary) << text;
        return folder;
    }
    // Renders a small frame of the folder's effect; the command must end
    // normally: 0, or 3 when the effect reported an error, whose frame it
    // still writes (and says so on stderr).
    clitest::Outcome render(const std::string& folder) {
        clitest::Outcome outcome = run("render --effect '" + folder + "' --size 32x18 --output out.png");
        EXPECT_TRUE(outcome.status == 0 || (outcome.status == 3 && !outcome.err.empty()))
            << outcome.status << ": " << outcome.err;
        EXPECT_TRUE(fs::exists(path("out.png")));
        return outcome;
    }
};

// A solid shader whose grey level the script sets.
std::string solidSetup(const std::string& before) {
    return "var solid, level = 0.5;\nfunction setup() {\n" + before +
           "solid = LX_initShader('solid', 'uniform float level; void main() { gl_FragColor = vec4(level); }');\n}\n" +
           kDrawSolid;
}

}  // namespace

TEST_F(Limits, TenMegabyteScriptRuns) {
    std::string script = "var table = [";
    for (int i = 0; script.size() < 10u * 1024 * 1024; ++i) script += std::to_string(i % 1000) + ",";
    script += "0];\n" + solidSetup("level = table.length > 1000000 ? 1 : 0;");
    const clitest::Outcome outcome = render(effect(script));
    EXPECT_EQ(outcome.err, "");
}

TEST_F(Limits, TenThousandParametersReachTheHost) {
    const std::string folder =
        effect(solidSetup("for (var i = 0; i < 10000; ++i) LX_initParam('p' + i, LX_Type.FLOAT, 'P' + i);"));
    const clitest::Outcome info = run("info --effect '" + folder + "' --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\"P9999\""), std::string::npos);
    EXPECT_EQ(render(folder).err, "");
}

TEST_F(Limits, ShaderWithTenThousandUniformsIsRefusedBeforeCompiling) {
    std::string shader, sum;
    for (int i = 0; i < 10000; ++i) {
        shader += "uniform float u" + std::to_string(i) + ";\n";
        sum += "s += u" + std::to_string(i) + ";\n";
    }
    shader += "void main() { float s = 0.0;\n" + sum + "gl_FragColor = vec4(s); }\n";
    const std::string script =
        "var many; function setup() { many = LX_initShader('many'); }\n"
        "function draw() { LX_renderShader(many, LX_getSequenceRT()); }\n";
    const clitest::Outcome outcome = render(effect(script, {{"many.frag", shader}}));
    EXPECT_NE(outcome.err.find("declares 10000 uniforms"), std::string::npos) << outcome.err;
}

// A 1 GB file in the package (sparse, so the disk holds almost none of it),
// loaded as a texture: not an image, so the texture stays empty and the
// effect renders.
TEST_F(Limits, GigabyteTextureFileInThePackage) {
    const std::string folder = effect("var big;\n" + solidSetup("big = LX_initTexture('big.png');"), {{"big.png", ""}});
    fs::resize_file(fs::path(folder) / "big.png", uint64_t(1) << 30);
    EXPECT_EQ(render(folder).err, "");
}

TEST(LimitsHost, FrameWiderThanTheGLIsRefusedWithAMessageOrRendered) {
    hostsim::Module module(VANTREL_MODULE);
    hostsim::Host host(module, hostsim::HostConfig{});
    // Wider than llvmpipe's largest texture (16384) and within the host's
    // largest world (32768); a GL that holds it renders it.
    host.setInput(hostsim::Image(20000, 2));
    ASSERT_EQ(host.start(), PF_Err_NONE);
    const hostsim::RenderResult frame = host.render(0);
    if (frame.result == PF_Err_NONE) {
        EXPECT_EQ(frame.image.width, 20000u);
    } else {
        EXPECT_NE(frame.message + host.outData().return_msg, "") << hostsim::errorName(frame.result);
    }
    // A frame the GL can hold still renders afterwards.
    host.setInput(hostsim::Image(64, 36));
    EXPECT_EQ(host.render(1000).result, PF_Err_NONE);
    EXPECT_EQ(host.finish(), PF_Err_NONE);
}
