// The studio run as `lumivex studio` on a copy of the parameter fixture, for
// the server tests of test_studio: requests with or without the token, and
// a wait for what the studio does in the background.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

extern char** environ;

namespace studio_test {

namespace fs = std::filesystem;

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

inline std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---- the server, run as `lumivex studio` -------------------------------------------------

struct Answer {
    int status = 0;  // 0: no answer
    std::string body;
    httplib::Headers headers;
    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? "" : it->second;
    }
};

// A studio on a copy of the parameter fixture, stopped with SIGINT at the end.
class StudioServer : public ::testing::Test {
protected:
    // What --effect names: by default a copy of the parameter fixture.
    virtual std::string prepare() {
        fs::copy(PARAMS_EFFECT, effect.path, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        return effect.path.string();
    }

    void SetUp() override {
        const std::string dir = prepare();
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const char* argv[] = {LUMIVEX_COMMAND, "studio",    "--no-open", "--render-timeout", "30",
                              "--effect",      dir.c_str(), nullptr};
        ASSERT_EQ(posix_spawn(&pid, LUMIVEX_COMMAND, &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const std::string prefix = "Studio: http://127.0.0.1:";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        port = std::stoi(line.substr(prefix.size()));
        token = line.substr(line.find("token=") + 6);
    }
    void TearDown() override {
        if (pid <= 0) return;
        kill(pid, SIGINT);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(100 * 1000);
        if (kill(pid, 0) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the studio did not stop on SIGINT";
        }
    }

    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port); }

    // One request, with the token in the query unless `withToken` is false.
    Answer send(const std::string& method, const std::string& path, const std::string& body = "",
                const std::string& type = "", httplib::Headers headers = {}, bool withToken = true) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(60, 0);
        client.set_connection_timeout(10, 0);
        httplib::Request req;
        req.method = method;
        req.path = withToken ? path + (path.find('?') == std::string::npos ? "?" : "&") + "token=" + token : path;
        req.body = body;
        req.headers = std::move(headers);
        if (!type.empty()) req.headers.emplace("Content-Type", type);
        httplib::Result r = client.send(req);
        if (!r) return {};
        return {r->status, r->body, r->headers};
    }
    Answer putParams(const std::string& json) { return send("PUT", "/api/params", json, "application/json"); }
    nlohmann::json param(const std::string& name) {
        const Answer a = send("GET", "/api/effect");
        if (a.status != 200) return nullptr;
        const nlohmann::json effect = nlohmann::json::parse(a.body);
        for (const auto& p : effect["parameters"])
            if (p["name"] == name) return p;
        return nullptr;
    }
    // Waits (hang guard: 30 s) until `done` holds.
    template <class F>
    bool eventually(F done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done())
            if (std::chrono::steady_clock::now() > end) return false;
            else usleep(100 * 1000);
        return true;
    }

    TempDir effect;
    pid_t pid = -1;
    int port = 0;
    std::string token;
};

}  // namespace studio_test
