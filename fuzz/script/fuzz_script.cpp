// A structured fuzzer of the script API. The input becomes an effect script
// whose setup(), preRender() and draw() are short lists of LX_ calls with
// hostile arguments (wrong kinds, ids that were released or never existed,
// NaN, infinities, huge and negative sizes, long strings, deeply nested
// arrays, objects whose conversion throws, releases entities or calls LX_
// functions again, file names that leave the effect's folder) and of hostile
// constructs (regular expressions that backtrack or nest deeply, deep eval,
// finalizers, thousands of entities, releasing the frame's own target or a
// texture a shader samples, copying a surface onto the frame's target,
// shaders with #extension lines or thousands of uniforms).
//
// One engine and GL context serve the whole process. Most inputs replace the
// entry points of the loaded base script and are undone afterwards (their
// entities released, the harness's globals reset), so every input starts
// from the state of a fresh load and a finding replays alone; one input in
// 32 is loaded as fx.js into a heap of its own, destroyed after it. Each
// renders one tiny frame the way a host does: preRender, the input layer,
// render, read the output back. Then the base script must render a plain
// frame: transparent black and no error. The whole input runs as one job on
// the engine's thread, and the script heap is collected once at its end
// instead of after each of its four or five engine calls; scripts cannot
// tell the difference, as they have no finalizers.
// Faults that show no crash are reported as one too:
// - the output target no longer has the frame's size and depth, so a host
//   reading the frame would read past it;
// - the script saw an effect read a file outside its folder, or a shader
//   accepted that should have been refused or refused that is valid
//   (fault() in the script);
// - an engine call ran far past the time limits, or never returned.
//   Both are measured in the engine thread's processor time, not in wall
//   time, so that a machine busy with other work gives no false findings;
//   a call blocked in the system (using no processor time) for kStall is a
//   hang too.
// Every engine call runs on one thread with a 1 MiB stack, what host threads
// get on Windows, so that unbounded native recursion shows here as there.
// FUZZ_SCRIPT_SHOW=1 prints each generated script (to read a finding).
#include <fuzzer/FuzzedDataProvider.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "gpu/Context.h"
#include "script/AELumivex2.h"
#include "script/Scripting.h"

namespace {

using Clock = std::chrono::steady_clock;
using CpuTime = std::chrono::nanoseconds;

// Limits of the engine while fuzzing: short, so that the many inputs that
// run into them (backtracking, recursion, loops) stay cheap; a plain input
// runs a millisecond of script. A call that takes kCallAlarm of processor
// time is far past them; an input still running after kHang of processor
// time, or blocked for kStall without using any, hangs.
const script::AELumivex2::TimeLimits kLimits{std::chrono::milliseconds(50), std::chrono::milliseconds(20),
                                             std::chrono::milliseconds(500)};
constexpr auto kCallAlarm = std::chrono::seconds(10);
constexpr auto kHang = std::chrono::seconds(30);
constexpr auto kStall = std::chrono::seconds(30);
// Frame sizes a host can ask for; what the script asks beyond is cut there.
constexpr uint32_t kHostMaxSize = 30000;

const char* const kFunctions[] = {"LX_blitRenderTarget",   "LX_getContextExtent", "LX_getInputOrigin",
                                  "LX_getParamFlags",      "LX_getParamValue",    "LX_getSequenceRT",
                                  "LX_getSequenceTexture", "LX_getShaderError",   "LX_getShaderParamType",
                                  "LX_getSurfaceDim",      "LX_getTime",          "LX_initParam",
                                  "LX_initRenderTarget",   "LX_initShader",       "LX_initSurface",
                                  "LX_initTexture",        "LX_release",          "LX_renderShader",
                                  "LX_setOutputExtent",    "LX_setParamChoices",  "LX_setParamEnabled",
                                  "LX_setParamFlags",      "LX_setParamMinMax",   "LX_setParamPrecision",
                                  "LX_setParamValue",      "LX_setShaderParam",   "LX_setShaderParamVal",
                                  "LX_setTextureParam",    "LX_surfaceCopyTo",    "LX_surfaceQuantize",
                                  "LX_surfaceToTexture",   "LX_textureToSurface"};

// Argument expressions (names from kPrelude). Numbers that take the parser
// long to read (1e300) are computed once per script instead.
const char* const kArguments[] = {"0",
                                  "-1",
                                  "1",
                                  "2",
                                  "3",
                                  "4",
                                  "7",
                                  "8",
                                  "16",
                                  "32",
                                  "0.5",
                                  "-0.5",
                                  "NaN",
                                  "Infinity",
                                  "-Infinity",
                                  "HUGE",
                                  "-HUGE",
                                  "TWO31",
                                  "TWO32",
                                  "-TWO31 - 1",
                                  "4097",
                                  "16385",
                                  "65536",
                                  "BILLION",
                                  "-BILLION",
                                  "id(1, 1)",
                                  "id(2, 1)",
                                  "id(3, 1)",
                                  "id(4, 1)",
                                  "id(5, 1)",
                                  "id(6, 1)",
                                  "id(255, 1)",
                                  "id(3, 2)",
                                  "''",
                                  "'x'",
                                  "'uv'",
                                  "'amount'",
                                  "'tex'",
                                  "'A|B|C'",
                                  "'|'",
                                  "longText()",
                                  "null",
                                  "undefined",
                                  "true",
                                  "{}",
                                  "[]",
                                  "[NaN, NaN, NaN, NaN]",
                                  "[HUGE, -1, 0.5, 2]",
                                  "[0, 0, 1, 1]",
                                  "[-1, -1, TWO31, TWO31]",
                                  "deep(8)",
                                  "deep(10000)",
                                  "function () {}",
                                  "THROWS",
                                  "RELEASES",
                                  "coerce(LX_release, 3)",
                                  "coerce(LX_getParamValue, 499)",
                                  "coerce(LX_initSurface, 40)",
                                  "fin(1, false)",
                                  "pick(made)",
                                  "pick(made)",
                                  "pick(made)",
                                  "pick(gone)",
                                  "FLAT",
                                  "SAMPLES",
                                  "BROKEN",
                                  "EXTENSION",
                                  "LX_getSequenceRT()",
                                  "LX_getSequenceTexture()",
                                  "'img.tga'",
                                  "'ok'",
                                  "'../outside.tga'",
                                  "'pipe.png'"};

// Hostile constructs, each with three sizes: the cheap one first, then the
// ones that hurt.
struct Construct {
    const char* format;  // %d: the size
    int sizes[3];
};

const Construct kConstructs[] = {
    // Release the latest entity made.
    {"release();", {0, 0, 0}},
    // Script recursion.
    {"(function r(n) { return n <= 0 ? 0 : 1 + r(n - 1); })(%d);", {100, 1000000, 0}},
    // Backtracking in the regular-expression matcher.
    {"/(a|aa)*b/.exec(rep('a', %d));", {8, 24, 48}},
    {"/(a|b)*c/.exec(rep('ab', %d));", {50, 4500, 0}},
    // Deep nesting: regular-expression groups, parentheses, coercion.
    {"new RegExp(rep('(', %d) + 'a' + rep(')', %d)).exec('a');", {10, 9990, 0}},
    {"eval(rep('(', %d) + '1' + rep(')', %d));", {10, 2400, 0}},
    {"LX_getParamValue(coerce(LX_setParamValue, %d));", {3, 499, 0}},
    {"JSON.stringify(deep(%d));", {10, 10000, 0}},
    // Finalizers: run at a collection, or held until the heap goes.
    {"fin(%d, false);", {0, 1, 2}},
    {"fin(%d, true);", {0, 2, 3}},
    // Many entities.
    {"for (var i = 0; i < %d; ++i) keep(LX_initSurface(1, 1, 8));", {16, 5000, 60000}},
    {"for (var i = 0; i < %d; ++i) keep(LX_initRenderTarget(1, 1, 8));", {16, 5000, 0}},
    {"for (var i = 0; i < %d; ++i) keep(LX_initParam('p' + i, 1, 'p'));", {16, 1100, 0}},
    // The frame's own target and input released in use.
    {"LX_release(LX_getSequenceRT()); LX_renderShader(keep(LX_initShader('f', FLAT)), LX_getSequenceRT());", {0, 0, 0}},
    {"LX_release(LX_getSequenceTexture());", {0, 0, 0}},
    // A texture bound to a shader, released before the draw.
    {"var s = keep(LX_initShader('s', SAMPLES)), t = keep(LX_initTexture('img.tga'));"
     " LX_setShaderParamVal(s, 'tex', t); LX_release(t); LX_renderShader(s, LX_getSequenceRT());",
     {0, 0, 0}},
    {"var s = keep(LX_initShader('s', SAMPLES)), t = keep(LX_initRenderTarget(4, 4, 8));"
     " LX_setShaderParamVal(s, 'tex', t); LX_release(t); LX_renderShader(s, keep(LX_initRenderTarget(2, 2, 8)));",
     {0, 0, 0}},
    // A surface of another size copied onto the frame's target.
    {"LX_surfaceCopyTo(keep(LX_textureToSurface(keep(LX_initRenderTarget(%d, 2, 8)))), LX_getSequenceRT(), false);",
     {2, 1, 64}},
    {"LX_surfaceCopyTo(keep(LX_textureToSurface(keep(LX_initTexture('img.tga')))), LX_getSequenceRT(), true);",
     {0, 0, 0}},
    // Output extents: huge, negative, not a number.
    {"LX_setOutputExtent(%d, 7);", {-1, 100000, 16385}},
    {"LX_setOutputExtent(HUGE, -TWO31);", {0, 0, 0}},
    {"LX_setOutputExtent(NaN, TWO32 + %d);", {0, 8, 0}},
    {"LX_getTime();", {0, 0, 0}},
    // Shaders that must be refused or must build.
    {"if (LX_getShaderError(keep(LX_initShader('many', uniforms(%d)))) === '') fault('uniforms accepted');",
     {2000, 10000, 1025}},
    {"if (LX_getShaderError(keep(LX_initShader('ext', EXTENSION))) !== '') fault('#extension refused');", {0, 0, 0}},
    // Files outside the effect's folder must not be read.
    {"outside(%d);", {0, 1, 2}},
    {"outside(%d);", {3, 4, 5}},
    {"outside(%d);", {6, 7, 8}},
};

// Shared by every generated script. made: ids the calls returned; gone:
// released ones; kept: objects held until the heap is destroyed; FAULT:
// what the script saw go wrong (read by the harness after the frame).
const char* const kPrelude = R"JS(
var made = [], gone = [], kept = [], k = 0, FAULT = '', FRESH = false, longCache;
var HUGE = Math.pow(10, 300), TWO31 = Math.pow(2, 31), TWO32 = Math.pow(2, 32), BILLION = Math.pow(10, 9);
var FLAT = 'void main() { gl_FragColor = vec4(1.0); }';
var SAMPLES = 'uniform float amount; uniform sampler2D tex; void main() { gl_FragColor = texture2D(tex, vec2(amount)); }';
var BROKEN = 'void main() { gl_FragColor = }';
var EXTENSION = '#extension GL_ARB_shader_texture_lod : enable\nuniform sampler2D tex;\nvoid main() { gl_FragColor = texture2D(tex, vec2(0.5)); }';
var THROWS = { valueOf: function () { throw new Error('no'); }, toString: function () { throw new Error('no'); } };
var RELEASES = { valueOf: function () { while (made.length) release(); return 1; } };
var FINALIZERS = [function () { while (true) {} }, function () { throw new Error('fin'); },
    function () { LX_release(pick(made)); keep(LX_initSurface(2, 2, 8)); }, function (o) { kept.push(o); }];
function id(kind, serial) { return kind * 16777216 + serial; }
function pick(a) { return a.length ? a[(k++) % a.length] : 0; }
function keep(r) { if (typeof r == 'number' && r > 16777215) made.push(r); return r; }
function release() { var id = made.pop(); LX_release(id); gone.push(id); }
function fault(what) { FAULT += what + '\n'; }
function rep(s, n) { return s.repeat(n); }
function longText() { return longCache || (longCache = rep('ab', 200000)); }
function deep(n) { var a = [], p = a; while (n-- > 0) { p[0] = []; p = p[0]; } return a; }
function coerce(f, n) {
    var o = { d: 0 };
    o.valueOf = o.toString = function () { if (++o.d < n) keep(f(o)); return 1; };
    return o;
}
// Objects are held until the heap goes only in a heap of their own: in the
// shared one they are finalized at the end of the call that made them.
function fin(kind, hold) { var o = {}; Duktape.fin(o, FINALIZERS[kind]); if (hold && FRESH) kept.push(o); return o; }
function uniforms(n) {
    var names = ['u0'];
    for (var i = 1; i < n; ++i) names.push('u' + i);
    return 'uniform float ' + names.join(', ') + ';\nvoid main() { gl_FragColor = vec4(u0); }';
}
var OUTSIDE = ['../outside.tga', ROOT + '/outside.tga', '..\\outside.tga', 'img.tga\u0000.png', 'link.tga',
    '../outside', ROOT + '/outside', 'ok.frag\u0000', 'linked'];
function noop() {}
function outside(i) {
    var name = OUTSIDE[i];
    if (i < 5) {
        if (LX_getSurfaceDim(keep(LX_initTexture(name))) !== false) fault('texture read: ' + JSON.stringify(name));
    } else if (LX_getShaderError(keep(LX_initShader(name))) === '') {
        fault('shader read: ' + JSON.stringify(name));
    }
}
)JS";

void writeFile(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

// An uncompressed 2x2 true-colour TGA.
std::string smallImage() {
    std::string image(18, '\0');
    image[2] = 2;
    image[12] = 2;
    image[14] = 2;
    image[16] = 32;
    for (int i = 0; i < 4; ++i) image += std::string("\x40\x80\xC0\xFF", 4);
    return image;
}

// The effect's folder (the current folder from then on) inside a folder of
// its own that also holds the files no effect may read: an image and a
// shader beside it, a link to them from inside, and a FIFO, which blocks a
// reader that opens it.
std::string makeFolders() {
    char root[] = "/tmp/lumivex-fuzz-script-XXXXXX";
    if (!mkdtemp(root)) std::abort();
    std::string base = root;
    const std::string image = smallImage();
    const std::string shader = "void main() { gl_FragColor = vec4(1.0); }\n";
    writeFile(base + "/outside.tga", image);
    writeFile(base + "/outside.frag", shader);
    if (mkdir((base + "/effect").c_str(), 0700) != 0 || chdir((base + "/effect").c_str()) != 0) std::abort();
    writeFile("config.xml", "<FXNAME>Fuzz</FXNAME><FLAGS>4</FLAGS>\n");
    writeFile("img.tga", image);
    writeFile("ok.frag", shader);
    if (symlink("../outside.tga", "link.tga") != 0 || symlink("../outside.frag", "linked.frag") != 0 ||
        mkfifo("pipe.png", 0600) != 0) {
        std::abort();
    }
    return base;
}

// Runs jobs on one thread with a 1 MiB stack; the caller waits for each.
class StackThread {
public:
    StackThread() {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setstacksize(&attributes, 1 << 20);
        if (pthread_create(&thread, &attributes, &StackThread::loop, this) != 0) std::abort();
        pthread_attr_destroy(&attributes);
    }

    ~StackThread() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            changed.notify_all();
        }
        pthread_join(thread, nullptr);
    }

    // Runs job there and waits for it; false when it has used `limit` of
    // the thread's processor time without finishing, or has used none for
    // kStall (blocked in the system).
    bool run(const std::function<void()>& work, std::chrono::seconds limit) {
        const CpuTime start = cpuTime();
        CpuTime seen = start;
        Clock::time_point progress = Clock::now();
        std::unique_lock<std::mutex> lock(mutex);
        job = &work;
        changed.notify_all();
        while (!changed.wait_for(lock, std::chrono::seconds(1), [this] { return job == nullptr; })) {
            const CpuTime now = cpuTime();
            if (now - start > limit) return false;
            if (now != seen) {
                seen = now;
                progress = Clock::now();
            } else if (Clock::now() - progress > kStall) {
                return false;
            }
        }
        return true;
    }

    // The processor time the thread has used; callable from any thread.
    CpuTime cpuTime() const {
        clockid_t clock;
        timespec time{};
        if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &time) != 0) std::abort();
        return std::chrono::seconds(time.tv_sec) + CpuTime(time.tv_nsec);
    }

private:
    static void* loop(void* self) {
        auto& me = *static_cast<StackThread*>(self);
        std::unique_lock<std::mutex> lock(me.mutex);
        for (;;) {
            me.changed.wait(lock, [&me] { return me.job != nullptr || me.stopping; });
            if (!me.job) return nullptr;
            lock.unlock();
            (*me.job)();
            lock.lock();
            me.job = nullptr;
            me.changed.notify_all();
        }
    }

    pthread_t thread;
    std::mutex mutex;
    std::condition_variable changed;
    const std::function<void()>* job = nullptr;
    bool stopping = false;
};

struct Frame {
    uint32_t width, height, depth;
    double time;
};

// A generated effect script: setup, preRender and draw of the input. In a
// fresh heap the input is loaded as fx.js, as an effect is; otherwise it
// replaces the functions of the loaded base script, which is far cheaper,
// and cleanup() restores that script's state afterwards.
struct Input {
    Frame frame;
    bool freshHeap = false;
    std::string setup, preRender, draw;

    std::string effectScript(const std::string& base) const {
        return base + "function setup() {\n" + setup + "}\nfunction preRender(w, h) {\n" + preRender +
               "}\nfunction draw() {\n" + draw + "}\n";
    }
    std::string replacement() const {
        return "setup = function () {\n" + setup + "};\npreRender = function (w, h) {\n" + preRender +
               "};\ndraw = function () {\n" + draw + "};\nsetup();\n";
    }
};

std::string construct(FuzzedDataProvider& in) {
    const Construct& c = kConstructs[in.ConsumeIntegralInRange<size_t>(0, std::size(kConstructs) - 1)];
    // Mostly the cheap size: the large ones take long to run.
    const uint8_t pick = in.ConsumeIntegral<uint8_t>();
    const int size = c.sizes[pick < 200 ? 0 : pick < 240 ? 1 : 2];
    char text[512];
    std::snprintf(text, sizeof text, c.format, size, size);
    return text;
}

std::string call(FuzzedDataProvider& in, uint8_t op) {
    std::string text = std::string("keep(") + kFunctions[op % std::size(kFunctions)] + "(";
    const size_t args = in.ConsumeIntegralInRange<size_t>(0, 6);
    for (size_t a = 0; a < args; ++a) {
        text += a ? ", " : "";
        text += kArguments[in.ConsumeIntegralInRange<size_t>(0, std::size(kArguments) - 1)];
    }
    return text + "));";
}

// Up to 12 statements, each of which may fail alone.
std::string body(FuzzedDataProvider& in) {
    std::string text;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 12);
    for (size_t i = 0; i < count && in.remaining_bytes(); ++i) {
        const uint8_t op = in.ConsumeIntegral<uint8_t>();
        text += "    try { " + (op >= 224 ? construct(in) : call(in, op)) + " } catch (e) {}\n";
    }
    return text;
}

Input generate(FuzzedDataProvider& in) {
    static const uint32_t kDepths[] = {8, 16, 32};
    static const double kTimes[] = {0.0, 1.0, 0.04, 1e9, -1.0};
    Input input;
    // One input in 32 runs in a heap of its own, which is destroyed after it
    // (with whatever its finalizers do then); loading costs. A byte the input
    // lacks reads as 0, so the shared heap is the low values: short inputs,
    // which are many, would otherwise all pay for a load.
    input.freshHeap = in.ConsumeIntegral<uint8_t>() >= 248;
    input.frame.width = in.ConsumeIntegralInRange<uint32_t>(1, 16);
    input.frame.height = in.ConsumeIntegralInRange<uint32_t>(1, 16);
    input.frame.depth = kDepths[in.ConsumeIntegralInRange<size_t>(0, 2)];
    input.frame.time = kTimes[in.ConsumeIntegralInRange<size_t>(0, std::size(kTimes) - 1)];
    input.setup = body(in);
    input.preRender = body(in);
    input.draw = body(in);
    return input;
}

[[noreturn]] void report(const std::string& what, const Input& input) {
    std::fprintf(stderr, "%s\nframe %ux%u depth %u time %g, %s, script:\n%s\n", what.c_str(), input.frame.width,
                 input.frame.height, input.frame.depth, input.frame.time,
                 input.freshHeap ? "fresh heap" : "shared heap", input.effectScript("").c_str());
    __builtin_trap();
}

// The script's FAULT text; empty without a heap.
std::string scriptFault() {
    duk_context* ctx = script::Scripting::instance().ctx;
    if (!ctx) return {};
    std::string text;
    duk_safe_call(
        ctx,
        [](duk_context* c, void* out) -> duk_ret_t {
            duk_get_global_string(c, "FAULT");
            if (duk_is_string(c, -1)) *static_cast<std::string*>(out) = duk_get_string(c, -1);
            return 0;
        },
        &text, 0, 1);
    duk_pop(ctx);
    return text;
}

class Harness {
public:
    Harness() {
        thread.run(
            [this] {
                root = makeFolders();
                base = "var ROOT = '" + root + "';\n" + kPrelude;
            },
            kHang);
        inEngine([this] {
            phase("init", [this] {
                // llvmpipe draws on the calling thread: tiny frames cost less
                // than handing them to its threads.
                setenv("LP_NUM_THREADS", "0", 0);
                writeFile("fx.js", Input().effectScript(base));
                // Collected once per input, after the plain frame.
                script::Scripting::instance().setCollectAfterRun(false);
                if (!plugin.init(nullptr) || !plugin.lockGL()) std::abort();
                plugin.setTimeLimits(kLimits);
                plugin.setSequence(plugin.newSequence());
                if (!plugin.getErrorText().empty()) std::abort();
            });
        });
    }

    // The engine is shut down where it holds the GL lock, before its own
    // destructor runs at exit.
    ~Harness() {
        inEngine([this] {
            phase("shutdown", [this] {
                plugin.unlockGL();
                plugin.shutdown();
            });
        });
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    void run(const uint8_t* data, size_t size) {
        FuzzedDataProvider in(data, size);
        current = generate(in);
        if (std::getenv("FUZZ_SCRIPT_SHOW")) std::fprintf(stderr, "%s\n", current.effectScript("").c_str());
        inEngine([this] { input(); });
    }

private:
    // The input's whole work, on the engine's thread.
    void input() {
        if (current.freshHeap) {
            writeFile("fx.js", current.effectScript(base + "FRESH = true;\n"));
            phase("load", [this] { plugin.loadScript(); });
        } else {
            // Errors of setup() are the input's (as in a load); only text
            // that does not compile is the harness's.
            phase("setup", [this] {
                const auto error =
                    script::Scripting::instance().run(current.replacement(), "fuzz", kLimits.call, kLimits.wall);
                if (error && error->message.rfind("SyntaxError", 0) == 0) report("harness: " + error->message, current);
            });
        }
        phase("frame", [this] { frame(current.frame); });
        if (current.freshHeap) {
            writeFile("fx.js", Input().effectScript(base));
            phase("load of the base script", [this] {
                plugin.setTimeLimits(script::AELumivex2::TimeLimits{});
                plugin.loadScript();
                plugin.setTimeLimits(kLimits);
            });
        } else {
            phase("cleanup", [this] { cleanup(); });
        }
        // The base script renders a plain frame: no error, transparent black.
        // It runs under the engine's own limits: the short ones of the fuzzed
        // input would take a busy machine's pause for a fault. Its preRender
        // comes first, as from a host: an error of the input's preRender (a
        // time limit that a busy machine reached) shows until the next one.
        phase("plain frame", [this] {
            plugin.setTimeLimits(script::AELumivex2::TimeLimits{});
            plugin.preRender(4, 4, nullptr, nullptr);
            plugin.render(0.0, 4, 4, 8);
            plugin.setTimeLimits(kLimits);
            if (!plugin.getErrorText().empty()) report("a plain frame fails: " + plugin.getErrorText(), current);
            readFrame(4, 4, 8, true);
            releaseAll();
            // What the input and the plain frame left in the heap goes now, so
            // that an input frees what it allocated.
            script::Scripting::instance().collectGarbage();
        });
    }

    // Back to the state of the base script: the harness's globals and the
    // entry points as they were, every entity released. Runs no script code
    // (what this drops is collected after the plain frame).
    void cleanup() {
        releaseAll();
        duk_context* ctx = script::Scripting::instance().ctx;
        if (!ctx) return;
        const duk_int_t status = duk_safe_call(
            ctx,
            [](duk_context* c, void*) -> duk_ret_t {
                for (const char* name : {"made", "gone", "kept"}) {
                    duk_push_array(c);
                    duk_put_global_string(c, name);
                }
                duk_push_int(c, 0);
                duk_put_global_string(c, "k");
                duk_push_string(c, "");
                duk_put_global_string(c, "FAULT");
                duk_push_undefined(c);
                duk_put_global_string(c, "longCache");
                for (const char* name : {"setup", "preRender", "draw"}) {
                    duk_get_global_string(c, "noop");
                    duk_put_global_string(c, name);
                }
                return 0;
            },
            nullptr, 0, 1);
        duk_pop(ctx);
        if (status != DUK_EXEC_SUCCESS) report("harness: the script state could not be reset", current);
    }

    // Releases every entity, the frame's own target and input texture too,
    // as after a fresh load: also those whose id never reached the script (a
    // call stopped by its time limit may have made one just before).
    static void releaseAll() {
        std::vector<uint32_t> ids;
        collect<gpu::Parameter::Factory>(ids);
        collect<gpu::Shader::Factory>(ids);
        collect<gpu::RenderTarget::Factory>(ids);
        collect<gpu::Texture::Factory>(ids);
        collect<gpu::Surface::Factory>(ids);
        for (const uint32_t id : ids) gpu::Context::instance().releaseEntity(id);
    }

    template <class F>
    static void collect(std::vector<uint32_t>& ids) {
        if (const F* factory = gpu::Context::instance().factory<F>()) {
            for (const auto& entry : factory->entities) ids.push_back(entry.first);
        }
    }

    // The fuzzed frame, as a host renders it: preRender, the input layer,
    // render, read back.
    void frame(const Frame& frame) {
        uint32_t width = 0, height = 0;
        plugin.preRender(frame.width, frame.height, &width, &height);
        width = std::min(width, kHostMaxSize);
        height = std::min(height, kHostMaxSize);
        static const uint8_t layer[16 * 16 * 16] = {1, 2, 3, 4, 5, 6, 7, 8};
        plugin.uploadLayer(script::kInputLayerIndex, layer, frame.width, frame.height, frame.depth,
                           int32_t(frame.width * frame.depth / 2));
        plugin.render(frame.time, width, height, frame.depth);
        readFrame(width, height, frame.depth, false);
        if (const std::string fault = scriptFault(); !fault.empty()) report("the script saw: " + fault, current);
    }

    // Runs work on the 1 MiB thread; work that hangs is a finding, named by
    // the phase it was in.
    void inEngine(const std::function<void()>& work) {
        if (!thread.run(work, kHang)) report(std::string(phaseName.load()) + " did not return", current);
    }

    // One engine call of an input, on the engine's thread; one that takes
    // far longer than the limits allow is a finding.
    template <class Work>
    void phase(const char* what, Work&& work) {
        phaseName = what;
        const CpuTime start = thread.cpuTime();
        work();
        const CpuTime took = thread.cpuTime() - start;
        if (took > kCallAlarm) {
            report(std::string(what) + " took " +
                       std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()) +
                       " ms of processor time",
                   current);
        }
    }

    // Reads the output back as a host does. The target must still have the
    // frame's size and depth; a plain frame must be transparent black.
    void readFrame(uint32_t width, uint32_t height, uint32_t depth, bool plain) {
        const gpu::Sequence* sequence = gpu::Context::instance().current();
        if (!sequence) return;
        gpu::RenderTarget& target = gpu::Context::instance().getRenderTarget(sequence->renderTargetId);
        if (!target.usable()) {
            if (plain) report("no output target for a plain frame", current);
            return;
        }
        if (target.width() != width || target.height() != height || target.depth() != depth) {
            report("the output target is " + std::to_string(target.width()) + "x" + std::to_string(target.height()) +
                       " depth " + std::to_string(target.depth()) + " after a frame of " + std::to_string(width) + "x" +
                       std::to_string(height) + " depth " + std::to_string(depth),
                   current);
        }
        const auto* pixels = static_cast<const uint8_t*>(plugin.readOutput());
        if (pixels && uint64_t(width) * height <= 4096) {
            const size_t bytes = size_t(width) * height * 4 * (depth / 8);
            uint8_t any = 0;
            for (size_t i = 0; i < bytes; ++i) any |= pixels[i];
            if (plain && any) report("a plain frame is not transparent black", current);
        }
        plugin.releaseOutput();
    }

    script::AELumivex2& plugin = static_cast<script::AELumivex2&>(script::effectPlugin());
    StackThread thread;
    std::atomic<const char*> phaseName{"start"};
    std::string root;  // the folder of the effect's folder
    std::string base;  // the prelude of every script
    Input current;
};

Harness& harness() {
    static Harness made;
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    harness().run(data, size);
    return 0;
}
