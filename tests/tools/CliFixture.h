// What the command tests share: running the built lumivex command in a
// fresh folder per test and collecting its exit status, stdout and stderr.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace clitest {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out, err;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Cli : testing::Test {
    std::string dir;

    void SetUp() override {
        dir = testing::TempDir() + "lumivex_cli_" + testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }

    // Runs lumivex in the test's folder; `environment` is prefixed (NAME=VALUE).
    Outcome run(const std::string& args, const std::string& environment = "") const {
        return shell(environment + " " + LUMIVEX_BIN + " " + args);
    }

    // Runs a shell command line in the test's folder, stderr kept apart.
    Outcome shell(const std::string& commandLine) const {
        const std::string errFile = dir + "/stderr.txt";
        const std::string command = "cd '" + dir + "' && " + commandLine + " 2>'" + errFile + "'";
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
        int status = pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, slurp(errFile)};
    }

    // `render` of the probe effect (tests/tools/effects/probe) with `args`.
    std::string probe(const std::string& args) const {
        return std::string("render --effect ") + PROBE_EFFECT + " " + args;
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
};

}  // namespace clitest
