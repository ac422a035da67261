// The studio's rules (token, cookie, Host, confined paths, values, error
// text), the render-process protocol against small shell children, and the
// file watcher.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "studio/RenderProcess.h"
#include "studio/Rules.h"
#include "studio/Watcher.h"

namespace {

namespace fs = std::filesystem;
using namespace studio;
using std::chrono::milliseconds;

struct TempDir {
    fs::path path;
    TempDir() {
        char pattern[] = "/tmp/studio-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path); }
    void write(const std::string& name, const std::string& text = "x") const {
        fs::create_directories((path / name).parent_path());
        std::ofstream(path / name) << text;
    }
};

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
    EXPECT_EQ(cookieValue("a=1; lumivex_studio_80=abc ; b=2", "lumivex_studio_80"), "abc");
    EXPECT_EQ(cookieValue("xlumivex_studio_80=abc; lumivex_studio_8=d", "lumivex_studio_80"), "");
    EXPECT_EQ(cookieValue("", "lumivex_studio_80"), "");
}

TEST(StudioRules, OnlyLoopbackHostsOnOurPort) {
    for (const char* ok : {"127.0.0.1:8123", "127.0.0.1", "localhost:8123", "LocalHost", "[::1]:8123", "[::1]"})
        EXPECT_TRUE(isLoopbackHost(ok, 8123)) << ok;
    for (const char* bad : {"", "evil.example:8123", "127.0.0.1.evil.example:8123", "localhost:8124", "127.0.0.1:",
                            "127.0.0.1:8123x", "127.0.0.2:8123", "localhost.:8123", "[::2]:8123"})
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
    for (const char* bad : {"../effectX/secret.png", "link.png", "sub", "missing.png", "", "/etc/passwd",
                            "sub/../../effectX/secret.png"})
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
    for (const json& bad : {json(nullptr), json::object(), json::array(), json::array({"a"}), json::array({json::array({1})})})
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

TEST(StudioRenderProcess, ReadsTextAndFrames) {
    // One frame of 1x1 at layer pixel (-7, 3): an empty message, then RGBA
    // 1.0, 0.5, 0, 2.0 as little-endian floats.
    RenderProcess p = shellChild(
        "printf 'ok 0\\n' >&4; read r <&3; printf 'ok 5\\nhello' >&4; read r <&3;"
        "printf 'frame 0 1 1 -7 3\\n\\000\\000\\200\\077\\000\\000\\000\\077\\000\\000\\000\\000\\000\\000\\000\\100' >&4;"
        "read r <&3; printf 'error 3\\nbad' >&4; read r <&3");
    Reply text = p.call({"info"}, milliseconds(2000));
    EXPECT_TRUE(text.ok);
    EXPECT_EQ(text.text, "hello");
    Reply frame = p.call({"render", "0", "8"}, milliseconds(2000));
    ASSERT_EQ(frame.frame.width, 1u);
    EXPECT_EQ(frame.originX, -7);
    EXPECT_EQ(frame.originY, 3);
    EXPECT_EQ(frame.frame.rgba, (std::vector<float>{1.0f, 0.5f, 0.0f, 2.0f}));
    Reply error = p.call({"param", "A", "1"}, milliseconds(2000));
    EXPECT_FALSE(error.ok);
    EXPECT_EQ(error.text, "bad");
    EXPECT_THROW(p.call({"param", "A", "tab\there"}, milliseconds(2000)), std::invalid_argument);
}

void expectFailure(const std::string& script, const std::string& words, milliseconds timeout = milliseconds(2000)) {
    const auto start = std::chrono::steady_clock::now();
    try {
        RenderProcess p = shellChild("printf 'ok 0\\n' >&4; read r <&3; " + script);
        p.call({"render", "0", "8"}, timeout);
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
    EXPECT_THROW(shellChild("printf 'error 4\\nnope' >&4"), ProcessFailure);
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

}  // namespace
