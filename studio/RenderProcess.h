// The render process: the effect runs in a child process so that a crash,
// a hang or an exhausted memory limit ends that process and never the
// server. The server starts it, talks to it over two pipes, and on any
// failure kills it and keeps the reason for the page.
//
// Protocol: one request per line, fields separated by tabs:
//   host KIND DOWNSAMPLE WIDTH HEIGHT INPUT   a new host instance (KIND ae or
//                                             premiere; INPUT an image path, or
//                                             empty for the test card of WIDTHxHEIGHT)
//   param NAME VALUE                          one --param assignment
//   info                                      the effect as `info --json`, with values
//   render TIME DEPTH                         one frame at TIME seconds, DEPTH bits
// Every answer is a line "STATUS LENGTH [WIDTH HEIGHT X Y]" and LENGTH
// bytes: "ok" with text, "error" with a message, or "frame" with the
// effect's error text followed by WIDTH*HEIGHT RGBA floats; X Y is the
// frame's top left in layer pixels (negative for a frame grown outwards). The process answers
// "ok 0" once when it has loaded the module.
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
#include <stdexcept>
#include <string>
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

struct Reply {
    bool ok = false;       // "ok" or "frame"; false for "error"
    std::string text;      // the text, the error message, or the frame's error text
    hostsim::Image frame;  // for "frame"
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

    // Sends one request (fields joined by tabs) and waits up to `timeout`.
    Reply call(const std::vector<std::string>& fields, std::chrono::milliseconds timeout);

private:
    Reply receive(std::chrono::milliseconds timeout);
    void readExactly(char* data, size_t size, std::chrono::steady_clock::time_point deadline);
    [[noreturn]] void fail(const std::string& what);

    pid_t pid = -1;
    int toChild = -1, fromChild = -1;
};

// The child's side: serves requests on fds 3 and 4 until the request pipe
// closes. Returns the exit status.
int runRenderProcess(const render::ModuleChoice& choice);

}  // namespace studio
