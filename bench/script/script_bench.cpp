// The script's own cost per frame against the whole frame, at 1280x720.
//
// BM_ScriptPerFrame evaluates exactly what the engine evaluates per frame,
// "preRender(1280,720,1);" and "draw();", each followed by its full garbage
// collection; the GL work draw() issues is finished outside the timing, but
// the second pass waits inside it for the first, whose output it samples.
// BM_ScriptPerFrameNoPasses makes the same calls except the two passes
// themselves (LX_renderShader): the script engine, the bindings and the
// collections without the GPU.
// BM_WholeFrame is the engine's frame as the host glue drives it: preRender,
// render (output target, script draw) and the read-back of the output.
// The effect is a typical one: three parameters, two shader passes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <GL/glew.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "gpu/Context.h"
#include "script/AELumivex2.h"

namespace {

const char* kScript = R"JS(
var amount, tint, mode, blur, grade, rt, dryRun = false;
function setup() {
  amount = LX_initParam('amount', LX_Type.FLOAT, 'Amount');
  tint = LX_initParam('tint', LX_Type.COLOR, 'Tint');
  mode = LX_initParam('mode', LX_Type.POPUP, 'Mode');
  LX_setParamChoices(mode, 'Soft|Hard|Glow');
  blur = LX_initShader('blur');
  grade = LX_initShader('grade');
}
function preRender(w, h) {
  if (LX_getParamValue(mode) == 3) LX_setOutputExtent(w + 64, h + 64);
}
function draw() {
  var out = LX_getSequenceRT();
  var dim = LX_getSurfaceDim(out);
  if (!rt) rt = LX_initRenderTarget(dim[0], dim[1], dim[2]);
  LX_setShaderParam(blur, amount);
  LX_setShaderParamVal(blur, 'src', LX_getSequenceTexture());
  if (!dryRun) LX_renderShader(blur, rt);
  LX_setShaderParam(grade, tint);
  LX_setShaderParamVal(grade, 'src', rt);
  LX_setShaderParamVal(grade, 'time', LX_getTime());
  if (!dryRun) LX_renderShader(grade, out, true);
}
)JS";

const char* kBlur = R"GLSL(
uniform sampler2D src;
uniform float amount;
uniform vec4 s_Texture0Params;
void main() {
  vec2 uv = gl_TexCoord[0].xy;
  vec2 d = s_Texture0Params.zw * amount;
  gl_FragColor = 0.25 * (texture2D(src, uv + d) + texture2D(src, uv - d) +
                         texture2D(src, uv + vec2(d.x, -d.y)) + texture2D(src, uv - vec2(d.x, -d.y)));
}
)GLSL";

const char* kGrade = R"GLSL(
uniform sampler2D src;
uniform vec4 tint;
uniform float time;
void main() { gl_FragColor = texture2D(src, gl_TexCoord[0].xy) * tint + vec4(0.01 * sin(time)); }
)GLSL";

script::AELumivex2& engine() { return static_cast<script::AELumivex2&>(script::effectPlugin()); }

// Loads the effect from a temporary folder once per process.
bool prepare() {
    static const bool ready = [] {
        char folder[] = "/tmp/lumivex-bench-XXXXXX";
        if (!mkdtemp(folder) || chdir(folder) != 0) return false;
        std::ofstream("config.xml") << "<FXNAME>Bench</FXNAME>\n";
        std::ofstream("fx.js") << kScript;
        std::ofstream("blur.frag") << kBlur;
        std::ofstream("grade.frag") << kGrade;
        if (!engine().init(nullptr) || !engine().lockGL()) return false;
        engine().setSequence(engine().newSequence());
        const float amount[4] = {1.5f, 0, 0, 0};
        const float tint[4] = {1.0f, 0.8f, 0.6f, 1.0f};
        engine().setParamValue(0, amount);
        engine().setParamValue(1, tint);
        static std::string input(1280u * 720u * 4u, '\x80');
        engine().uploadLayer(script::kInputLayerIndex, input.data(), 1280, 720, 8, 1280 * 4);
        uint32_t w = 0, h = 0;
        engine().preRender(1280, 720, &w, &h);
        engine().render(0, w, h, 8);
        return engine().getErrorText().empty();
    }();
    return ready;
}

void scriptFrames(benchmark::State& state, bool passes) {
    if (!prepare()) return state.SkipWithError("engine did not load");
    script::Scripting& scripting = script::Scripting::instance();
    scripting.run(passes ? "dryRun = false;" : "dryRun = true;", "bench", script::AELumivex2::TimeLimits().call);
    for (auto _ : state) {
        auto pre = scripting.run("preRender(1280,720,1);", "preRender()", script::AELumivex2::TimeLimits().call);
        auto draw = scripting.run("draw();", "draw()", script::AELumivex2::TimeLimits().call);
        if (pre || draw) return state.SkipWithError("script error");
        state.PauseTiming();
        glFinish();
        state.ResumeTiming();
    }
}

void BM_ScriptPerFrame(benchmark::State& state) { scriptFrames(state, true); }
BENCHMARK(BM_ScriptPerFrame)->Unit(benchmark::kMicrosecond);

void BM_ScriptPerFrameNoPasses(benchmark::State& state) { scriptFrames(state, false); }
BENCHMARK(BM_ScriptPerFrameNoPasses)->Unit(benchmark::kMicrosecond);

void BM_WholeFrame(benchmark::State& state) {
    if (!prepare()) return state.SkipWithError("engine did not load");
    script::Scripting::instance().run("dryRun = false;", "bench", script::AELumivex2::TimeLimits().call);
    double time = 0;
    for (auto _ : state) {
        uint32_t w = 0, h = 0;
        engine().preRender(1280, 720, &w, &h);
        engine().render(time += 1.0 / 30, w, h, 8);
        benchmark::DoNotOptimize(engine().readOutput());
        engine().releaseOutput();
    }
}
BENCHMARK(BM_WholeFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
