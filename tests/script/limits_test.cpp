// Scripts that try to hurt the process running them: the runtime must end
// every such call with a script error that names the limit it ran into,
// in bounded time, and stay usable. A case that would hang is guarded by a
// watchdog that ends the test process (and so fails the test).
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EngineFixture.h"
#include "script/ScriptArgs.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Ends the process with SIGALRM unless it is destroyed within `seconds`.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) { alarm(seconds); }
    ~Watchdog() { alarm(0); }
};

// Runs `work` on a new thread whose stack has `stackBytes`, and waits for it.
void runOnStack(size_t stackBytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackBytes), 0);
    pthread_t thread;
    auto body = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, body, const_cast<std::function<void()>*>(&work)), 0);
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
}

// An engine function that works for 50 ms as LX_ functions do their work
// (not counted as script time).
void defineSlowNative() {
    duk_push_c_function(
        script::Scripting::instance().ctx,
        [](duk_context*) -> duk_ret_t {
            script::shielded(0, [] {
                std::this_thread::sleep_for(50ms);
                return 0;
            });
            return 0;
        },
        0);
    duk_put_global_string(script::Scripting::instance().ctx, "slowNative");
}

}  // namespace

TEST_F(EngineTest, FinalizersAreUnavailableSoDestroyingTheHeapRunsNoScript) {
    Watchdog watchdog(60);
    load(
        "var kept = {};\nfunction setup() { Duktape.fin(kept, function () { while (true) {} }); }\n"
        "function draw() {}\n");
    EXPECT_NE(engine().getErrorText().find("TypeError: finalizers are not available to effect scripts"),
              std::string::npos)
        << engine().getErrorText();
    ASSERT_TRUE(engine().loadScript());  // destroys the heap that holds `kept`
    EXPECT_EQ(eval("typeof Duktape.fin"), "function");
}

// Built-ins and native calls count against the limits: the checks run
// inside the regular-expression matcher, at every call and at allocations,
// not only between bytecode instructions.
TEST_F(EngineTest, TimeInsideBuiltInsIsStoppedByTheScriptTimeLimit) {
    Watchdog watchdog(120);
    engine().setTimeLimits({5000ms, 300ms, 60000ms});
    load(
        "var s = '', which = '';\nfunction setup() { for (var i = 0; i < 40; ++i) s += 'a'; }\n"
        "function draw() {\n"
        "  if (which == 'regex') for (var i = 0; i < 4; ++i) /(a|aa)*b/.exec(s);\n"
        "  if (which == 'array-like') Array.prototype.lastIndexOf.call({ length: 2147483647 }, 1);\n"
        "  if (which == 'sort') Array.prototype.sort.call({ length: 2147483647 });\n"
        "}\n");
    for (const char* which : {"regex", "array-like", "sort"}) {
        eval(std::string("which = '") + which + "'");
        const auto start = Clock::now();
        frame();
        EXPECT_LT(Clock::now() - start, 10s) << which;
        EXPECT_NE(engine().getErrorText().find("RangeError: execution timeout (script time limit of 300 ms)"),
                  std::string::npos)
            << which << ": " << engine().getErrorText();
    }
    eval("which = ''");
    frame();
    EXPECT_EQ(engine().getErrorText(), "");
}

// The script may catch the RangeError of a spent budget, but it cannot hide
// that the call overran: the call ends as a timeout whether the error was
// caught or not, in bounded time, and the frame shows the error instead of
// being drawn.
TEST_F(EngineTest, ATimeoutTheScriptCatchesIsStillReported) {
    Watchdog watchdog(120);
    engine().setTimeLimits({5000ms, 20ms, 60000ms});
    load(
        "var which = '', drawn = 0;\n"
        "function rep(s, n) { var r = ''; while (n--) r += s; return r; }\n"
        "function setup() {}\n"
        "function preRender(w, h) {\n"
        "  if (which == 'built-in') { try { /(a|aa)*b/.exec(rep('a', 48)); } catch (e) {} }\n"
        "  if (which == 'loop') for (;;) { try { while (true) {} } catch (e) {} }\n"
        "  if (which == 'calls in a loop') for (;;) { try { /(a|aa)*b/.exec(rep('a', 48)); } catch (e) {} }\n"
        "  if (which == 'finally') for (;;) { try { while (true) {} } finally { continue; } }\n"
        "  if (which == 'callback') for (;;) { try { [1].forEach(function () { while (true) {} }); } catch (e) {} }\n"
        "  if (which == 'errCreate') {\n"
        "    Duktape.errCreate = function (e) { for (;;) { try { while (true) {} } catch (f) {} } };\n"
        "    for (;;) { try { while (true) {} } catch (e) {} }\n"
        "  }\n"
        "}\n"
        "function draw() { ++drawn; }\n");
    for (const char* which : {"built-in", "loop", "calls in a loop", "finally", "callback", "errCreate"}) {
        eval(std::string("which = '") + which + "', drawn = 0");
        const auto start = Clock::now();
        frame();
        EXPECT_LT(Clock::now() - start, 10s) << which;
        EXPECT_NE(engine().getErrorText().find("Script error in preRender()"), std::string::npos) << which;
        EXPECT_NE(engine().getErrorText().find("RangeError: execution timeout (script time limit of 20 ms)"),
                  std::string::npos)
            << which << ": " << engine().getErrorText();
        EXPECT_EQ(eval("drawn"), "0") << which;
    }
    engine().setTimeLimits({5000ms, 5000ms, 60000ms});
    eval("which = '', drawn = 0");
    frame();
    EXPECT_EQ(engine().getErrorText(), "");
    EXPECT_EQ(eval("drawn"), "1");
}

// The same at the level of one call, with the flag the engine reads to retry
// a load that timed out. Other errors the script catches stay its own
// business.
TEST(ScriptTime, ACaughtTimeoutEndsTheCallAsATimeout) {
    script::Scripting& scripting = script::Scripting::instance();
    scripting.create();
    ASSERT_NE(scripting.ctx, nullptr);
    const std::string rep = "function rep(s, n) { var r = ''; while (n--) r += s; return r; }\n";
    auto error = scripting.run(rep + "try { /(a|aa)*b/.exec(rep('a', 48)); } catch (e) {}", "test", 20ms);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, "RangeError: execution timeout (script time limit of 20 ms)");
    EXPECT_TRUE(error->timedOut);
    // The heap stays usable, and a call within its time reports nothing.
    EXPECT_FALSE(
        scripting.run("var caught = ''; try { null.x; } catch (e) { caught = e.name; }"
                      "if (caught != 'TypeError') throw new Error(caught);",
                      "test", 5s));
    scripting.reset();
}

TEST_F(EngineTest, WallLimitStopsALoopOfLongNativeCalls) {
    Watchdog watchdog(120);
    engine().setTimeLimits({5000ms, 60000ms, 1000ms});
    load("function setup() {}\nfunction draw() { for (;;) slowNative(); }\n");
    defineSlowNative();
    const auto start = Clock::now();
    frame();
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_NE(engine().getErrorText().find("RangeError: execution timeout (time limit of 1000 ms in all)"),
              std::string::npos)
        << engine().getErrorText();
}

// A shader that would run for minutes: GPU work counts against the time in
// all. The draw stops between bands once it has passed, the call ends with
// the timeout, and the next frame with another shader draws as usual.
TEST_F(EngineTest, AShaderThatRunsForMinutesEndsAtTheTimeLimitInAll) {
    Watchdog watchdog(30);
    engine().setTimeLimits({5000ms, 1000ms, 3000ms});
    // Loops are cut per pixel (by the GL itself after 65535 iterations on
    // llvmpipe), so each iteration is made slow.
    std::string slow = "uniform float k;\nvoid main() {\n  float x = k;\n  while (x >= 0.0) {\n";
    for (int i = 0; i < 64; ++i) slow += "    x = sin(x * 1.0001) + 0.5;\n";
    slow += "  }\n  gl_FragColor = vec4(x);\n}\n";
    load(
        "var slow, green, which;\n"
        "function setup() { slow = LX_initShader('slow'); green = LX_initShader('green'); which = slow; }\n"
        "function draw() { LX_renderShader(which, LX_getSequenceRT()); }\n",
        {{"slow.frag", slow}, {"green.frag", solidShader("0.0, 1.0, 0.0, 1.0")}});
    ASSERT_EQ(engine().getErrorText(), "");
    const auto start = Clock::now();
    frame(300, 200);
    EXPECT_LT(Clock::now() - start, 20s);
    EXPECT_NE(engine().getErrorText().find("RangeError: execution timeout (time limit of 3000 ms in all)"),
              std::string::npos)
        << engine().getErrorText();

    eval("which = green");
    frame(300, 200);
    EXPECT_EQ(engine().getErrorText(), "");
    const std::vector<uint8_t> pixels = output();
    ASSERT_EQ(pixels.size(), size_t{300} * 200 * 4);
    for (size_t at = 0; at < pixels.size(); at += 4)
        ASSERT_EQ(std::vector<uint8_t>(pixels.begin() + at, pixels.begin() + at + 4),
                  (std::vector<uint8_t>{255, 0, 255, 0}))
            << at / 4;
}

TEST_F(EngineTest, ErrorWhoseTextNeverComesIsReportedInBoundedTime) {
    Watchdog watchdog(60);
    load(
        "var calls = 0;\nfunction setup() {}\n"
        "function draw() { if (++calls == 1) throw { toString: function () { while (true) {} } }; }\n");
    const auto start = Clock::now();
    frame();
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_NE(engine().getErrorText().find("Script error in draw()"), std::string::npos);
    frame();
    EXPECT_EQ(engine().getErrorText(), "");
}

TEST_F(EngineTest, ScriptHeapIsCappedAndTheNextLoadWorks) {
    constexpr size_t kLimit = size_t{16} << 20;
    // The suite may run in one process (under valgrind): later tests get the
    // default limit back.
    struct DefaultLimitAfter {
        ~DefaultLimitAfter() { script::Scripting::instance().setHeapLimit(script::HeapGuard::kDefaultHeapLimit); }
    } restore;
    script::Scripting::instance().setHeapLimit(kLimit);
    engine().setTimeLimits({5000ms, 20000ms, 60000ms});
    // Over 100 MB of small objects if nothing stops it.
    load(
        "var mode = 'fill', caught = '';\nfunction setup() {}\n"
        "function fill() { var a = []; for (var i = 0; i < 1000000; ++i) a.push({ index: i, next: [i] }); }\n"
        "function draw() {\n"
        "  if (mode == 'catch') { try { fill(); } catch (e) { caught = e.name + ': ' + e.message; } return; }\n"
        "  fill();\n"
        "}\n");
    frame();
    EXPECT_NE(engine().getErrorText().find("Error: out of memory (script heap limit of 16 MiB)"), std::string::npos)
        << engine().getErrorText();
    EXPECT_LE(script::Scripting::instance().heapUsed(), kLimit);

    // The script may catch it, as any error. When not even the error fits
    // in the heap, the engine throws its fixed one instead.
    eval("mode = 'catch'");
    frame();
    EXPECT_EQ(engine().getErrorText(), "");
    const std::string caught = eval("caught");
    EXPECT_TRUE(caught == "Error: alloc failed" || caught == "DoubleError: error in error handling") << caught;

    writeFile("fx.js", "function setup() {}\nfunction draw() {}\n");
    ASSERT_TRUE(engine().loadScript());
    frame();
    EXPECT_EQ(engine().getErrorText(), "");
    EXPECT_EQ(eval("'a' + 1"), "a1");
}

TEST(ScriptHeap, AccountsForEveryByteUntilTheHeapIsGone) {
    script::Scripting& scripting = script::Scripting::instance();
    EXPECT_EQ(scripting.heapLimit(), script::HeapGuard::kDefaultHeapLimit);
    scripting.create();
    ASSERT_NE(scripting.ctx, nullptr);
    const size_t empty = scripting.heapUsed();
    EXPECT_GT(empty, 0u);
    // Growth through both allocation and reallocation (the array's parts).
    EXPECT_FALSE(scripting.run("var a = []; for (var i = 0; i < 100000; ++i) a.push(i + 'x');", "test", 10s));
    const size_t full = scripting.heapUsed();
    EXPECT_GT(full, empty + 2000000);
    EXPECT_FALSE(scripting.run("a = null;", "test", 10s));
    EXPECT_LT(scripting.heapUsed(), full - 2000000);
    scripting.reset();
    EXPECT_EQ(scripting.heapUsed(), 0u);
}

// Cycles outlive reference counting: the collection at the end of each run
// frees them, or, where a caller has turned that off, its own collection.
TEST(ScriptHeap, CyclicGarbageGoesAfterTheRunOrWhenTheCallerCollects) {
    script::Scripting& scripting = script::Scripting::instance();
    scripting.create();
    ASSERT_NE(scripting.ctx, nullptr);
    const std::string cycles = "(function () { for (var i = 0; i < 20000; ++i) { var o = {}; o.self = o; } })();";
    const size_t before = scripting.heapUsed();
    EXPECT_FALSE(scripting.run(cycles, "test", 10s));
    EXPECT_LT(scripting.heapUsed(), before + 100000);
    scripting.setCollectAfterRun(false);
    EXPECT_FALSE(scripting.run(cycles, "test", 10s));
    scripting.setCollectAfterRun(true);
    EXPECT_GT(scripting.heapUsed(), before + 1000000);
    scripting.collectGarbage();
    EXPECT_LT(scripting.heapUsed(), before + 100000);
    scripting.reset();
}

// A heap abandoned after a fatal error keeps its blocks; the next heap is
// measured from zero, so the old one's bytes never count against its limit.
TEST_F(EngineTest, AnAbandonedHeapDoesNotCountAgainstTheNext) {
    load("function setup() {}\nfunction draw() {}\n");
    script::Scripting& scripting = script::Scripting::instance();
    EXPECT_FALSE(scripting.run("var big = []; for (var i = 0; i < 100000; ++i) big.push(i + 'x');", "test", 10s));
    duk_push_c_function(
        scripting.ctx,
        [](duk_context* c) -> duk_ret_t {
            duk_fatal(c, "test fatal");
            return 0;
        },
        0);
    duk_put_global_string(scripting.ctx, "fatal");
    ASSERT_TRUE(scripting.run("fatal();", "test", 10s));
    ASSERT_EQ(scripting.ctx, nullptr);
    ASSERT_GT(scripting.heapUsed(), 2000000u);
    scripting.reset();
    scripting.create();
    ASSERT_NE(scripting.ctx, nullptr);
    EXPECT_LT(scripting.heapUsed(), 1000000u);
}

TEST(ScriptStack, ReserveIsAQuarterOfTheStackWithinBounds) {
    EXPECT_EQ(script::Scripting::stackReserve(size_t{256} << 10), size_t{64} << 10);
    EXPECT_EQ(script::Scripting::stackReserve(size_t{128} << 10), size_t{64} << 10);
    EXPECT_EQ(script::Scripting::stackReserve(size_t{512} << 10), size_t{128} << 10);
    EXPECT_EQ(script::Scripting::stackReserve(size_t{8} << 20), size_t{256} << 10);
}

// Nesting that recurses on the native stack, run on threads with the
// stacks hosts give (1 MB is Windows' default): each ends with a RangeError
// that names a limit, where it used to overflow the stack.
class DeepNesting : public ::testing::TestWithParam<size_t> {};

TEST_P(DeepNesting, EndsWithARangeErrorInsteadOfOverflowingTheStack) {
    const char* const cases[] = {
        "new RegExp(new Array(9991).join('(') + 'a' + new Array(9991).join(')'));",
        "eval(new Array(3001).join('(') + '1' + new Array(3001).join(')'));",
        "eval(new Array(1001).join('(function () { return ') + '1' + new Array(1001).join('})'));",
        "/(a|b)*c/.exec(new Array(4501).join('ab'));",
        "var depth = 0, o = { valueOf: function () { ++depth; return +o; } }; +o;",
        "var nested = '1'; for (var i = 0; i < 5000; ++i) nested = '[' + nested + ']'; JSON.parse(nested);",
    };
    script::Scripting& scripting = script::Scripting::instance();
    scripting.create();
    ASSERT_NE(scripting.ctx, nullptr);
    for (const char* source : cases) {
        std::optional<script::ScriptError> error;
        runOnStack(GetParam(), [&] { error = scripting.run(source, "test", 10s); });
        ASSERT_TRUE(error) << source;
        EXPECT_EQ(error->message.rfind("RangeError", 0), 0u) << source << ": " << error->message;
        EXPECT_NE(error->message.find("limit"), std::string::npos) << source << ": " << error->message;
    }
    // Moderate nesting still works on the same stack.
    std::optional<script::ScriptError> error;
    runOnStack(GetParam(), [&] {
        error = scripting.run(
            "var n = 0, p = { valueOf: function () { return ++n < 20 ? +p : n; } };"
            "if (+p != 20 || !/^(a|b)*c$/.test(new Array(101).join('ab') + 'c')) throw new Error('x');",
            "test", 10s);
    });
    EXPECT_FALSE(error) << error->message;
    scripting.reset();
}

INSTANTIATE_TEST_SUITE_P(HostThreadStacks, DeepNesting, ::testing::Values(size_t{256} << 10, size_t{1} << 20),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return std::to_string(info.param >> 10) + "KiB";
                         });
