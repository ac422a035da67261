#include "studio/RenderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "media/Still.h"
#include "render/Description.h"
#include "render/TestCard.h"
#include "studio/Rules.h"

namespace studio {

namespace {

using json = nlohmann::json;

constexpr int kRequestFd = 3, kAnswerFd = 4;
// Exit status of a render process whose memory ran out.
constexpr int kOutOfMemoryExit = 86;
// An answer line longer than this is garbage (a description is far shorter).
constexpr size_t kMaxLine = 64u << 20;

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

// One line of JSON. Texts from the effect or the file system need not be
// UTF-8: a broken sequence becomes U+FFFD rather than an error.
std::string lineOf(const json& message) { return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n"; }

json requestJson(const ProcessRequest& request) {
    struct ToJson {
        json operator()(const StartHost& r) const {
            return {{"op", "host"},     {"host", r.host},     {"downsample", r.downsample},
                    {"width", r.width}, {"height", r.height}, {"input", r.input}};
        }
        json operator()(const SetParam& r) const { return {{"op", "param"}, {"name", r.name}, {"value", r.value}}; }
        json operator()(const Describe&) const { return {{"op", "info"}}; }
        json operator()(const RenderFrame& r) const { return {{"op", "render"}, {"time", r.time}, {"depth", r.depth}}; }
    };
    return std::visit(ToJson{}, request);
}

// The request a line holds; throws std::exception for one that is not.
ProcessRequest requestOf(const std::string& line) {
    const json j = json::parse(line);
    const std::string op = j.at("op").get<std::string>();
    if (op == "host")
        return StartHost{j.at("host").get<std::string>(), j.at("downsample").get<uint32_t>(),
                         j.at("width").get<uint32_t>(), j.at("height").get<uint32_t>(),
                         j.at("input").get<std::string>()};
    if (op == "param") return SetParam{j.at("name").get<std::string>(), j.at("value")};
    if (op == "info") return Describe{};
    if (op == "render") return RenderFrame{j.at("time").get<double>(), j.at("depth").get<uint32_t>()};
    throw std::invalid_argument("unknown request '" + op + "'");
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

size_t RenderProcess::readSome(char* data, size_t size, Deadline deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) fail("the effect did not answer in time (a hang?); its render process was stopped");
        pollfd p{fromChild, POLLIN, 0};
        int r = poll(&p, 1, int(left.count()));
        if (r <= 0) continue;  // interrupted, or the deadline check above ends it
        ssize_t n = ::read(fromChild, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("");  // closed: the process ended; fail() says how
        return size_t(n);
    }
}

std::string RenderProcess::readLine(Deadline deadline) {
    size_t searched = 0, end;
    while ((end = buffered.find('\n', searched)) == std::string::npos) {
        if (buffered.size() > kMaxLine) fail("the render process sent an unreadable answer");
        searched = buffered.size();
        char chunk[65536];
        buffered.append(chunk, readSome(chunk, sizeof chunk, deadline));
    }
    std::string line = buffered.substr(0, end);
    buffered.erase(0, end + 1);
    return line;
}

void RenderProcess::readExactly(char* data, size_t size, Deadline deadline) {
    const size_t taken = std::min(size, buffered.size());
    buffered.copy(data, taken);
    buffered.erase(0, taken);
    for (size_t done = taken; done < size;) done += readSome(data + done, size - done, deadline);
}

Reply RenderProcess::receive(std::chrono::milliseconds timeout) {
    if (pid <= 0) throw ProcessFailure("the render process is not running");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    json answer = json::parse(readLine(deadline), nullptr, false);
    Reply reply;
    uint64_t width = 0, height = 0;
    bool readable = true;
    try {
        const std::string status = answer.at("status").get<std::string>();
        reply.ok = status == "ok" || status == "frame";
        if (status == "ok" && answer.contains("effect")) reply.effect = std::move(answer["effect"]);
        else if (status == "error") reply.text = answer.at("message").get<std::string>();
        else if (status == "frame") {
            reply.text = answer.at("error").get<std::string>();
            width = answer.at("width").get<uint64_t>();
            height = answer.at("height").get<uint64_t>();
            const int64_t x = answer.at("x").get<int64_t>(), y = answer.at("y").get<int64_t>();
            readable = width <= 65536 && height <= 65536 && std::llabs(x) <= (1 << 30) && std::llabs(y) <= (1 << 30);
            reply.originX = int32_t(x);
            reply.originY = int32_t(y);
        } else readable = status == "ok";
    } catch (const json::exception&) {
        readable = false;
    }
    if (!readable) fail("the render process sent an unreadable answer");
    if (answer.value("status", "") == "frame") {
        reply.frame = hostsim::Image(uint32_t(width), uint32_t(height));
        readExactly(reinterpret_cast<char*>(reply.frame.rgba.data()), reply.frame.rgba.size() * sizeof(float),
                    deadline);
    }
    return reply;
}

Reply RenderProcess::call(const ProcessRequest& request, std::chrono::milliseconds timeout) {
    if (pid <= 0) throw ProcessFailure("the render process is not running");
    const std::string line = lineOf(requestJson(request));
    if (!writeAll(toChild, line.data(), line.size())) fail("");
    return receive(timeout);
}

// ---- the child's side ------------------------------------------------------------------

namespace {

bool answer(const json& reply, const hostsim::RenderResult* frame = nullptr) {
    const std::string line = lineOf(reply);
    return writeAll(kAnswerFd, line.data(), line.size()) &&
           (!frame || writeAll(kAnswerFd, reinterpret_cast<const char*>(frame->image.rgba.data()),
                               frame->image.rgba.size() * sizeof(float)));
}

bool answerError(const std::string& message) { return answer({{"status", "error"}, {"message", message}}); }

// One effect instance in the stand-in host, as `lumivex render` runs it.
struct Instance {
    std::unique_ptr<hostsim::Host> host;
    std::string about;
};

void startHost(Instance& inst, hostsim::Module& module, const StartHost& r) {
    hostsim::HostConfig config;
    config.kind = r.host == "premiere" ? hostsim::HostKind::Editing : hostsim::HostKind::Compositing;
    if (r.downsample < 1 || r.downsample > 64 || r.width < 1 || r.width > (1 << 16) || r.height < 1 ||
        r.height > (1 << 16))
        throw hostsim::Error("host: the downsample, width or height is out of range");
    config.downsampleX = config.downsampleY = {1, r.downsample};
    hostsim::Image input = r.input.empty() ? render::makeTestCard(r.width, r.height) : media::readImage(r.input);
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

// Serves one request; false when the answer could not be sent.
bool serve(const ProcessRequest& request, Instance& inst, hostsim::Module& module, const render::ModuleChoice& choice,
           const hostsim::Registration& reg) {
    const json ok = {{"status", "ok"}};
    if (const auto* r = std::get_if<StartHost>(&request)) {
        startHost(inst, module, *r);
        return answer(ok);
    }
    hostsim::Host& host = hostOf(inst);
    if (const auto* r = std::get_if<SetParam>(&request)) {
        render::applyValue(host, r->name, r->value, "");
        render::check(host.updateParamsUI(), "parameter UI update", host);
        return answer(ok);
    }
    if (std::holds_alternative<Describe>(request)) {
        json effect = render::describeEffect(choice.path, reg, inst.about, host, true);
        markCollapsedGroups(effect, [&](int index) { return uint32_t(host.param(index).flags); });
        return answer({{"status", "ok"}, {"effect", std::move(effect)}});
    }
    const RenderFrame& r = std::get<RenderFrame>(request);
    if (!std::isfinite(r.time) || r.depth < 8 || r.depth > 32)
        throw hostsim::Error("render: the time or depth is out of range");
    host.setDepth(r.depth);
    const int32_t ticks = int32_t(std::llround(r.time * host.config().timeScale));
    hostsim::RenderResult frame = host.render(ticks);
    if (frame.result != PF_Err_NONE) render::check(frame.result, hostsim::commandName(frame.failedCommand), host);
    const json header = {{"status", "frame"},          {"error", render::effectError(frame)},
                         {"width", frame.image.width}, {"height", frame.image.height},
                         {"x", frame.originX},         {"y", frame.originY}};
    return answer(header, &frame);
}

}  // namespace

int runRenderProcess(const render::ModuleChoice& choice) {
    signal(SIGPIPE, SIG_IGN);
    try {
        const hostsim::Registration reg = render::readRegistration(choice);
        auto module = render::loadModule(choice, reg);
        if (!answer({{"status", "ok"}})) return 1;
        Instance inst;
        std::string pending;  // read past the last request taken
        for (;;) {
            size_t end;
            while ((end = pending.find('\n')) == std::string::npos) {
                char chunk[65536];
                const ssize_t n = ::read(kRequestFd, chunk, sizeof chunk);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return 0;  // the server closed the pipe or went away
                pending.append(chunk, size_t(n));
            }
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            bool sent = true;
            try {
                sent = serve(requestOf(line), inst, *module, choice, reg);
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const std::exception& e) {
                sent = answerError(e.what());
            }
            if (!sent) return 1;
        }
    } catch (const std::bad_alloc&) {
        return kOutOfMemoryExit;
    } catch (const std::exception& e) {
        answerError(e.what());
        return 1;
    }
}

}  // namespace studio
