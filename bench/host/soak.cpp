// A long host session against an effect module, for memory that grows over
// hours: K instances stay applied and render frames at 8, 16 and 32 bits in
// turn under one global setup; every cycle one instance is removed and
// applied again, and the frame
// size steps through four sizes at or below --size. After each cycle one
// line: the process's resident memory and the module's live GL objects.
//
//   soak --cycles N [--size WxH] [--instances K] [--module FILE]
//   -> cycle=K rss_kb=R gl_objects=G
//
// Live GL objects: the module makes its own EGL context, which this program
// learns by standing in for eglCreateContext (the module's call resolves to
// the executable's exported definition, which calls the real one). Between
// cycles no module call runs, so the program makes that context current on
// its own thread and asks glIsTexture, glIsBuffer, glIsFramebuffer,
// glIsRenderbuffer, glIsVertexArray, glIsProgram and glIsShader about every
// name from 1 up to a bound above any name in use (twice the highest live
// name last seen, and past the next name the GL hands out, at least 4096).
#include <EGL/egl.h>
#include <GL/gl.h>
#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "hostsim/Error.h"
#include "hostsim/Host.h"

namespace {

EGLDisplay moduleDisplay = EGL_NO_DISPLAY;
EGLContext moduleContext = EGL_NO_CONTEXT;

}  // namespace

extern "C" __attribute__((visibility("default"))) EGLContext eglCreateContext(EGLDisplay display, EGLConfig config,
                                                                              EGLContext share,
                                                                              const EGLint* attributes) {
    using Create = EGLContext (*)(EGLDisplay, EGLConfig, EGLContext, const EGLint*);
    static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "eglCreateContext"));
    EGLContext made = real ? real(display, config, share, attributes) : EGL_NO_CONTEXT;
    if (made != EGL_NO_CONTEXT) {
        moduleDisplay = display;
        moduleContext = made;
    }
    return made;
}

namespace {

struct Options {
    int cycles = 10;
    uint32_t width = 1920, height = 1080;
    int instances = 3;
    std::string module = SOAK_DEFAULT_MODULE;
};

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr, "soak: %s\nusage: soak --cycles N [--size WxH] [--instances K] [--module FILE]\n",
                 problem.c_str());
    std::exit(2);
}

long positive(const std::string& option, const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == 0 || *end != 0 || value <= 0 || value > 1000000000)
        usage(option + " wants a positive number, not \"" + text + "\"");
    return value;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            usage(arg == "--cycles" || arg == "--size" || arg == "--instances" || arg == "--module"
                      ? arg + " needs a value"
                      : "unknown argument \"" + arg + "\"");
        const char* value = argv[++i];
        if (arg == "--cycles") {
            o.cycles = int(positive(arg, value));
        } else if (arg == "--instances") {
            o.instances = int(positive(arg, value));
        } else if (arg == "--module") {
            o.module = value;
        } else if (arg == "--size") {
            unsigned w = 0, h = 0;
            char tail = 0;
            if (std::sscanf(value, "%ux%u%c", &w, &h, &tail) != 2 || w < 8 || h < 8 || w > 16384 || h > 16384)
                usage("--size wants WxH between 8x8 and 16384x16384, not \"" + std::string(value) + "\"");
            o.width = w;
            o.height = h;
        } else {
            usage("unknown argument \"" + arg + "\"");
        }
    }
    return o;
}

long residentKB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Counts the live names of the module's context (see the top of the file).
class GLObjectCounter {
public:
    long count() {
        if (moduleContext == EGL_NO_CONTEXT) return 0;
        if (!eglMakeCurrent(moduleDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, moduleContext)) return -1;
        if (checks.empty()) load();
        GLuint next = 0;
        glGenTextures(1, &next);
        glDeleteTextures(1, &next);
        const GLuint bound = std::max<GLuint>({4096, 2 * highest, next + 1024});
        long live = 0;
        highest = 0;
        for (IsName is : checks) {
            for (GLuint name = 1; name < bound; ++name) {
                if (is(name)) {
                    ++live;
                    highest = std::max(highest, name);
                }
            }
        }
        eglMakeCurrent(moduleDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return live;
    }

private:
    using IsName = GLboolean (*)(GLuint);
    static IsName get(const char* name) {
        auto found = reinterpret_cast<IsName>(eglGetProcAddress(name));
        if (!found) {
            std::fprintf(stderr, "soak: the GL has no %s\n", name);
            std::exit(1);
        }
        return found;
    }
    void load() {
        for (const char* name : {"glIsTexture", "glIsBuffer", "glIsFramebuffer", "glIsRenderbuffer", "glIsVertexArray",
                                 "glIsProgram", "glIsShader"})
            checks.push_back(get(name));
    }
    std::vector<IsName> checks;
    GLuint highest = 0;
};

// A layer with every channel varying, so that every pass has work.
hostsim::Image testCard(uint32_t width, uint32_t height) {
    hostsim::Image image(width, height);
    for (size_t i = 0; i < image.rgba.size(); ++i) image.rgba[i] = float((i * 7) % 256) / 255.0f;
    return image;
}

void check(PF_Err err, const char* what) {
    if (err != PF_Err_NONE) throw hostsim::Error(std::string(what) + " returned " + hostsim::errorName(err));
}

// A new instance (parameter and sequence setup) under the session's one
// global setup, with an input layer of the given size.
std::unique_ptr<hostsim::Host> apply(hostsim::Module& module, const hostsim::Host& session,
                                     const hostsim::Image& input) {
    hostsim::HostConfig config;
    config.keepOutputImage = false;
    auto host = std::make_unique<hostsim::Host>(module, config);
    host->setInput(input);
    host->adoptGlobalSetup(session);
    check(host->paramsSetup(), "parameter setup");
    check(host->sequenceSetup(), "sequence setup");
    return host;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    try {
        hostsim::Module module(options.module);
        // Four frame sizes: the full one and three smaller, visited in turn.
        std::vector<hostsim::Image> inputs;
        for (uint32_t step = 0; step < 4; ++step)
            inputs.push_back(
                testCard(options.width - options.width * step / 8, options.height - options.height * step / 8));
        // The session: the module's global setup, kept to the end.
        hostsim::Host session(module, hostsim::HostConfig{});
        check(session.globalSetup(), "global setup");
        std::vector<std::unique_ptr<hostsim::Host>> instances;
        for (int i = 0; i < options.instances; ++i) instances.push_back(apply(module, session, inputs[0]));
        GLObjectCounter counter;
        static const uint32_t kDepths[] = {8, 16, 32};
        for (int cycle = 1; cycle <= options.cycles; ++cycle) {
            const hostsim::Image& input = inputs[size_t(cycle) % inputs.size()];
            for (auto& host : instances) {
                host->setDepth(kDepths[cycle % 3]);
                host->setInput(input);
                const hostsim::RenderResult frame = host->render(cycle * 1000);
                if (frame.result != PF_Err_NONE)
                    throw hostsim::Error("cycle " + std::to_string(cycle) + ": " +
                                         hostsim::commandName(frame.failedCommand) + " returned " +
                                         hostsim::errorName(frame.result));
            }
            // Remove one instance and apply it again.
            auto& removed = instances[size_t(cycle) % instances.size()];
            check(removed->sequenceSetdown(), "sequence setdown");
            removed = apply(module, session, input);
            // Memory the C library keeps for reuse goes back first, so the
            // figure is what the process holds rather than what the
            // allocator's arenas last grew to across the four frame sizes.
            malloc_trim(0);
            std::printf("cycle=%d rss_kb=%ld gl_objects=%ld\n", cycle, residentKB(), counter.count());
            std::fflush(stdout);
        }
        for (auto& host : instances) check(host->sequenceSetdown(), "sequence setdown");
        instances.clear();
        check(session.globalSetdown(), "global setdown");
    } catch (const hostsim::Error& e) {
        std::fprintf(stderr, "soak: %s\n", e.what());
        return 1;
    }
    return 0;
}
