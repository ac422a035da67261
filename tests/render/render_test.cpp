// The render library as a caller sees it: a job reports its frames through
// the events it is given and the effect's error text as its result, and
// prints nothing itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "media/Still.h"
#include "render/Description.h"
#include "render/RenderJob.h"

namespace fs = std::filesystem;

namespace {

struct Job : testing::Test {
    std::string dir;

    void SetUp() override {
        setenv("LUMIVEX_MODULE_DIR", MODULE_DIR, 1);
        dir = testing::TempDir() + "render_" + testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        fs::remove_all(dir);
        fs::create_directories(dir);
    }

    render::RenderJob job(const std::string& effect, std::vector<std::string> params) const {
        render::RenderJob j;
        j.chain.push_back({render::chooseModule("--effect", effect), std::move(params)});
        j.width = 8;
        j.height = 4;
        j.baseDir = dir;
        return j;
    }
};

// Everything a job says, in order.
struct Heard {
    std::vector<std::string> said;

    render::RenderEvents events() {
        render::RenderEvents e;
        e.started = [this](uint32_t frames) { said.push_back("started " + std::to_string(frames)); };
        e.frameDone = [this](uint32_t done, uint32_t frames) {
            said.push_back("done " + std::to_string(done) + "/" + std::to_string(frames));
        };
        e.note = [this](const std::string& text) { said.push_back("note " + text); };
        return e;
    }
};

TEST_F(Job, FramesAreReportedAsTheyAreWrittenAndNothingIsPrinted) {
    // The probe's Time mode: red is the frame's time in seconds / 10.
    render::RenderJob j = job(PROBE_EFFECT, {"Mode=Time"});
    j.output = dir + "time.%d.png";
    j.frames = 3;
    j.framesGiven = true;
    j.fps = 10;
    j.fpsGiven = true;
    j.time = 1;
    Heard heard;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::string effectError = render::runRenderJob(j, heard.events());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(effectError, "");
    EXPECT_EQ(heard.said, (std::vector<std::string>{"started 3", "done 1/3", "done 2/3", "done 3/3"}));
    // Frames 10 to 12 of the job at 10 frames a second.
    for (int k = 0; k < 3; ++k) {
        const ImageLib::Picture frame = media::readImage(dir + "time." + std::to_string(10 + k) + ".png");
        EXPECT_NEAR(frame.pixel(4, 2)[0], (1 + k / 10.0) / 10, 1 / 255.0) << k;  // one 8-bit step
    }
}

TEST_F(Job, AnEffectsErrorIsTheResultAndTheFrameIsStillWritten) {
    render::RenderJob j = job(THROWS_EFFECT, {});
    j.output = dir + "out.png";
    testing::internal::CaptureStderr();
    const std::string effectError = render::runRenderJob(j);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(effectError.find("throws on purpose"), std::string::npos) << effectError;
    EXPECT_TRUE(fs::exists(dir + "out.png"));
}

TEST_F(Job, ValuesGivenWrongAreUsageErrorsNamingTheParameter) {
    render::RenderJob j = job(PROBE_EFFECT, {"Mode=8"});
    j.output = dir + "out.png";
    try {
        render::runRenderJob(j);
        FAIL() << "no error";
    } catch (const render::UsageError& e) {
        EXPECT_NE(std::string(e.what()).find("'Mode'"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("the entries are: 1 Values, 2 Tint"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir + "out.png"));
}

// `info --json` is JSON whatever the effect gives: an endless range becomes
// null and a name that is not UTF-8 (a lone surrogate from the script) gets
// U+FFFD; one parameter a line.
TEST_F(Job, TheDescriptionIsJsonForAnyEffect) {
    const std::string effect = dir + "params";
    fs::copy(PARAMS_EFFECT, effect, fs::copy_options::recursive);
    std::ifstream in(effect + "/fx.js");
    std::string script((std::istreambuf_iterator<char>(in)), {});
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"(amount, 0, 200)", "(amount, 0, Infinity)"},
                                   {"\"Angle\")", "\"Angle \\uD800\")"}}) {
        ASSERT_NE(script.find(from), std::string::npos) << from;
        script.replace(script.find(from), from.size(), to);
    }
    std::ofstream(effect + "/fx.js") << script;
    const render::ModuleChoice choice = render::chooseModule("--effect", effect);
    const hostsim::Registration reg = render::readRegistration(choice);
    auto module = render::loadModule(choice, reg);
    hostsim::Host host(*module, hostsim::HostConfig{});
    ASSERT_EQ(host.globalSetup(), PF_Err_NONE);
    ASSERT_EQ(host.paramsSetup(), PF_Err_NONE);
    std::ostringstream out;
    render::writeInfoJson(out, render::describeEffect(choice.path, reg, "about", host));
    const nlohmann::json info = nlohmann::json::parse(out.str(), nullptr, false);
    ASSERT_FALSE(info.is_discarded()) << out.str();
    EXPECT_EQ(info["parameters"][1]["range"], nlohmann::json::parse("[0, null]"));
    EXPECT_EQ(info["parameters"][3]["name"].get<std::string>().rfind("Angle \xEF\xBF\xBD", 0), 0u);
    std::istringstream lines(out.str());
    int params = 0;
    for (std::string line; std::getline(lines, line);) params += line.rfind("    {\"index\": ", 0) == 0;
    EXPECT_EQ(params, host.paramCount() - 1);
}

}  // namespace
