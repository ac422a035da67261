// The render process: the effect runs in a child process so that a crash,
// a hang or an exhausted memory limit ends that process and never the
// server. The server starts it, talks to it over two pipes, and on any
// failure kills it and keeps the reason for the page.
//
// Protocol: one JSON object a line each way, a Request's fields under
// "op" for its kind:
//   {"op": "host", "host", "downsample", "width", "height", "input"}
//        a new host instance (host "ae" or "premiere"; input an image
//        path, or empty for the test card of width x height)
//   {"op": "param", "name", "value"}   one value, typed as render::applyValue takes it
//   {"op": "info"}                     the effect as `info --json` describes it, with values
//   {"op": "render", "time", "depth"}  one frame at `time` seconds, `depth` bits
// Every answer is one line: {"status": "ok"} ("effect" added for info),
// {"status": "error", "message"}, or {"status": "frame", "error", "width",
// "height", "x", "y"} followed by width*height RGBA floats, "error" the
// effect's error text and x, y the frame's top left in layer pixels
// (negative for a frame grown outwards). The process answers "ok" once
// when it has loaded the module.
//
// Errors: a failed request (a bad value, a host error) answers "error" and
// the process lives on; a process that dies, hangs past the timeout or
// sends garbage is killed and RenderProcess::call throws ProcessFailure with
// the reason in words. Starting one sets SIGPIPE to be ignored in this
// process: a render process that died must be an error, not the caller's end. Threads: one caller at a time (the server's lock).
// Ownership: the RenderProcess owns the child and its pipes; destruction
// kills and reaps it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "hostsim/Image.h"
#include "render/Session.h"

namespace studio {

// The render process's memory limit: data (heap and private mappings), not
// address space, which GPU drivers reserve by the terabyte without using it.
constexpr unsigned long long kRenderMemoryLimit = 8ull << 30;

class ProcessFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct StartHost {
    std::string host = "ae";
    uint32_t downsample = 1, width = 0, height = 0;
    std::string input;
};
struct SetParam {
    std::string name;
    nlohmann::json value;
};
struct Describe {};
struct RenderFrame {
    double time = 0;
    uint32_t depth = 8;
};
using ProcessRequest = std::variant<StartHost, SetParam, Describe, RenderFrame>;

// NOLINTNEXTLINE(bugprone-exception-escape): reported for nlohmann::json's noexcept move
struct Reply {
    bool ok = false;        // "ok" or "frame"; false for "error"
    std::string text;       // the error message, or the frame's error text
    nlohmann::json effect;  // the description, for Describe
    hostsim::Image frame;   // for "frame"
    int32_t originX = 0, originY = 0;
};

class RenderProcess {
public:
    // Starts `argv` (argv[0] an executable path) with the request pipe on
    // fd 3 and the answer pipe on fd 4, stdout sent to stderr, and waits for
    // its first answer. Throws ProcessFailure when it cannot start or load.
    RenderProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);
    ~RenderProcess();
    RenderProcess(const RenderProcess&) = delete;
    RenderProcess& operator=(const RenderProcess&) = delete;

    // Sends one request and waits up to `timeout` for its answer.
    Reply call(const ProcessRequest& request, std::chrono::milliseconds timeout);

private:
    using Deadline = std::chrono::steady_clock::time_point;
    Reply receive(std::chrono::milliseconds timeout);
    size_t readSome(char* data, size_t size, Deadline deadline);
    std::string readLine(Deadline deadline);
    void readExactly(char* data, size_t size, Deadline deadline);
    [[noreturn]] void fail(const std::string& what);

    pid_t pid = -1;
    int toChild = -1, fromChild = -1;
    std::string buffered;  // read from the child past the last line taken
};

// The child's side: serves requests on fds 3 and 4 until the request pipe
// closes. Returns the exit status.
int runRenderProcess(const render::ModuleChoice& choice);

}  // namespace studio
