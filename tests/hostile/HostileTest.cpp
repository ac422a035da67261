// Hostile effects: each folder of tests/hostile with an `expect` file is a
// loose effect written to hurt its host (a script that never ends, nesting
// deep enough to overflow a stack, reads outside its folder, sizes no GL
// holds). The file names the outcome the host must see:
//
//   outcome: error | ok
//   message: text the effect's error must contain      (with outcome: error)
//   args: --size 64x64 --depth 32                       (extra render arguments)
//
// A trailing " # comment" on a line is ignored. Every case runs twice: in
// this process through the stand-in host, on a thread with a 1 MB stack
// (the default stack of a host thread on Windows), and through the
// `lumivex render` command in a child process. Either run must end within
// the watchdog's time, without a signal, with the outcome named.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "hostsim/Error.h"
#include "hostsim/Host.h"
#include "package/ConfigDocument.h"
#include "package/Registration.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

const char* const kCases[] = {
#include "Cases.inc"
};

// A case that has not ended by then is taken for a hang.
constexpr std::chrono::seconds kWatchdog{120};

struct Expectation {
    bool error = false;
    std::string message;
    std::vector<std::string> args;
};

std::string folderOf(const std::string& name) { return std::string(HOSTILE_DIR) + "/" + name; }

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

Expectation readExpectation(const std::string& name) {
    Expectation expectation;
    std::istringstream lines(readText(folderOf(name) + "/expect"));
    std::string line;
    bool sawOutcome = false;
    while (std::getline(lines, line)) {
        const size_t comment = line.find(" #");
        if (comment != std::string::npos) line.erase(comment);
        if (trim(line).empty() || trim(line)[0] == '#') continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            ADD_FAILURE() << name << "/expect: a line without a key: " << line;
            continue;
        }
        const std::string key = trim(line.substr(0, colon)), value = trim(line.substr(colon + 1));
        if (key == "outcome" && (value == "error" || value == "ok")) {
            expectation.error = value == "error";
            sawOutcome = true;
        } else if (key == "message") {
            expectation.message = value;
        } else if (key == "args") {
            std::istringstream words(value);
            for (std::string word; words >> word;) expectation.args.push_back(word);
        } else {
            ADD_FAILURE() << name << "/expect: unknown key or value: " << line;
        }
    }
    if (!sawOutcome) ADD_FAILURE() << name << "/expect names no outcome (error or ok)";
    return expectation;
}

// What the stand-in host run takes from the arguments.
struct HostRun {
    uint32_t width = 64, height = 64;
    hostsim::HostConfig config;
    int frames = 1;
    int32_t time = 0;  // time-scale units
};

HostRun hostRunFor(const std::vector<std::string>& args) {
    HostRun run;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) throw std::runtime_error("argument " + option + " has no value");
        const std::string& value = args[++i];
        if (option == "--size") {
            if (std::sscanf(value.c_str(), "%ux%u", &run.width, &run.height) != 2)
                throw std::runtime_error("bad --size " + value);
        } else if (option == "--depth") {
            run.config.depth = uint32_t(std::stoul(value));
        } else if (option == "--host") {
            run.config.kind = value == "premiere" ? hostsim::HostKind::Editing : hostsim::HostKind::Compositing;
        } else if (option == "--par") {
            int num = 1;
            unsigned den = 1;
            if (std::sscanf(value.c_str(), "%d/%u", &num, &den) != 2) throw std::runtime_error("bad --par " + value);
            run.config.pixelAspect = {num, den};
        } else if (option == "--frames") {
            run.frames = std::stoi(value);
        } else if (option == "--time") {
            run.time = int32_t(std::stod(value) * run.config.timeScale);
        } else {
            throw std::runtime_error("the stand-in host run does not take " + option);
        }
    }
    return run;
}

hostsim::Image card(uint32_t width, uint32_t height) {
    hostsim::Image image(width, height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            float* p = image.pixel(x, y);
            p[0] = float(x) / float(width);
            p[1] = float(y) / float(height);
            p[2] = 0.5f;
            p[3] = 1.0f;
        }
    return image;
}

hostsim::Registration registrationOf(const std::string& folder) {
    package::ConfigDocument config;
    config.parse(readText(folder + "/config.xml"), folder + "/config.xml");
    return hostsim::parseRegistration(package::buildRegistration(package::registrationFromConfig(config)));
}

// What a run saw: every effect error and failed command, one per line.
struct Seen {
    std::string errors;
    std::string failure;  // the run itself could not be made (not the effect's doing)
};

void addError(Seen& seen, const std::string& text) {
    if (!text.empty()) seen.errors += text + "\n";
}

Seen renderThroughHost(const std::string& name, const HostRun& run) {
    Seen seen;
    try {
        const std::string folder = folderOf(name);
        const hostsim::Registration registration = registrationOf(folder);
        if (chdir(folder.c_str()) != 0) throw std::runtime_error("cannot enter " + folder);
        hostsim::Module module(ENGINE_MODULE, registration);
        hostsim::Host host(module, run.config);
        host.setInput(card(run.width, run.height));
        if (const PF_Err err = host.start())
            addError(seen, "start: " + hostsim::errorName(err) + " " + host.outData().return_msg);
        for (int frame = 0; frame < run.frames; ++frame) {
            const hostsim::RenderResult result = host.render(run.time + frame * run.config.timeStep);
            addError(seen, result.message);
            if (result.result != PF_Err_NONE) addError(seen, "render: " + hostsim::errorName(result.result));
        }
        if (const PF_Err err = host.finish()) addError(seen, "finish: " + hostsim::errorName(err));
    } catch (const std::exception& e) {
        seen.failure = e.what();
    }
    return seen;
}

// Runs `job` on a thread with a stack of `stackBytes`, waiting at most the
// watchdog's time. A job still running then is a hang: the process cannot
// take the thread back, so it reports and ends.
struct Job {
    std::function<void()> work;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

void* runJob(void* argument) {
    Job& job = *static_cast<Job*>(argument);
    job.work();
    std::lock_guard<std::mutex> lock(job.mutex);
    job.finished = true;
    job.done.notify_all();
    return nullptr;
}

void runOnThread(Job& job, size_t stackBytes, const std::string& what) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, runJob, &job), 0);
    pthread_attr_destroy(&attributes);
    std::unique_lock<std::mutex> lock(job.mutex);
    if (!job.done.wait_for(lock, kWatchdog, [&] { return job.finished; })) {
        std::fprintf(stderr, "%s did not end within %lld s: the host would hang\n", what.c_str(),
                     static_cast<long long>(kWatchdog.count()));
        std::fflush(stderr);
        std::_Exit(1);
    }
    lock.unlock();
    pthread_join(thread, nullptr);
}

void expectOutcome(const Expectation& expectation, const std::string& errors, const std::string& where) {
    if (expectation.error) {
        EXPECT_FALSE(errors.empty()) << where << ": the effect should have ended with an error";
        EXPECT_NE(errors.find(expectation.message), std::string::npos)
            << where << ": the error should contain \"" << expectation.message << "\"; it was:\n"
            << errors;
    } else {
        EXPECT_TRUE(errors.empty()) << where << ": the effect should render cleanly; it reported:\n" << errors;
    }
}

class Hostile : public testing::TestWithParam<std::string> {};

TEST_P(Hostile, ThroughTheHostOnAOneMegabyteStack) {
    const std::string name = GetParam();
    const Expectation expectation = readExpectation(name);
    HostRun run;
    try {
        run = hostRunFor(expectation.args);
    } catch (const std::exception& e) {
        FAIL() << name << "/expect: " << e.what();
    }
    Seen seen;
    Job job;
    job.work = [&] { seen = renderThroughHost(name, run); };
    runOnThread(job, size_t(1) << 20, name + " through the stand-in host");
    ASSERT_EQ(seen.failure, "") << name;
    expectOutcome(expectation, seen.errors, name + " through the stand-in host");
}

#ifdef LUMIVEX_BIN
TEST_P(Hostile, ThroughTheCommand) {
    const std::string name = GetParam();
    const Expectation expectation = readExpectation(name);
    const std::string out = testing::TempDir() + "lumivex_hostile_" + name;
    std::string command = "mkdir -p '" + out + "' && timeout " + std::to_string(kWatchdog.count()) + " " + LUMIVEX_BIN +
                          " render --effect '" + folderOf(name) + "'";
    bool sized = false, frames = false;
    for (const std::string& arg : expectation.args) {
        command += " '" + arg + "'";
        sized = sized || arg == "--size";
        frames = frames || arg == "--frames";
    }
    if (!sized) command += " --size 64x64";
    command += " --output '" + out + (frames ? "/frame.%04d.png'" : "/frame.png'");
    command += " 2>'" + out + "/stderr.txt' >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << name << ": the command died of a signal";
    const int code = WEXITSTATUS(status);
    const std::string errors = readText(out + "/stderr.txt");
    ASSERT_NE(code, 124) << name << ": the command did not end within " << kWatchdog.count() << " s";
    ASSERT_LT(code, 128) << name << ": the command died of signal " << code - 128 << "\n" << errors;
    if (expectation.error) {
        EXPECT_TRUE(code == 3 || code == 1) << name << ": exit status " << code << "\n" << errors;
    } else {
        EXPECT_EQ(code, 0) << name << "\n" << errors;
    }
    expectOutcome(expectation, code == 0 ? std::string() : errors, name + " through lumivex render");
}
#endif

INSTANTIATE_TEST_SUITE_P(Folders, Hostile,
                         testing::ValuesIn(std::vector<std::string>(std::begin(kCases), std::end(kCases))),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Hostile);

}  // namespace
