// The studio's rules (token, origin, Host, confined paths, image sizes and
// scaling, values, error text), the render-process protocol against small
// shell children, the file watcher, and the server itself run as
// `lumivex studio` on the parameter fixture: who may change what, held
// connections, uploads, values kept across a failed load.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "media/Still.h"
#include "studio/RenderProcess.h"
#include "studio/Rules.h"
#include "studio/Watcher.h"
#include "tests/studio/StudioServer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace studio;
using namespace studio_test;
using std::chrono::milliseconds;

TEST(StudioRules, TokensAreRandomAndComparedWhole) {
    const std::string a = newToken(), b = newToken();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, b);
    EXPECT_TRUE(sameToken(a, a));
    EXPECT_FALSE(sameToken(a, b));
    EXPECT_FALSE(sameToken(a, a.substr(0, 31)));
    EXPECT_FALSE(sameToken(a, a + "0"));
    EXPECT_FALSE(sameToken("", ""));  // no token configured lets nobody in
}

TEST(StudioRules, OnlyOurOwnOriginMayAsk) {
    const std::string host = "127.0.0.1:8123";
    // The page itself, a program without browser headers, the user's own
    // navigation to a read.
    EXPECT_TRUE(isSameOrigin("POST", host, "http://127.0.0.1:8123", "same-origin"));
    EXPECT_TRUE(isSameOrigin("PUT", "localhost:8123", "http://LocalHost:8123", ""));
    EXPECT_TRUE(isSameOrigin("POST", host, "", ""));
    EXPECT_TRUE(isSameOrigin("GET", host, "", "none"));
    // Another port of the same address is another origin and the same site;
    // sandboxed frames send "null".
    for (const char* origin : {"http://127.0.0.1:8124", "http://127.0.0.1", "https://127.0.0.1:8123", "null",
                               "http://localhost:8123", "http://evil.example"})
        EXPECT_FALSE(isSameOrigin("POST", host, origin, "")) << origin;
    for (const char* site : {"same-site", "cross-site", "anything"})
        EXPECT_FALSE(isSameOrigin("GET", host, "", site)) << site;
    EXPECT_FALSE(isSameOrigin("POST", host, "", "none"));
}

TEST(StudioRules, MediaTypesIgnoreParametersAndCase) {
    EXPECT_TRUE(hasMediaType("application/json", "application/json"));
    EXPECT_TRUE(hasMediaType(" Application/JSON ; charset=utf-8", "application/json"));
    for (const char* other :
         {"", "text/plain", "application/json5", "text/plain; x=application/json", ";application/json"})
        EXPECT_FALSE(hasMediaType(other, "application/json")) << other;
}

std::string pngHead(uint32_t width, uint32_t height) {
    std::string head("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) head += char((v >> shift) & 0xff);
    return head + std::string("\x08\x06\0\0\0", 5);
}

// An OpenEXR header: magic, version, a channel list, then the data window.
std::string exrHead(int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax, bool withWindow = true) {
    std::string head("\x76\x2f\x31\x01\x02\0\0\0", 8);
    auto little = [&](int32_t v) {
        for (int i = 0; i < 4; ++i) head += char((uint32_t(v) >> (8 * i)) & 0xff);
    };
    head += std::string("channels\0chlist\0", 16);
    little(3);
    head += std::string("R\0\0", 3);
    if (withWindow) {
        head += std::string("dataWindow\0box2i\0", 17);
        little(16);
        for (int32_t v : {xMin, yMin, xMax, yMax}) little(v);
    }
    return head + std::string(1, '\0');
}

TEST(StudioRules, ImageHeadersAreCheckedBeforeDecoding) {
    EXPECT_EQ(imageSizeRefusal(pngHead(4200, 4200)), "");
    EXPECT_EQ(imageSizeRefusal(pngHead(16384, 2048)), "");
    for (auto [w, h] : {std::pair{32768u, 32768u}, {16385u, 1u}, {8192u, 4097u}, {0u, 10u}, {0x80000000u, 1u}})
        EXPECT_NE(imageSizeRefusal(pngHead(w, h)), "") << w << "x" << h;
    EXPECT_NE(imageSizeRefusal(pngHead(32768, 32768)).find("32768x32768"), std::string::npos);
    EXPECT_NE(imageSizeRefusal(pngHead(100, 100).substr(0, 20)), "");  // cut inside IHDR
    EXPECT_EQ(imageSizeRefusal(exrHead(0, 0, 1919, 1079)), "");
    EXPECT_EQ(imageSizeRefusal(exrHead(-100, -100, 99, 99)), "");
    EXPECT_NE(imageSizeRefusal(exrHead(0, 0, 32767, 32767)), "");
    EXPECT_NE(imageSizeRefusal(exrHead(10, 0, 0, 10)), "");  // empty
    EXPECT_NE(imageSizeRefusal(exrHead(-2147483647, 0, 2147483647, 0)), "");
    EXPECT_NE(imageSizeRefusal(exrHead(0, 0, 9, 9, false)), "");
    EXPECT_NE(imageSizeRefusal(exrHead(0, 0, 9, 9).substr(0, 40)), "");
    // Other formats are left to the engine's decoder, which checks its own.
    EXPECT_EQ(imageSizeRefusal("\xff\xd8\xff\xe0"), "");
    EXPECT_EQ(imageSizeRefusal(""), "");
}

TEST(StudioRules, ImagesScaleDownByArea) {
    // One row 0, 3, 6 into two pixels: each covers one and a half.
    ImageLib::Picture row(3, 1);
    for (uint32_t x = 0; x < 3; ++x)
        for (int c = 0; c < 4; ++c) row.pixel(x, 0)[c] = float(3 * x + c);
    ImageLib::Picture out = fitWithin(row, 2, 8);
    ASSERT_EQ(out.width, 2u);
    ASSERT_EQ(out.height, 1u);
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(out.pixel(0, 0)[c], (c + 0.5f * (3 + c)) / 1.5f, 1e-5) << c;
        EXPECT_NEAR(out.pixel(1, 0)[c], (0.5f * (3 + c) + (6 + c)) / 1.5f, 1e-5) << c;
    }
    // 4x2 into a 2x2 box keeps the aspect: 2x1, each the mean of a 2x2 block.
    ImageLib::Picture block(4, 2);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 4; ++x) block.pixel(x, y)[0] = float(x + 4 * y);
    out = fitWithin(block, 2, 2);
    ASSERT_EQ(out.width, 2u);
    ASSERT_EQ(out.height, 1u);
    EXPECT_NEAR(out.pixel(0, 0)[0], (0 + 1 + 4 + 5) / 4.0f, 1e-5);
    EXPECT_NEAR(out.pixel(1, 0)[0], (2 + 3 + 6 + 7) / 4.0f, 1e-5);
    // An image that fits is not touched; a sliver keeps a pixel.
    EXPECT_EQ(fitWithin(block, 4, 2).rgba, block.rgba);
    EXPECT_EQ(fitWithin(ImageLib::Picture(1000, 1), 10, 10).height, 1u);
}

TEST(StudioRules, OnlyLoopbackHostsOnOurPort) {
    for (const char* ok : {"127.0.0.1:8123", "127.0.0.1", "localhost:8123", "LocalHost", "[::1]:8123", "[::1]"})
        EXPECT_TRUE(isLoopbackHost(ok, 8123)) << ok;
    for (const char* bad : {"", "evil.example:8123", "127.0.0.1.evil.example:8123", "localhost:8124",
                            "127.0.0.1:", "127.0.0.1:8123x", "127.0.0.2:8123", "localhost.:8123", "[::2]:8123"})
        EXPECT_FALSE(isLoopbackHost(bad, 8123)) << bad;
}

TEST(StudioRules, PathsStayInsideTheRoot) {
    TempDir dir;
    dir.write("effect/a.png");
    dir.write("effect/sub/b.png");
    dir.write("effectX/secret.png");
    fs::create_symlink(dir.path / "effectX/secret.png", dir.path / "effect/link.png");
    fs::create_symlink(dir.path / "effect/a.png", dir.path / "effect/inside.png");
    const std::string root = (dir.path / "effect").string();
    EXPECT_EQ(confinedPath(root, "a.png"), fs::canonical(dir.path / "effect/a.png").string());
    EXPECT_EQ(confinedPath(root, "sub/../sub/b.png"), fs::canonical(dir.path / "effect/sub/b.png").string());
    EXPECT_EQ(confinedPath(root, "inside.png"), fs::canonical(dir.path / "effect/a.png").string());
    for (const char* bad :
         {"../effectX/secret.png", "link.png", "sub", "missing.png", "", "/etc/passwd", "sub/../../effectX/secret.png"})
        EXPECT_FALSE(confinedPath(root, bad)) << bad;
    EXPECT_FALSE(confinedPath(root, std::string("a.png\0x", 7)));
}

TEST(StudioRules, ValuesBecomeParamText) {
    using nlohmann::json;
    EXPECT_EQ(paramText(json(0.25)), "0.25");
    EXPECT_EQ(paramText(json(3)), "3");
    EXPECT_EQ(paramText(json(true)), "true");
    EXPECT_EQ(paramText(json("Two")), "Two");
    EXPECT_EQ(paramText(json::array({255, 0.5, 0})), "255,0.5,0");
    for (const json& bad :
         {json(nullptr), json::object(), json::array(), json::array({"a"}), json::array({json::array({1})})})
        EXPECT_THROW(paramText(bad), std::invalid_argument) << bad.dump();
}

TEST(StudioRules, EffectErrorsNameFileAndLine) {
    const std::vector<EffectError> e = parseEffectErrors(
        "Shader \"fill\"\nShader compilation failed:\n0:3(17): error: `x' undeclared\n"
        "0:12(2): error: syntax error\nScript error in draw() at line 17:\nError: fixture fault\n"
        "Script error in fx.js (load and setup) at line 20:\nSyntaxError: unterminated statement\n");
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].file, "fill.frag");
    EXPECT_EQ(e[0].line, 3);
    EXPECT_EQ(e[0].message, "error: `x' undeclared");
    EXPECT_EQ(e[1].line, 12);
    EXPECT_EQ(e[2].file, "fx.js");
    EXPECT_EQ(e[2].line, 17);
    EXPECT_EQ(e[2].message, "in draw(): Error: fixture fault");
    EXPECT_EQ(e[3].line, 20);
    EXPECT_TRUE(parseEffectErrors("").empty());
}

TEST(StudioRules, ScriptErrorsGiveTheAuthorsLineOnce) {
    // A syntax error as the engine reports it: the author's line, the
    // composed script's line, then the functions it could not call.
    std::vector<EffectError> e = parseEffectErrors(
        "Script error in fx.js (load and setup) at line 52:\nSyntaxError: expected identifier (line 102)\n"
        "Script error in preRender():\nReferenceError: identifier 'preRender' undefined\n"
        "Script error in updateUIFlags():\nReferenceError: identifier 'updateUIFlags' undefined\n"
        "Script error in draw():\nReferenceError: identifier 'draw' undefined\n");
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].line, 52);
    EXPECT_EQ(e[0].message, "in fx.js (load and setup): SyntaxError: expected identifier");
    // Loaded, an undefined draw() is the author's fault; a missing optional
    // function is not; another undefined name is.
    e = parseEffectErrors(
        "Script error in draw():\nReferenceError: identifier 'draw' undefined\n"
        "Script error in updateUIFlags():\nReferenceError: identifier 'updateUIFlags' undefined\n"
        "Script error in preRender() at line 4:\nReferenceError: identifier 'x' undefined\n");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].message, "in draw(): ReferenceError: identifier 'draw' undefined");
    EXPECT_EQ(e[1].line, 4);
}

TEST(StudioRules, CompilerWarningsAreNotErrors) {
    const std::vector<EffectError> e = parseEffectErrors(
        "Shader \"fill\"\nShader compilation failed:\n0:2(7): warning: `t' used uninitialized\n0:5(1): error: syntax "
        "error\n");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_TRUE(e[0].warning);
    EXPECT_EQ(e[0].line, 2);
    EXPECT_FALSE(e[1].warning);
}

TEST(StudioRules, GroupsFlaggedStartCollapsedAreMarked) {
    nlohmann::json info = nlohmann::json::parse(R"({"parameters": [
        {"index": 1, "type": "group-start"}, {"index": 2, "type": "slider"},
        {"index": 3, "type": "group-start"}, {"index": 4, "type": "group-end"}, {"index": 5, "type": "group-end"}]})");
    // Host flags by index: group 3 starts collapsed; the slider's own 0x20 (a
    // twirly of its own) and group 1's other flags do not fold anything.
    const std::map<int, uint32_t> flags{{1, 0x40}, {2, 0x60}, {3, 0x20}, {4, 0}, {5, 0}};
    markCollapsedGroups(info, [&](int index) { return flags.at(index); });
    EXPECT_EQ(info["parameters"][0]["collapsed"], false);
    EXPECT_EQ(info["parameters"][2]["collapsed"], true);
    for (int i : {1, 3, 4}) EXPECT_FALSE(info["parameters"][i].contains("collapsed")) << i;
}

// A render process played by the shell: `script` runs with the request
// pipe on fd 3 and the answer pipe on fd 4.
RenderProcess shellChild(const std::string& script) {
    return RenderProcess({"/bin/sh", "-c", script}, milliseconds(2000));
}

TEST(StudioRenderProcess, SpeaksOneJsonObjectALine) {
    // The child keeps the request lines it reads in `log`, and answers with
    // a description, a frame of 1x1 at layer pixel (-7, 3) (RGBA 1.0, 0.5,
    // 0, 2.0 as little-endian floats after the line), and an error.
    TempDir dir;
    const std::string log = (dir.path / "requests").string();
    RenderProcess p = shellChild(
        "printf '{\"status\": \"ok\"}\\n' >&4;"
        "read -r r <&3; printf '%s\\n' \"$r\" >>" +
        log +
        ";"
        "printf '{\"status\": \"ok\", \"effect\": {\"about\": \"A\\\\tB\", \"parameters\": []}}\\n' >&4;"
        "read -r r <&3; printf '%s\\n' \"$r\" >>" +
        log +
        ";"
        "printf '{\"status\": \"frame\", \"error\": \"\", \"width\": 1, \"height\": 1, \"x\": -7, \"y\": 3}\\n"
        "\\000\\000\\200\\077\\000\\000\\000\\077\\000\\000\\000\\000\\000\\000\\000\\100' >&4;"
        "read -r r <&3; printf '%s\\n' \"$r\" >>" +
        log +
        ";"
        "printf '{\"status\": \"error\", \"message\": \"bad\\\\nvalue\"}\\n' >&4;"
        "read -r r <&3; printf '%s\\n' \"$r\" >>" +
        log + "; printf '{\"status\": \"ok\"}\\n' >&4; read -r r <&3");
    Reply info = p.call(Describe{}, milliseconds(2000));
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.effect, nlohmann::json::parse(R"({"about": "A\tB", "parameters": []})"));
    Reply frame = p.call(RenderFrame{0.5, 16}, milliseconds(2000));
    EXPECT_TRUE(frame.ok);
    EXPECT_EQ(frame.text, "");
    ASSERT_EQ(frame.frame.width, 1u);
    EXPECT_EQ(frame.originX, -7);
    EXPECT_EQ(frame.originY, 3);
    EXPECT_EQ(frame.frame.rgba, (std::vector<float>{1.0f, 0.5f, 0.0f, 2.0f}));
    Reply error = p.call(SetParam{"Tint", nlohmann::json::array({255, 0.5, 0})}, milliseconds(2000));
    EXPECT_FALSE(error.ok);
    EXPECT_EQ(error.text, "bad\nvalue");
    // Texts with tabs and line breaks travel as they are.
    EXPECT_TRUE(p.call(StartHost{"premiere", 2, 320, 180, "/a b/tab\there\nnext.png"}, milliseconds(2000)).ok);

    std::ifstream in(log);
    std::vector<nlohmann::json> sent;
    for (std::string line; std::getline(in, line);) sent.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], nlohmann::json({{"op", "info"}}));
    EXPECT_EQ(sent[1], nlohmann::json({{"op", "render"}, {"time", 0.5}, {"depth", 16}}));
    EXPECT_EQ(sent[2], nlohmann::json({{"op", "param"}, {"name", "Tint"}, {"value", {255, 0.5, 0}}}));
    EXPECT_EQ(sent[3], nlohmann::json({{"op", "host"},
                                       {"host", "premiere"},
                                       {"downsample", 2},
                                       {"width", 320},
                                       {"height", 180},
                                       {"input", "/a b/tab\there\nnext.png"}}));
}

void expectFailure(const std::string& script, const std::string& words, milliseconds timeout = milliseconds(2000)) {
    const auto start = std::chrono::steady_clock::now();
    try {
        RenderProcess p = shellChild("printf '{\"status\": \"ok\"}\\n' >&4; read r <&3; " + script);
        p.call(RenderFrame{}, timeout);
        ADD_FAILURE() << "no failure for: " << script;
    } catch (const ProcessFailure& e) {
        EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, timeout + milliseconds(1500)) << script;
}

TEST(StudioRenderProcess, FailuresAreNamed) {
    expectFailure("kill -SEGV $$", "crashed the render process (Segmentation fault)");
    expectFailure("exit 86", "ran out of memory");
    expectFailure("kill -KILL $$", "killed (SIGKILL)");
    expectFailure("exit 3", "ended with status 3");
    expectFailure("exec sleep 30", "did not answer in time", milliseconds(300));
    expectFailure("printf 'nonsense 1\\n' >&4; exec sleep 30", "unreadable answer");
    EXPECT_THROW(shellChild("printf '{\"status\": \"error\", \"message\": \"nope\"}\\n' >&4"), ProcessFailure);
}

// A line that is not JSON, or JSON that is not an answer, ends the process
// as garbage: the server never guesses at what it meant.
TEST(StudioRenderProcess, MalformedAnswersAreFailures) {
    for (const char* line : {
             R"({"status": "frame", "error": "", "width": 1)",  // cut short
             "frame 0 1 1 -7 3",                                // not JSON
             R"(["ok"])",
             R"({"status": "fine"})",
             R"({"status": "error"})",
             R"({"status": "error", "message": 7})",
             R"({"status": "frame", "error": "", "width": "1", "height": 1, "x": 0, "y": 0})",
             R"({"status": "frame", "error": "", "width": 100000, "height": 1, "x": 0, "y": 0})",
             R"({"status": "frame", "error": "", "width": 1, "height": 1, "x": 0})",
         })
        expectFailure(std::string("printf '%s\\n' '") + line + "' >&4; exec sleep 30", "unreadable answer");
}

// The render process itself on the parameter fixture: a value of every
// kind arrives as the page typed it and comes back in the description;
// one of the wrong kind is refused by name and the process lives on.
TEST(StudioRenderProcess, TypedValuesOfEveryKindArriveIntact) {
    using nlohmann::json;
    const milliseconds wait(60000);
    RenderProcess p({LUMIVEX_COMMAND, "studio", "--render-process", "--effect", PARAMS_EFFECT}, wait);
    ASSERT_TRUE(p.call(StartHost{"ae", 1, 64, 36, ""}, wait).ok);
    const json values = {
        {"Amount", 87.5},           {"Centre", {0.125, -0.375}}, {"Angle", 30.25}, {"Tint", {10, 20, 30}},
        {"Place", {1, -2.5, 3.75}}, {"Enable", false},           {"Mode", 3},      {"Pattern", "Lines"}};
    for (const auto& [name, value] : values.items()) {
        const Reply r = p.call(SetParam{name, value}, wait);
        EXPECT_TRUE(r.ok) << name << ": " << r.text;
    }
    const Reply info = p.call(Describe{}, wait);
    ASSERT_TRUE(info.ok) << info.text;
    std::map<std::string, json> now;
    for (const json& param : info.effect.at("parameters")) now[param["name"]] = param.value("value", json());
    const json expected = {
        {"Amount", 87.5},           {"Centre", {0.125, -0.375}}, {"Angle", 30.25}, {"Tint", {10, 20, 30, 255}},
        {"Place", {1, -2.5, 3.75}}, {"Enable", false},           {"Mode", 3},      {"Pattern", 2}};
    for (const auto& [name, value] : expected.items()) EXPECT_EQ(now[name], value) << name;

    const std::vector<std::pair<std::string, json>> wrong = {{"Enable", 2}, {"Tint", {300, 0, 0}},    {"Mode", 4},
                                                             {"Mode", 1.5}, {"Centre", {1, "x"}},     {"Amount", true},
                                                             {"Matte", 3},  {"Place", json::object()}};
    for (const auto& [name, value] : wrong) {
        const Reply r = p.call(SetParam{name, value}, wait);
        EXPECT_FALSE(r.ok) << name << " " << value;
        EXPECT_NE(r.text.find("'" + name + "'"), std::string::npos) << r.text;
    }
    // Red is Amount / 100.
    const Reply frame = p.call(RenderFrame{}, wait);
    ASSERT_TRUE(frame.ok) << frame.text;
    ASSERT_GT(frame.frame.width, 0u);
    EXPECT_NEAR(frame.frame.pixel(0, 0)[0], 0.875, 1.0 / 255);
}

// A name the script gives that is not UTF-8 (a lone surrogate) still makes
// a description the page can read.
TEST(StudioRenderProcess, NamesThatAreNotUtf8AreDescribed) {
    TempDir dir;
    fs::copy(PARAMS_EFFECT, dir.path, fs::copy_options::recursive);
    std::ifstream in(dir.path / "fx.js");
    std::string script((std::istreambuf_iterator<char>(in)), {});
    const std::string angle = "\"Angle\")";
    ASSERT_NE(script.find(angle), std::string::npos);
    script.replace(script.find(angle), angle.size(), "\"Angle \\uD800\")");
    std::ofstream(dir.path / "fx.js") << script;
    const milliseconds wait(60000);
    RenderProcess p({LUMIVEX_COMMAND, "studio", "--render-process", "--effect", dir.path.string()}, wait);
    ASSERT_TRUE(p.call(StartHost{"ae", 1, 64, 36, ""}, wait).ok);
    const Reply info = p.call(Describe{}, wait);
    ASSERT_TRUE(info.ok) << info.text;
    EXPECT_EQ(info.effect["parameters"][3]["name"].get<std::string>().rfind("Angle ", 0), 0u) << info.effect.dump();
}

TEST(StudioWatcher, OneCallPerBurstIncludingNewFolders) {
    TempDir dir;
    dir.write("fx.js");
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::vector<std::string>> calls;
    // The settle time is long enough that a loaded machine does not split
    // the first burst into two.
    Watcher w(dir.path.string(), milliseconds(300), [&](const std::vector<std::string>& changed) {
        std::lock_guard<std::mutex> lock(m);
        calls.push_back(changed);
        cv.notify_all();
    });
    auto waitCalls = [&](size_t n) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(3), [&] { return calls.size() >= n; });
    };
    dir.write("fx.js", "a");
    dir.write("fx.js", "b");
    dir.write("shaders/glow.frag");  // a folder made after the watch began
    ASSERT_TRUE(waitCalls(1));
    usleep(700 * 1000);
    {
        std::lock_guard<std::mutex> lock(m);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_NE(std::find(calls[0].begin(), calls[0].end(), "fx.js"), calls[0].end());
        EXPECT_NE(std::find(calls[0].begin(), calls[0].end(), "shaders"), calls[0].end());
    }
    dir.write("shaders/glow.frag", "changed");
    ASSERT_TRUE(waitCalls(2));
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(calls[1], std::vector<std::string>{"shaders/glow.frag"});
}

// ---- the server, run as `lumivex studio` -------------------------------------------------

// A raw connection to the studio, for requests sent in part or streams read
// in part.
struct Socket {
    int fd = -1;
    explicit Socket(int port) {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd);
            fd = -1;
        }
    }
    ~Socket() {
        if (fd >= 0) close(fd);
    }
    Socket(const Socket&) = delete;
    void write(const std::string& text) const {
        ASSERT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
    }
    // What arrives until `needle` has (true) or `wait` has passed (false).
    bool readUntil(const std::string& needle, std::chrono::milliseconds wait, std::string* seen = nullptr) const {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (got.find(needle) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) break;
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, size_t(n));
        }
        if (seen) *seen = got;
        return got.find(needle) != std::string::npos;
    }
};

TEST_F(StudioServer, OnlyTheTokenAuthorisesNeverACookie) {
    const std::string cookie = "lumivex_studio_" + std::to_string(port);
    EXPECT_EQ(send("GET", "/api/settings").status, 200);
    EXPECT_EQ(send("GET", "/api/settings", "", "", {{kTokenHeader, token}}, false).status, 200);
    EXPECT_EQ(send("GET", "/api/settings", "", "", {}, false).status, 403);
    // The page sets no cookie, takes none for the token, and one planted by
    // another local server does not lock it out.
    const Answer page = send("GET", "/?token=" + token, "", "", {}, false);
    EXPECT_EQ(page.status, 200);
    EXPECT_FALSE(page.headers.count("Set-Cookie"));
    EXPECT_EQ(send("GET", "/api/settings", "", "", {{"Cookie", cookie + "=" + token}}, false).status, 403);
    EXPECT_EQ(
        send("GET", "/api/settings", "", "", {{"Cookie", cookie + "=planted"}, {kTokenHeader, token}}, false).status,
        200);
    // The page's script and style are public; they hold nothing secret.
    EXPECT_EQ(send("GET", "/studio.js", "", "", {}, false).status, 200);
    EXPECT_EQ(send("GET", "/", "", "", {}, false).status, 403);
}

TEST_F(StudioServer, ChangesFromOtherPagesAreRefused) {
    // What a page on another port can send without a preflight: text/plain,
    // form bodies and no type at all, with its own Origin and a fetch site
    // of "same-site". Even with the token (as the query of a leaked
    // address) none changes anything.
    const std::string change = R"({"Amount": 77})", q = "?token=" + token;
    const httplib::Headers fromOtherPort{{"Origin", "http://127.0.0.1:1"}, {"Sec-Fetch-Site", "same-site"}};
    for (const char* type : {"text/plain", "application/x-www-form-urlencoded", ""})
        EXPECT_EQ(send("POST", "/api/frame.raw" + q, change, type, {}, false).status, 415) << type;
    const Answer form = send("POST", "/api/frame.raw" + q,
                             "--x\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n" + change + "\r\n--x--\r\n",
                             "multipart/form-data; boundary=x", {}, false);
    EXPECT_EQ(form.status, 415) << form.body;
    EXPECT_EQ(send("POST", "/api/frame.raw" + q, change, "application/json", fromOtherPort, false).status, 403);
    EXPECT_EQ(send("PUT", "/api/params" + q, change, "application/json", {{"Origin", "null"}}, false).status, 403);
    EXPECT_EQ(
        send("PUT", "/api/params" + q, change, "application/json", {{"Sec-Fetch-Site", "cross-site"}}, false).status,
        403);
    EXPECT_EQ(send("PUT", "/api/settings" + q, R"({"width": 320})", "text/plain", {}, false).status, 415);
    EXPECT_EQ(send("POST", "/api/upload" + q, pngHead(16, 16), "text/plain", {}, false).status, 415);
    EXPECT_EQ(send("POST", "/api/upload" + q, pngHead(16, 16), "application/octet-stream", fromOtherPort, false).status,
              403);
    EXPECT_EQ(param("Amount")["value"], 40);
    EXPECT_EQ(nlohmann::json::parse(send("GET", "/api/settings").body)["width"], 640);
    // The page itself: its own origin, JSON.
    const Answer own = send("POST", "/api/frame.raw", change, "application/json",
                            {{"Origin", origin()}, {"Sec-Fetch-Site", "same-origin"}});
    EXPECT_EQ(own.status, 200) << own.body;
    EXPECT_EQ(param("Amount")["value"], 77);
}

TEST_F(StudioServer, NothingMayFrameThePageOrRunForeignScript) {
    for (const Answer& a : {send("GET", "/"), send("GET", "/api/effect"), send("GET", "/", "", "", {}, false)}) {
        const std::string csp = a.header("Content-Security-Policy");
        EXPECT_NE(csp.find("frame-ancestors 'none'"), std::string::npos) << csp;
        EXPECT_NE(csp.find("script-src 'self'"), std::string::npos) << csp;
        EXPECT_EQ(csp.find("unsafe-inline"), std::string::npos) << csp;
        EXPECT_EQ(a.header("X-Frame-Options"), "DENY");
    }
}

TEST_F(StudioServer, HeldConnectionsDoNotLockOthersOut) {
    std::vector<std::unique_ptr<Socket>> held;
    // Event streams, connections that send nothing, and clients that stop
    // in the middle of their request line or headers.
    for (int i = 0; i < 12; ++i) {
        held.push_back(std::make_unique<Socket>(port));
        held.back()->write("GET /api/events?token=" + token + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                           "\r\n\r\n");
        ASSERT_TRUE(held.back()->readUntil("text/event-stream", std::chrono::seconds(30))) << "stream " << i;
    }
    for (int i = 0; i < 30; ++i) held.push_back(std::make_unique<Socket>(port));
    for (int i = 0; i < 30; ++i) {
        held.push_back(std::make_unique<Socket>(port));
        held.back()->write(i % 2 ? "GET /api/sett" : "POST /api/params HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Le");
    }
    for (const auto& s : held) ASSERT_GE(s->fd, 0);
    const Answer settings = send("GET", "/api/settings");
    EXPECT_EQ(settings.status, 200) << "no answer with " << held.size() << " connections held";
    const Answer change = send("POST", "/api/frame.raw", R"({"Amount": 90})", "application/json");
    EXPECT_EQ(change.status, 200);
}

TEST_F(StudioServer, UploadsAreCheckedScaledAndBounded) {
    // A header that declares 32768x32768 is refused before any decoding.
    const Answer huge = send("POST", "/api/upload?name=huge.png", pngHead(32768, 32768) + std::string(180000, '\0'),
                             "application/octet-stream");
    EXPECT_EQ(huge.status, 413) << huge.body;
    EXPECT_EQ(send("POST", "/api/upload?name=notes.txt", "just some text", "application/octet-stream").status, 415);

    // A 64x32 picture with the frame set to 16x16 is kept as 16x8.
    ASSERT_EQ(send("PUT", "/api/settings", R"({"width": 16, "height": 16})", "application/json").status, 200);
    ImageLib::Picture picture(64, 32);
    for (float& v : picture.rgba) v = 0.5f;
    const std::string file = (effect.path / "picture.png").string();
    media::writeImage(file, picture, 8);
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const Answer kept = send("POST", "/api/upload?name=picture.png", bytes, "application/octet-stream");
    ASSERT_EQ(kept.status, 200) << kept.body;
    const nlohmann::json answer = nlohmann::json::parse(kept.body);
    EXPECT_EQ(answer["width"], 16);
    EXPECT_EQ(answer["height"], 8);
    ASSERT_EQ(
        send("PUT", "/api/settings", nlohmann::json{{"input", answer["value"]}}.dump(), "application/json").status,
        200);
    const Answer input = send("GET", "/api/input.png");
    ASSERT_EQ(input.status, 200);
    const std::string shown = (effect.path / "shown.png").string();
    std::ofstream(shown, std::ios::binary) << input.body;
    const ImageLib::Picture back = media::readImage(shown);
    EXPECT_EQ(back.width, 16u);
    EXPECT_EQ(back.height, 8u);

    // Only so many are kept.
    int stored = 1;
    while (stored < 1000 && send("POST", "/api/upload?name=again.png", bytes, "application/octet-stream").status == 200)
        ++stored;
    EXPECT_EQ(stored, int(kMaxUploads));
    EXPECT_EQ(send("POST", "/api/upload?name=again.png", bytes, "application/octet-stream").status, 507);
}

TEST_F(StudioServer, ValuesSurviveAFailedLoad) {
    ASSERT_EQ(putParams(R"({"Amount": 80, "Mode": 3})").status, 200);
    const fs::path script = effect.path / "fx.js";
    std::ifstream in(script);
    const std::string source((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(script) << source << "\nfunction broken( {\n";
    ASSERT_TRUE(eventually([&] { return param("Amount").is_null(); })) << "the broken script still describes Amount";
    std::ofstream(script) << source;
    ASSERT_TRUE(eventually([&] { return !param("Amount").is_null(); })) << "no reload after the fix";
    EXPECT_EQ(param("Amount")["value"], 80);
    EXPECT_EQ(param("Mode")["value"], 3);
}

TEST_F(StudioServer, ALayerCanBeGivenBackToTheHost) {
    media::writeImage((effect.path / "matte.png").string(), ImageLib::Picture(8, 8), 8);
    ASSERT_EQ(putParams(R"({"Matte": "matte.png"})").status, 200);
    EXPECT_EQ(param("Matte")["value"], "matte.png");
    const Answer cleared = putParams(R"({"Matte": ""})");
    EXPECT_EQ(cleared.status, 200) << cleared.body;
    EXPECT_FALSE(param("Matte").contains("value"));
    EXPECT_EQ(nlohmann::json::parse(send("GET", "/api/command").body)["command"].get<std::string>().find("Matte"),
              std::string::npos);
}

TEST_F(StudioServer, RecoveryIsAnnouncedToThePage) {
    ASSERT_EQ(send("GET", "/api/frame.raw").status, 200);
    // The render process is the studio's only child, started by whichever
    // thread answered.
    pid_t child = 0;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task"))
        if (std::ifstream(task.path() / "children") >> child) break;
    ASSERT_GT(child, 0);
    kill(child, SIGSEGV);
    EXPECT_EQ(send("GET", "/api/frame.raw?time=1").status, 503);
    EXPECT_FALSE(nlohmann::json::parse(send("GET", "/api/errors").body)["failure"].is_null());
    Socket events(port);
    events.write("GET /api/events?token=" + token + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                 "\r\n\r\n");
    ASSERT_TRUE(events.readUntil("text/event-stream", std::chrono::seconds(30)));
    ASSERT_EQ(putParams(R"({"Amount": 60})").status, 200);
    ASSERT_EQ(send("GET", "/api/frame.raw?time=2").status, 200);
    std::string seen;
    EXPECT_TRUE(events.readUntil(R"("failure":null)", std::chrono::seconds(30), &seen)) << seen;
}

}  // namespace

// The engine may cut a long report short: "identifier 'updateUIFlags'"
// without " undefined" is still the report of a function the failed load
// left out, not an error of its own.
TEST(EffectErrorText, CutShortUndefinedFunctionAfterAFailedLoadIsDropped) {
    const auto errors = studio::parseEffectErrors(
        "Script error in fx.js (load and setup) at line 3:\nSyntaxError: empty expression not allowed (line 53)\n"
        "Script error in preRender():\nReferenceError: identifier 'preRender' undefined\n"
        "Script error in updateUIFlags():\nReferenceError: identifier 'updateUIFlags'\n");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line, 3);
    EXPECT_EQ(errors[0].message, "in fx.js (load and setup): SyntaxError: empty expression not allowed");
}
