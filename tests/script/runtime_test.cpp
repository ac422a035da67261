// The runtime through the engine object: registration, entry points, the
// error frame for shader and script errors, time limits and extents.
#include <chrono>
#include <thread>

#include "EngineFixture.h"
#include "script/Program.h"
#include "script/ScriptArgs.h"

namespace {

const char* kMinimal = "function setup() {}\nfunction draw() {}\n";

// Counts the pixels whose red, green and blue are all above 200.
size_t whitePixels(const std::vector<uint8_t>& argb) {
    size_t count = 0;
    for (size_t i = 0; i + 3 < argb.size(); i += 4)
        count += argb[i + 1] > 200 && argb[i + 2] > 200 && argb[i + 3] > 200;
    return count;
}

}  // namespace

TEST_F(EngineTest, RegistersTheApiInOrderWithItsArgumentCounts) {
    load(kMinimal);
    EXPECT_EQ(eval("Object.keys(this).filter(function (k) { return k.indexOf('LX_') == 0 && "
                   "typeof this[k] == 'function'; }, this).map(function (k) { return k + '/' + this[k].length; }, "
                   "this).join(' ')"),
              "LX_initParam/0 LX_getParamValue/1 LX_setParamValue/2 LX_setParamMinMax/3 LX_setParamChoices/2 "
              "LX_setParamPrecision/2 LX_setParamEnabled/2 LX_setParamFlags/2 LX_getParamFlags/1 "
              "LX_initRenderTarget/3 LX_blitRenderTarget/4 LX_getSurfaceDim/1 LX_getSequenceRT/0 "
              "LX_getSequenceTexture/0 LX_initShader/0 LX_setShaderParam/2 LX_getShaderParamType/2 "
              "LX_renderShader/4 LX_setShaderParamVal/3 LX_getShaderError/1 LX_initTexture/0 "
              "LX_setTextureParam/3 LX_initSurface/0 LX_textureToSurface/1 LX_surfaceToTexture/1 "
              "LX_surfaceQuantize/6 LX_surfaceCopyTo/3 LX_getTime/0 LX_release/1 LX_setOutputExtent/2 "
              "LX_getContextExtent/0 LX_getInputOrigin/0");
    EXPECT_EQ(eval("LX_GL.TEXTURE_SWIZZLE_A + ',' + LX_Type.ANGLE + ',' + LX_ParamFlags.RemoveScale"), "36421,12,32");
}

TEST_F(EngineTest, ScriptWithoutPreRenderKeepsTheInputSize) {
    load("import L;\nfunction setup() { L.X.initParam('a', LX_Type.FLOAT); }\nfunction draw() {}\n");
    EXPECT_EQ(engine().paramCount(), 1u);
    EXPECT_EQ(frame(32, 16), std::make_pair(32u, 16u));
}

TEST_F(EngineTest, PreRenderSetsTheOutputExtentPerDimension) {
    load(
        "var seenRT = -1;\nfunction setup() {}\nfunction draw() {}\n"
        "function preRender(w, h) { if (seenRT < 0) seenRT = LX_getSequenceRT(); LX_setOutputExtent(w * 2); }\n");
    EXPECT_EQ(frame(10, 6), std::make_pair(20u, 6u));
    // The output target is made by the render that follows the first preRender.
    EXPECT_EQ(eval("seenRT"), "0");
    EXPECT_EQ(eval("LX_getSurfaceDim(LX_getSequenceRT()).join()"), "20,6,8");
    // A negative extent keeps the input size rather than wrapping around.
    eval("preRender = function () { LX_setOutputExtent(-5, -1); }");
    EXPECT_EQ(frame(10, 6), std::make_pair(10u, 6u));
}

TEST_F(EngineTest, TimeExtentsAndOriginReachTheScript) {
    load(kMinimal);
    EXPECT_EQ(eval("LX_getContextExtent().join()"), "0,0,1");
    engine().setContextExtent(1920, 1080, 0.005f);
    EXPECT_EQ(eval("LX_getContextExtent().join()"), "1920,1080,1");
    engine().setContextExtent(640, 360, 0.5f);
    EXPECT_EQ(eval("LX_getContextExtent().join()"), "640,360,0.5");
    engine().setInputOrigin(-3, 7);
    EXPECT_EQ(eval("LX_getInputOrigin().join()"), "-3,7");
    frame(8, 4, 8, 2.5);
    EXPECT_EQ(eval("LX_getTime()"), "2.5");
}

TEST_F(EngineTest, DrawRendersIntoTheSequenceTarget) {
    load(
        "var s;\nfunction setup() { s = LX_initShader('solid'); }\n"
        "function draw() { LX_renderShader(s, LX_getSequenceRT()); }\n",
        {{"solid.frag", solidShader("1.0, 0.0, 0.0, 1.0")}});
    frame(4, 2);
    const std::vector<uint8_t> pixels = output();
    ASSERT_EQ(pixels.size(), 32u);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        EXPECT_EQ(pixels[i], 255);      // alpha
        EXPECT_EQ(pixels[i + 1], 255);  // red
        EXPECT_EQ(pixels[i + 2], 0);
        EXPECT_EQ(pixels[i + 3], 0);
    }
}

TEST_F(EngineTest, ShaderErrorsReplaceDrawWithTheErrorFrame) {
    load(
        "var drawn = 0;\nfunction setup() { LX_initShader('broken', 'void main() { nonsense; }'); }\n"
        "function draw() { ++drawn; }\n");
    frame(320, 64);
    EXPECT_EQ(eval("drawn"), "0");
    EXPECT_EQ(engine().getErrorText().rfind("Shader \"broken\"\nShader compilation failed:\n", 0), 0u);
    EXPECT_GT(whitePixels(output()), 20u);
}

TEST_F(EngineTest, ScriptErrorInDrawIsShownAndTheNextFrameRunsAgain) {
    load(
        "var calls = 0, s;\nfunction setup() { s = LX_initShader('black', 'void main() { gl_FragColor = vec4(0.0); "
        "}'); }\n"
        "function draw() {\n  if (++calls == 1) undefinedThing();\n  LX_renderShader(s, LX_getSequenceRT());\n}\n");
    frame(400, 64);
    const std::string text = engine().getErrorText();
    EXPECT_EQ(text.rfind("Script error in draw() at line 4:\nReferenceError", 0), 0u) << text;
    EXPECT_GT(whitePixels(output()), 20u);
    frame(400, 64);
    EXPECT_EQ(eval("calls"), "2");
    EXPECT_EQ(engine().getErrorText(), "");
    EXPECT_EQ(whitePixels(output()), 0u);
}

TEST_F(EngineTest, ErrorsDuringLoadAndUpdateUIFlagsAreReportedNotFatal) {
    load(
        "function setup() { LX_initParam('a', 1); throw new Error('bad setup'); }\n"
        "function draw() {}\nfunction updateUIFlags() { null.x; }\n");
    EXPECT_TRUE(engine().isScriptReady());
    EXPECT_EQ(engine().paramCount(), 1u);
    EXPECT_NE(engine().getErrorText().find("Script error in fx.js (load and setup) at line 1:\nError: bad setup\n"),
              std::string::npos);
    engine().updateUIFlags();
    EXPECT_NE(engine().getErrorText().find("Script error in updateUIFlags() at line 3:\nTypeError"), std::string::npos);
    frame(400, 64);
    EXPECT_GT(whitePixels(output()), 20u);
}

TEST_F(EngineTest, MissingScriptReportsAnErrorAndKeepsRendering) {
    ASSERT_TRUE(engine().init(nullptr));  // no fx.js: the loose reader gives "popa"
    ASSERT_TRUE(engine().lockGL());
    locked = true;
    engine().setSequence(engine().newSequence());
    frame(400, 64);
    EXPECT_NE(engine().getErrorText().find("ReferenceError"), std::string::npos);
}

TEST_F(EngineTest, ScriptThatNeverReturnsIsStoppedAndReported) {
    load("var calls = 0;\nfunction setup() {}\nfunction draw() { if (++calls == 1) while (true) {} }\n");
    const auto start = std::chrono::steady_clock::now();
    frame();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_NE(engine().getErrorText().find("RangeError: execution timeout"), std::string::npos);
    frame();
    EXPECT_EQ(eval("calls"), "2");
    EXPECT_EQ(engine().getErrorText(), "");
}

TEST_F(EngineTest, TimeoutCannotBeCaughtByTheScript) {
    load(
        "var caught = 0;\nfunction setup() {}\n"
        "function draw() { for (;;) { try { while (true) {} } catch (e) { ++caught; } } }\n");
    frame();
    EXPECT_NE(engine().getErrorText().find("execution timeout"), std::string::npos);
}

TEST_F(EngineTest, RunawayRecursionIsAScriptError) {
    load("function setup() {}\nfunction f(n) { return f(n + 1) + 1; }\nfunction draw() { f(0); }\n");
    frame();
    EXPECT_NE(engine().getErrorText().find("Script error in draw() at line 2:\nRangeError"), std::string::npos)
        << engine().getErrorText();
    EXPECT_EQ(eval("1 + 1"), "2");
}

TEST_F(EngineTest, FatalEngineErrorAbandonsTheHeapWithoutEndingTheProcess) {
    load(kMinimal);
    duk_context* ctx = script::Scripting::instance().ctx;
    duk_push_c_function(
        ctx,
        [](duk_context* c) -> duk_ret_t {
            duk_fatal(c, "test fatal");
            return 0;
        },
        0);
    duk_put_global_string(ctx, "fatal");
    auto error = script::Scripting::instance().run("fatal();", "test", std::chrono::seconds(1));
    ASSERT_TRUE(error);
    EXPECT_NE(error->message.find("test fatal"), std::string::npos);
    EXPECT_EQ(script::Scripting::instance().ctx, nullptr);
    EXPECT_FALSE(script::Scripting::instance().run("1;", "test", std::chrono::seconds(1)));
    frame();  // draws nothing, fails nothing
}

TEST_F(EngineTest, BuffersAreSwappedEveryFifthFrame) {
    load(kMinimal);
    for (uint32_t i = 1; i <= 4; ++i) {
        frame();
        EXPECT_EQ(engine().framesSinceSwap(), i);
    }
    frame();
    EXPECT_EQ(engine().framesSinceSwap(), 0u);
}

TEST_F(EngineTest, PerFrameCallsDoNothingWithoutASequence) {
    load(
        "var calls = 0;\nfunction setup() {}\nfunction draw() { ++calls; }\n"
        "function preRender() { ++calls; }\n");
    engine().deleteSequence(handle);
    uint32_t w = 99, h = 99;
    engine().preRender(8, 8, &w, &h);
    engine().render(0, 8, 8, 8);
    engine().updateUIFlags();
    EXPECT_EQ(w, 99u);
    EXPECT_EQ(eval("calls"), "0");
}

TEST_F(EngineTest, ReloadStartsTheRegistryAgain) {
    load("var p;\nfunction setup() { p = LX_initParam('a', 1); LX_initRenderTarget(4, 4, 8); }\nfunction draw() {}\n");
    EXPECT_EQ(eval("p"), "16777217");
    ASSERT_TRUE(engine().loadScript());
    EXPECT_EQ(eval("p"), "16777217");
    EXPECT_EQ(eval("LX_initRenderTarget(4, 4, 8)"), std::to_string(0x03000002));
}

TEST_F(EngineTest, ScriptErrorsBelongToTheInstanceAndTheCallThatRaisedThem) {
    // preRender fails for 13-pixel-wide frames, updateUIFlags while `uiFails`.
    load(
        "var drawn = 0, uiFails = false, s;\n"
        "function setup() { s = LX_initShader('black', 'void main() { gl_FragColor = vec4(0.0); }'); }\n"
        "function preRender(w, h) { if (w == 13) throw new Error('wide'); }\n"
        "function updateUIFlags() { if (uiFails) throw new Error('ui'); }\n"
        "function draw() { ++drawn; LX_renderShader(s, LX_getSequenceRT()); }\n");
    script::SequenceHandle* other = engine().newSequence();
    uint32_t w = 0, h = 0;
    engine().preRender(13, 64, &w, &h);  // this instance fails
    engine().setSequence(other);
    frame(400, 64);  // the other renders, and its clean preRender clears nothing of the first
    EXPECT_EQ(eval("drawn"), "1");
    EXPECT_EQ(engine().getErrorText(), "");
    engine().setSequence(handle);
    engine().render(0, 400, 64, 8);
    EXPECT_EQ(eval("drawn"), "1");
    EXPECT_NE(engine().getErrorText().find("Script error in preRender() at line 3:\nError: wide"), std::string::npos);
    EXPECT_GT(whitePixels(output()), 20u);
    frame(400, 64);  // the next preRender runs again and succeeds
    EXPECT_EQ(eval("drawn"), "2");

    // An updateUIFlags error shows in the instance's next frame only.
    eval("uiFails = true");
    engine().updateUIFlags();
    eval("uiFails = false");
    EXPECT_NE(engine().getErrorText().find("Script error in updateUIFlags() at line 4"), std::string::npos);
    frame(400, 64);
    EXPECT_EQ(eval("drawn"), "2");
    EXPECT_GT(whitePixels(output()), 20u);
    frame(400, 64);
    EXPECT_EQ(eval("drawn"), "3");
    EXPECT_EQ(engine().getErrorText(), "");
    EXPECT_EQ(whitePixels(output()), 0u);
    engine().deleteSequence(other);
}

TEST_F(EngineTest, UpdateUIFlagsTakesTheGLLock) {
    load(
        "var rt = 0;\nfunction setup() {}\nfunction draw() {}\n"
        "function updateUIFlags() { if (!rt) rt = LX_initRenderTarget(4, 4, 8); }\n");
    engine().unlockGL();  // as the host calls it: without the GL lock
    locked = false;
    engine().updateUIFlags();
    ASSERT_TRUE(engine().lockGL());
    locked = true;
    EXPECT_EQ(eval("LX_getSurfaceDim(rt)"), "4,4,8");
}

TEST(ExecutionBudget, CountsScriptTimeAgainstTheScriptLimitAndAllTimeAgainstTheWallLimit) {
    using namespace std::chrono_literals;
    script::ExecutionBudget budget;
    budget.arm(200ms, 1h);
    budget.pause();
    budget.pause();  // nested native work counts once
    std::this_thread::sleep_for(300ms);
    budget.resume();
    EXPECT_FALSE(budget.expired());  // still paused
    budget.resume();
    EXPECT_FALSE(budget.expired());
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(budget.expired());
    budget.pause();
    EXPECT_TRUE(budget.expired());  // a spent budget stays spent until the call unwinds
    budget.arm(1h, 20ms);
    budget.pause();
    std::this_thread::sleep_for(40ms);
    EXPECT_TRUE(budget.expired());
    budget.disarm();
    EXPECT_FALSE(budget.expired());
}

TEST_F(EngineTest, NativeWorkDoesNotCountAgainstTheScriptTimeLimit) {
    engine().setTimeLimits(
        {std::chrono::milliseconds(2000), std::chrono::milliseconds(300), std::chrono::milliseconds(300000)});
    load(
        "var calls = 0;\nfunction setup() {}\n"
        "function draw() { ++calls; for (var i = 0; i < 4; ++i) slowNative(); }\n");
    // An engine function that works for 150 ms, as the LX_ functions do their work.
    duk_push_c_function(
        script::Scripting::instance().ctx,
        [](duk_context*) -> duk_ret_t {
            script::shielded(0, [] {
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                return 0;
            });
            return 0;
        },
        0);
    duk_put_global_string(script::Scripting::instance().ctx, "slowNative");
    frame();
    EXPECT_EQ(engine().getErrorText(), "");
    // A loop of quick engine calls is script time all the same: the call
    // limit stops it, long before the wall limit would. The native share of
    // each call is not counted, so the loop runs for longer than the call
    // limit: under valgrind from 2 to over 10 seconds.
    eval("draw = function () { for (;;) LX_getTime(); }");
    const auto start = std::chrono::steady_clock::now();
    frame();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(100));
    EXPECT_NE(engine().getErrorText().find("RangeError: execution timeout"), std::string::npos);
}

TEST_F(EngineTest, LoadStoppedByItsTimeLimitIsRetriedAtTheNextFrame) {
    engine().setTimeLimits(
        {std::chrono::milliseconds(100), std::chrono::milliseconds(1000), std::chrono::milliseconds(60000)});
    load("function setup() { while (true) {} }\nfunction draw() {}\n");
    frame(400, 64);
    EXPECT_NE(engine().getErrorText().find("Script error in fx.js (load and setup)"), std::string::npos);
    writeFile("fx.js",
              "var drawn = 0;\nfunction setup() { LX_initParam('a', LX_Type.FLOAT); }\n"
              "function draw() { ++drawn; }\n");
    frame(400, 64);
    EXPECT_EQ(engine().getErrorText(), "");
    EXPECT_EQ(eval("drawn"), "1");
    EXPECT_EQ(engine().paramCount(), 1u);
    EXPECT_EQ(whitePixels(output()), 0u);  // the instance kept a sequence to render into
}
