#include "studio/RenderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>

#include "media/Still.h"
#include "render/Description.h"
#include "render/TestCard.h"
#include "render/Values.h"
#include "studio/Rules.h"

namespace studio {

namespace {

constexpr int kRequestFd = 3, kAnswerFd = 4;
// Exit status of a render process whose memory ran out.
constexpr int kOutOfMemoryExit = 86;
// A header line is short; anything longer is garbage.
constexpr size_t kMaxHeader = 256;

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t pos = 0;
    for (;;) {
        size_t tab = line.find('\t', pos);
        fields.push_back(line.substr(pos, tab == std::string::npos ? std::string::npos : tab - pos));
        if (tab == std::string::npos) return fields;
        pos = tab + 1;
    }
}

}  // namespace

// ---- the server's side ------------------------------------------------------------------

RenderProcess::RenderProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    signal(SIGPIPE, SIG_IGN);
    int request[2], answer[2];
    if (pipe2(request, O_CLOEXEC) != 0)
        throw ProcessFailure(std::string("cannot make a pipe: ") + std::strerror(errno));
    if (pipe2(answer, O_CLOEXEC) != 0) {
        close(request[0]);
        close(request[1]);
        throw ProcessFailure(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    // Everything the child needs is prepared before fork: between fork and
    // exec it may only make system calls.
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const rlimit limit{kRenderMemoryLimit, kRenderMemoryLimit};
    pid = fork();
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setrlimit(RLIMIT_DATA, &limit);
        // Moved above the target numbers first (a pipe may already sit on 3
        // or 4); dup2 then clears close-on-exec on the copies.
        const int in = fcntl(request[0], F_DUPFD_CLOEXEC, 10), out = fcntl(answer[1], F_DUPFD_CLOEXEC, 10);
        if (in < 0 || out < 0 || dup2(in, kRequestFd) < 0 || dup2(out, kAnswerFd) < 0 ||
            dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
            _exit(127);
        execv(args[0], args.data());
        _exit(127);
    }
    close(request[0]);
    close(answer[1]);
    toChild = request[1];
    fromChild = answer[0];
    if (pid < 0) {
        const int err = errno;
        close(toChild);
        close(fromChild);
        throw ProcessFailure(std::string("cannot start the render process: ") + std::strerror(err));
    }
    Reply first = receive(timeout);
    if (!first.ok) fail("the effect could not be loaded: " + first.text);
}

RenderProcess::~RenderProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (toChild >= 0) close(toChild);
    if (fromChild >= 0) close(fromChild);
}

void RenderProcess::fail(const std::string& what) {
    std::string reason = what;
    if (pid > 0) {
        int status = 0;
        pid_t done = 0;
        // A closed pipe means the process is ending: give it a moment to
        // finish so that its own exit status or signal is what is reported.
        for (int i = 0; reason.empty() && i < 200 && (done = waitpid(pid, &status, WNOHANG)) == 0; ++i)
            usleep(10 * 1000);
        if (done != pid) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            if (reason.empty()) reason = "the render process closed its answer pipe and was stopped";
        }
        pid = -1;
        if (reason.empty()) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == kOutOfMemoryExit)
                reason = "the effect ran out of memory (the render process may use " +
                         std::to_string(kRenderMemoryLimit >> 30) + " GiB)";
            else if (WIFEXITED(status))
                reason = "the render process ended with status " + std::to_string(WEXITSTATUS(status));
            else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
                reason = "the render process was killed (SIGKILL), most likely for lack of memory";
            else if (WIFSIGNALED(status))
                reason = std::string("the effect crashed the render process (") + strsignal(WTERMSIG(status)) + ")";
        }
    }
    throw ProcessFailure(reason.empty() ? "the render process failed" : reason);
}

void RenderProcess::readExactly(char* data, size_t size, std::chrono::steady_clock::time_point deadline) {
    while (size > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) fail("the effect did not answer in time (a hang?); its render process was stopped");
        pollfd p{fromChild, POLLIN, 0};
        int r = poll(&p, 1, int(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) continue;  // the deadline check above ends it
        ssize_t n = ::read(fromChild, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("");  // closed: the process ended; fail() says how
        data += n;
        size -= size_t(n);
    }
}

Reply RenderProcess::receive(std::chrono::milliseconds timeout) {
    if (pid <= 0) throw ProcessFailure("the render process is not running");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string header;
    char c = 0;
    while (readExactly(&c, 1, deadline), c != '\n') {
        header += c;
        if (header.size() > kMaxHeader) fail("the render process sent an unreadable answer");
    }
    std::istringstream fields(header);
    std::string status;
    unsigned long long length = 0, width = 0, height = 0;
    long long x = 0, y = 0;
    fields >> status >> length;
    if (status == "frame") fields >> width >> height >> x >> y;
    const bool known = status == "ok" || status == "error" || status == "frame";
    if (!fields || !known || length > (64u << 20) || width > 65536 || height > 65536 || std::llabs(x) > (1 << 30) ||
        std::llabs(y) > (1 << 30))
        fail("the render process sent an unreadable answer");
    Reply reply;
    reply.ok = status != "error";
    reply.originX = int32_t(x);
    reply.originY = int32_t(y);
    reply.text.resize(length);
    readExactly(reply.text.data(), length, deadline);
    if (status == "frame") {
        reply.frame = hostsim::Image(uint32_t(width), uint32_t(height));
        readExactly(reinterpret_cast<char*>(reply.frame.rgba.data()), reply.frame.rgba.size() * sizeof(float),
                    deadline);
    }
    return reply;
}

Reply RenderProcess::call(const std::vector<std::string>& fields, std::chrono::milliseconds timeout) {
    if (pid <= 0) throw ProcessFailure("the render process is not running");
    std::string line;
    for (const std::string& f : fields) {
        if (f.find_first_of("\t\n") != std::string::npos)
            throw std::invalid_argument("a value may not hold tabs or line breaks");
        line += (line.empty() ? "" : "\t") + f;
    }
    line += '\n';
    if (!writeAll(toChild, line.data(), line.size())) fail("");
    return receive(timeout);
}

// ---- the child's side ------------------------------------------------------------------

namespace {

bool answer(const std::string& status, const std::string& text, const hostsim::RenderResult* frame = nullptr) {
    std::string header = status + " " + std::to_string(text.size());
    if (frame)
        header += " " + std::to_string(frame->image.width) + " " + std::to_string(frame->image.height) + " " +
                  std::to_string(frame->originX) + " " + std::to_string(frame->originY);
    header += "\n";
    return writeAll(kAnswerFd, header.data(), header.size()) && writeAll(kAnswerFd, text.data(), text.size()) &&
           (!frame || writeAll(kAnswerFd, reinterpret_cast<const char*>(frame->image.rgba.data()),
                               frame->image.rgba.size() * sizeof(float)));
}

// One effect instance in the stand-in host, as `lumivex render` runs it.
struct Instance {
    std::unique_ptr<hostsim::Host> host;
    std::string about;
};

void startHost(Instance& inst, hostsim::Module& module, const std::vector<std::string>& f) {
    if (f.size() != 6) throw hostsim::Error("host: wrong number of fields");
    hostsim::HostConfig config;
    config.kind = f[1] == "premiere" ? hostsim::HostKind::Editing : hostsim::HostKind::Compositing;
    const uint32_t down = render::parseCount("downsample", f[2], 1, 64);
    config.downsampleX = config.downsampleY = {1, down};
    uint32_t width = render::parseCount("width", f[3], 1, 1 << 16),
             height = render::parseCount("height", f[4], 1, 1 << 16);
    hostsim::Image input = f[5].empty() ? render::makeTestCard(width, height) : media::readImage(f[5]);
    inst.host.reset();
    auto host = std::make_unique<hostsim::Host>(module, config);
    host->setInput(input);
    render::check(host->globalSetup(), "global setup", *host);
    inst.about.clear();
    render::check(host->about(&inst.about), "about", *host);
    render::check(host->paramsSetup(), "parameter setup", *host);
    render::check(host->sequenceSetup(), "sequence setup", *host);
    render::check(host->updateParamsUI(), "parameter UI update", *host);
    inst.host = std::move(host);
}

hostsim::Host& hostOf(Instance& inst) {
    if (!inst.host) throw hostsim::Error("no host instance yet");
    return *inst.host;
}

}  // namespace

int runRenderProcess(const render::ModuleChoice& choice) {
    signal(SIGPIPE, SIG_IGN);
    try {
        const hostsim::Registration reg = render::readRegistration(choice);
        auto module = render::loadModule(choice, reg);
        if (!answer("ok", "")) return 1;
        Instance inst;
        std::string line;
        char c;
        for (;;) {
            line.clear();
            ssize_t n;
            while ((n = ::read(kRequestFd, &c, 1)) == 1 && c != '\n') line += c;
            if (n <= 0) break;  // the server closed the pipe or went away
            const std::vector<std::string> f = splitTabs(line);
            bool sent = true;
            try {
                if (f[0] == "host") {
                    startHost(inst, *module, f);
                    sent = answer("ok", "");
                } else if (f[0] == "param" && f.size() == 3) {
                    hostsim::Host& host = hostOf(inst);
                    render::applyParam(host, f[1] + "=" + f[2], "");
                    render::check(host.updateParamsUI(), "parameter UI update", host);
                    sent = answer("ok", "");
                } else if (f[0] == "info") {
                    hostsim::Host& host = hostOf(inst);
                    std::ostringstream text;
                    render::writeInfoJson(text, choice.path, reg, inst.about, host, true);
                    nlohmann::json info = nlohmann::json::parse(text.str());
                    markCollapsedGroups(info, [&](int index) { return uint32_t(host.param(index).flags); });
                    sent = answer("ok", info.dump());
                } else if (f[0] == "render" && f.size() == 3) {
                    hostsim::Host& host = hostOf(inst);
                    const double time = render::parseNumber("time", f[1]);
                    host.setDepth(render::parseCount("depth", f[2], 8, 32));
                    const int32_t ticks = int32_t(std::llround(time * host.config().timeScale));
                    hostsim::RenderResult frame = host.render(ticks);
                    if (frame.result != PF_Err_NONE)
                        render::check(frame.result, hostsim::commandName(frame.failedCommand), host);
                    sent = answer("frame", render::effectError(frame), &frame);
                } else {
                    sent = answer("error", "unknown request '" + f[0] + "'");
                }
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const std::exception& e) {
                sent = answer("error", e.what());
            }
            if (!sent) return 1;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return kOutOfMemoryExit;
    } catch (const std::exception& e) {
        answer("error", e.what());
        return 1;
    }
}

}  // namespace studio
