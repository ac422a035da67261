// A structured fuzzer of the script API: the input becomes a short draw()
// function of LX_ calls with hostile arguments (wrong kinds, ids that were
// released or never existed, NaN, infinities, huge sizes, long strings,
// deeply nested arrays, objects whose conversion throws or releases
// entities, deep recursion), which the real engine runs on its headless GL
// context while rendering one frame of a fuzzed size and depth. Afterwards
// the engine must render a plain frame without a script error.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "script/AELumivex2.h"
#include "script/Scripting.h"

namespace {

const char* const kFunctions[] = {
    "LX_blitRenderTarget", "LX_getContextExtent", "LX_getInputOrigin", "LX_getParamFlags",
    "LX_getParamValue", "LX_getSequenceRT", "LX_getSequenceTexture", "LX_getShaderError",
    "LX_getShaderParamType", "LX_getSurfaceDim", "LX_getTime", "LX_initParam",
    "LX_initRenderTarget", "LX_initShader", "LX_initSurface", "LX_initTexture",
    "LX_release", "LX_renderShader", "LX_setOutputExtent", "LX_setParamChoices",
    "LX_setParamEnabled", "LX_setParamFlags", "LX_setParamMinMax", "LX_setParamPrecision",
    "LX_setParamValue", "LX_setShaderParam", "LX_setShaderParamVal", "LX_setTextureParam",
    "LX_surfaceCopyTo", "LX_surfaceQuantize", "LX_surfaceToTexture", "LX_textureToSurface"};

// Argument expressions; `made` holds ids the calls returned, `gone` released ones.
const char* const kArguments[] = {
    "0", "-1", "1", "2", "3", "4", "7", "8", "16", "32", "0.5", "NaN", "Infinity", "-Infinity", "1e300",
    "-1e300", "2147483648", "4294967296", "4097", "16385", "1e9", "-2147483649", "0x01000001", "0x02000001",
    "0x03000001", "0x04000001", "0x05000001", "0x06000001", "0xFF000001", "''", "'x'", "'uv'", "'amount'",
    "LONG", "null", "undefined", "true", "{}", "[]", "[NaN, NaN, NaN, NaN]", "[1e300, -1, 0.5, 2]", "DEEP",
    "function () {}", "THROWS", "RELEASES", "pick(made)", "pick(made)", "pick(made)", "pick(gone)",
    "'void main() { gl_FragColor = vec4(1.0); }'",
    "'uniform float amount; uniform sampler2D tex; void main() { gl_FragColor = texture2D(tex, vec2(amount)); }'",
    "'void main() { gl_FragColor = }'", "LX_getSequenceRT()", "LX_getSequenceTexture()", "[0, 0, 1, 1]",
    "'A|B|C'", "'|'"};

const char* kPrelude = R"JS(
var made = [], gone = [], k = 0;
var LONG = new Array(200001).join('ab');
var DEEP = []; for (var d = 0, p = DEEP; d < 10000; ++d) { p[0] = []; p = p[0]; }
var THROWS = { valueOf: function () { throw new Error('no'); }, toString: function () { throw new Error('no'); } };
var RELEASES = { valueOf: function () { while (made.length) { var id = made.pop(); LX_release(id); gone.push(id); } return 1; } };
function pick(a) { return a.length ? a[(k++) % a.length] : 0; }
function keep(r) { if (typeof r == 'number' && r > 0xFFFFFF) made.push(r); }
function setup() {}
function draw() {}
)JS";

void writeFile(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

AELumivex2& engine() {
    static AELumivex2& made = [] () -> AELumivex2& {
        char folder[] = "/tmp/lumivex-fuzz-script-XXXXXX";
        if (!mkdtemp(folder) || chdir(folder) != 0) std::abort();
        writeFile("config.xml", "<FXNAME>Fuzz</FXNAME><FLAGS>4</FLAGS>\n");
        writeFile("fx.js", kPrelude);
        auto& plugin = static_cast<AELumivex2&>(effectPlugin());
        if (!plugin.init(nullptr) || !plugin.lockGL()) std::abort();
        plugin.setSequence(plugin.newSequence());
        return plugin;
    }();
    return made;
}

std::string body(FuzzedDataProvider& in) {
    std::string text;
    const size_t count = in.ConsumeIntegralInRange<size_t>(1, 24);
    for (size_t i = 0; i < count && in.remaining_bytes(); ++i) {
        const uint8_t op = in.ConsumeIntegral<uint8_t>();
        if (op == 255) {
            text += "try { (function r(n) { return n <= 0 ? 0 : 1 + r(n - 1); })(1e6); } catch (e) {}\n";
            continue;
        }
        if (op == 254) {
            text += "try { var id = made.pop(); LX_release(id); gone.push(id); } catch (e) {}\n";
            continue;
        }
        text += std::string("try { keep(") + kFunctions[op % std::size(kFunctions)] + "(";
        const size_t args = in.ConsumeIntegralInRange<size_t>(0, 6);
        for (size_t a = 0; a < args; ++a) {
            text += a ? ", " : "";
            text += kArguments[in.ConsumeIntegralInRange<size_t>(0, std::size(kArguments) - 1)];
        }
        text += ")); } catch (e) {}\n";
    }
    return text;
}

// Runs text of this harness (which must not fail) in the global scope.
void runOrStop(const std::string& source) {
    // Generous: a full collection under the sanitizers on a busy machine is slow.
    if (const auto error = Scripting::instance().run(source, "fuzz", std::chrono::seconds(60))) {
        std::fprintf(stderr, "harness script failed: %s (line %d)\n", error->message.c_str(), int(error->line));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    AELumivex2& plugin = engine();
    static const uint32_t kDepths[] = {8, 16, 32};
    const uint32_t width = in.ConsumeIntegralInRange<uint32_t>(1, 64);
    const uint32_t height = in.ConsumeIntegralInRange<uint32_t>(1, 64);
    const uint32_t depth = kDepths[in.ConsumeIntegralInRange<uint32_t>(0, 2)];
    const std::string source = "draw = function () {\n" + body(in) + "};";
    runOrStop(source);

    uint32_t w = 0, h = 0;
    plugin.preRender(width, height, &w, &h);
    plugin.render(1.0, w, h, depth);

    // Everything made is released, and a plain frame renders cleanly again.
    const char* reset =
        "while (made.length) { var id = made.pop(); LX_release(id); } gone = [];"
        "draw = function () {};";
    runOrStop(reset);
    plugin.preRender(8, 8, &w, &h);
    plugin.render(0.0, w, h, 8);
    if (!plugin.getErrorText().empty()) {
        fprintf(stderr, "after the fuzzed frame: %s\n", plugin.getErrorText().c_str());
        __builtin_trap();
    }
    return 0;
}
