// The LX_ parameter, render target and shader functions: results, coercions
// and the false/0 answers for wrong kinds and unknown ids.
#include <cmath>

#include "EngineFixture.h"

namespace {

const char* kParams =
    "var f, c, g, l, b, pop, p2;\n"
    "function setup() {\n"
    "  f = LX_initParam('amount', LX_Type.FLOAT);\n"
    "  c = LX_initParam('tint', LX_Type.COLOR, 'Tint');\n"
    "  g = LX_initParam('group', LX_Type.GROUP_START);\n"
    "  l = LX_initParam('layer', LX_Type.LAYER);\n"
    "  b = LX_initParam('on', LX_Type.BOOL);\n"
    "  pop = LX_initParam('mode', LX_Type.POPUP);\n"
    "  p2 = LX_initParam('centre', LX_Type.POINT2D);\n"
    "}\n"
    "function draw() {}\n";

}  // namespace

TEST_F(EngineTest, DeclaredParametersGetIdsAndDefaults) {
    load(kParams);
    EXPECT_EQ(eval("f"), "16777217");
    EXPECT_EQ(eval("LX_initParam('x') + ',' + LX_initParam()"), "0,0");
    ASSERT_EQ(engine().paramCount(), 7u);
    const gpu::Parameter& amount = engine().getParam(0);
    EXPECT_EQ(amount.name, "amount");
    EXPECT_EQ(amount.displayName, "");
    EXPECT_EQ(amount.kind, 1u);
    EXPECT_EQ(amount.minimum[0], -100.0f);
    EXPECT_EQ(amount.maximum[0], 100.0f);
    EXPECT_EQ(amount.choices, "0|1|2|3|4|5|6|7|8|9");
    EXPECT_EQ(amount.choiceCount, 10u);
    EXPECT_EQ(engine().getParam(1).displayName, "Tint");
    EXPECT_EQ(engine().getParam(7).id, 0u);
    // A LAYER parameter gets a 2x2 placeholder texture for the layer.
    const gpu::Parameter& layer = engine().getParam(3);
    EXPECT_EQ(layer.textureId >> 24, 4u);
    EXPECT_EQ(eval("LX_getSurfaceDim(LX_getParamValue(l)).join()"), "2,2,8");
}

TEST_F(EngineTest, ParameterValuesByKind) {
    load(kParams);
    EXPECT_EQ(eval("LX_setParamValue(f, '2.5') && LX_getParamValue(f)"), "2.5");
    EXPECT_EQ(eval("LX_setParamValue(c, [0.5, 0.25]) && LX_getParamValue(c).join()"), "0.5,0.25,NaN,NaN");
    EXPECT_EQ(eval("LX_setParamValue(c, 7) && LX_getParamValue(c).join()"), "0.5,0.25,NaN,NaN");
    EXPECT_EQ(eval("LX_getParamValue(g) === g"), "true");
    EXPECT_EQ(eval("LX_setParamValue(b, true) && LX_getParamValue(b)"), "1");
    EXPECT_EQ(eval("LX_setParamValue(pop, 3.9) && LX_getParamValue(pop)"), "3");
    EXPECT_EQ(eval("LX_setParamValue(p2, [1, 2, 3]) && LX_getParamValue(p2).join()"), "1,2");
    EXPECT_EQ(eval("LX_setParamValue(l, 67108869) && LX_getParamValue(l)"), "67108869");
    // Host values land in the current sequence's copy, which the script reads.
    const float value[4] = {0.75f, 0, 0, 0};
    engine().setParamValue(0, value);
    EXPECT_EQ(eval("LX_getParamValue(f)"), "0.75");
}

TEST_F(EngineTest, ParameterRangeChoicesPrecisionAndFlags) {
    load(kParams);
    EXPECT_EQ(eval("LX_setParamMinMax(f, -1, 1) && LX_setParamMinMax(c, -5, 5)"), "true");
    EXPECT_EQ(engine().getParam(0).minimum[0], -1.0f);
    EXPECT_EQ(engine().getParam(1).minimum[0], -100.0f);  // only FLOAT parameters take a range
    EXPECT_EQ(eval("LX_setParamChoices(pop, 'a|b') && LX_getParamFlags(pop)"), "0");
    EXPECT_EQ(engine().getParam(5).choiceCount, 2u);
    eval("LX_setParamChoices(pop, 'single')");
    EXPECT_EQ(engine().getParam(5).choiceCount, 0u);
    EXPECT_EQ(eval("LX_setParamPrecision(f, 3) && LX_getParamFlags(f)"), "50331648");
    EXPECT_EQ(eval("LX_setParamEnabled(f, false) && LX_getParamFlags(f)"), "50331650");
    EXPECT_EQ(eval("LX_setParamEnabled(f, 1) && LX_getParamFlags(f)"), "50331648");
    EXPECT_EQ(eval("LX_setParamEnabled(f, 'yes') && LX_getParamFlags(f)"), "50331650");
    EXPECT_EQ(eval("LX_setParamPrecision(f, 256) && LX_getParamFlags(f)"), "2");
    EXPECT_EQ(eval("LX_setParamFlags(f, LX_ParamFlags.ScaleByWidth | 1) && LX_getParamFlags(f)"), "9");
    EXPECT_EQ(eval("LX_setParamFlags(f, -1) && LX_getParamFlags(f)"), "-1");
}

TEST_F(EngineTest, ParameterFunctionsAnswerFalseForOtherIds) {
    load(kParams);
    const char* const calls[] = {
        "LX_getParamValue(%)",          "LX_setParamValue(%, 1)",     "LX_setParamMinMax(%, 0, 1)",
        "LX_setParamChoices(%, 'a|b')", "LX_setParamPrecision(%, 2)", "LX_setParamEnabled(%, 1)",
        "LX_setParamFlags(%, 4)",       "LX_getParamFlags(%)",
    };
    const char* const ids[] = {"0x02000001", "0", "16777299", "NaN", "'x'", "{}", "undefined", "-16777217"};
    for (const char* call : calls) {
        for (const char* id : ids) {
            std::string text = call;
            text.replace(text.find('%'), 1, id);
            EXPECT_EQ(eval(text), "false") << text;
        }
    }
}

TEST_F(EngineTest, IdArgumentsFollowTheIntegerConversion) {
    load(kParams);
    // Fractions truncate, strings and objects convert, out-of-range clamps.
    EXPECT_EQ(eval("LX_getParamValue(16777217.9)"), "0");
    EXPECT_EQ(eval("LX_getParamValue(' 16777217 ')"), "0");
    EXPECT_EQ(eval("LX_getParamValue({ valueOf: function () { return f; } })"), "0");
    EXPECT_EQ(eval("LX_getParamValue(Infinity)"), "false");
    EXPECT_EQ(eval("LX_getParamValue(4294967296 + 16777217)"), "false");
    EXPECT_EQ(eval("LX_getParamValue(g + 0.5)"), std::to_string(0x01000003) + ".5");
}

TEST_F(EngineTest, RenderTargetFunctions) {
    load(
        "var rt, tex;\nfunction setup() { rt = LX_initRenderTarget(640, 360, 8); "
        "tex = LX_initRenderTarget(4, 2, 32); }\nfunction draw() {}\n");
    EXPECT_EQ(eval("rt"), std::to_string(0x03000001));
    EXPECT_EQ(eval("LX_getSurfaceDim(rt).join()"), "640,360,8");
    EXPECT_EQ(eval("LX_getSurfaceDim(0x02000001)"), "false");
    EXPECT_EQ(eval("LX_getSurfaceDim(0x03000009)"), "false");
    // Without a depth the engine can read back, a target has no storage.
    EXPECT_EQ(
        eval("LX_getSurfaceDim(LX_initRenderTarget(4, 4)) + ',' + LX_getSurfaceDim(LX_initRenderTarget(4, 4, 24))"),
        "false,false");
    EXPECT_EQ(eval("LX_blitRenderTarget(rt, tex, true, true)"), "true");
    EXPECT_EQ(eval("LX_blitRenderTarget(rt, 0x04000001)"), "false");
    EXPECT_EQ(eval("LX_blitRenderTarget(0x04000001, rt)"), "false");
    EXPECT_EQ(eval("LX_release(rt) && LX_blitRenderTarget(rt, tex)"), "false");
    EXPECT_EQ(eval("LX_release(0) && LX_release(5) && LX_release(0x05000001)"), "true");
    EXPECT_EQ(eval("LX_getSequenceTexture()"), "0");
    const uint8_t pixels[2 * 2 * 4] = {};
    engine().uploadLayer(script::kInputLayerIndex, pixels, 2, 2, 8, 8);
    EXPECT_EQ(eval("LX_getSurfaceDim(LX_getSequenceTexture()).join()"), "2,2,8");
}

TEST_F(EngineTest, ShadersFromFilesAndText) {
    load(
        "var fromFile, fromText, missing, bad;\nfunction setup() {\n"
        "  fromFile = LX_initShader('tint');\n"
        "  fromText = LX_initShader('inline', 'uniform float gain;\\nvoid main() { gl_FragColor = vec4(gain); }');\n"
        "  missing = LX_initShader('empty', undefined);\n"
        "  bad = LX_initShader('bad', 'void main() { oops }');\n"
        "}\nfunction draw() {}\n",
        {{"tint.frag",
          "uniform vec4 tint;\nuniform sampler2D src;\nvoid main() { gl_FragColor = tint * "
          "texture2D(src, gl_TexCoord[0].xy); }\n"},
         {"empty.frag", ""}});
    EXPECT_EQ(eval("LX_initShader()"), "0");
    EXPECT_EQ(eval("LX_getShaderError(fromFile) + '|' + LX_getShaderError(fromText)"), "|");
    EXPECT_EQ(eval("LX_getShaderError(missing)"), "Shader file not found or shader is empty!");
    EXPECT_EQ(eval("LX_getShaderError(bad).indexOf('Shader compilation failed:\\n')"), "0");
    EXPECT_EQ(eval("LX_getShaderError(0x03000001)"), "Id is not a shader!");
    EXPECT_EQ(eval("LX_getShaderParamType(fromFile, 'tint') + ',' + LX_getShaderParamType(fromFile, 'src') + ',' + "
                   "LX_getShaderParamType(fromFile, 'none') + ',' + LX_getShaderParamType(0x04000001, 'tint')"),
              "3,4,0,0");
    // Releasing a shader leaves its id with the default shader's empty text.
    EXPECT_EQ(eval("LX_release(bad) && LX_getShaderError(bad)"), "");
}

TEST_F(EngineTest, ShaderUniformValues) {
    load(
        "var s, amount;\nfunction setup() {\n"
        "  amount = LX_initParam('gain', LX_Type.FLOAT);\n"
        "  s = LX_initShader('s', 'uniform float gain, turn; uniform vec4 tint; uniform bool on;\\n"
        "void main() { gl_FragColor = tint * gain * turn * (on ? 1.0 : 0.5); }');\n"
        "}\nfunction draw() {}\n");
    gpu::Shader& shader = registry().getShader(0x02000001);
    EXPECT_EQ(eval("LX_setShaderParamVal(s, 'gain', 0.5)"), "true");
    EXPECT_EQ(shader.parameter("gain").value[0], 0.5f);
    EXPECT_EQ(eval("LX_setShaderParamVal(s, 'gain', -12345678)"), "true");
    EXPECT_EQ(shader.parameter("gain").value[0], 0.5f);
    EXPECT_EQ(eval("LX_setShaderParamVal(s, 'tint', [1, 2])"), "true");
    EXPECT_EQ(shader.parameter("tint").value[1], 2.0f);
    EXPECT_TRUE(std::isnan(shader.parameter("tint").value[2]));
    EXPECT_EQ(eval("LX_setShaderParamVal(s, 'tint', 5)"), "true");
    EXPECT_EQ(shader.parameter("tint").value[0], 1.0f);
    EXPECT_EQ(eval("LX_setShaderParamVal(s, 'on', 1) && LX_setShaderParamVal(s, 'nothing', 1)"), "true");
    EXPECT_EQ(eval("LX_setShaderParamVal(0x03000001, 'gain', 1)"), "false");
    // A parameter's value is copied when the kinds agree, and only then.
    EXPECT_EQ(eval("LX_setParamValue(amount, 0.25) && LX_setShaderParam(s, amount)"), "true");
    EXPECT_EQ(shader.parameter("gain").value[0], 0.25f);
    EXPECT_EQ(eval("(late = LX_initParam('on', LX_Type.FLOAT), LX_setParamValue(late, 3) && "
                   "LX_setShaderParam(s, late))"),
              "true");
    uint32_t on = 0;
    std::memcpy(&on, &shader.parameter("on").value[0], sizeof on);
    EXPECT_EQ(on, 1u);
    // A parameter declared after the shader is matched all the same.
    EXPECT_EQ(eval("(turn = LX_initParam('turn', LX_Type.ANGLE), LX_setParamValue(turn, 0.75) && "
                   "LX_setShaderParam(s, turn) && LX_getShaderParamType(s, 'turn'))"),
              "12");
    EXPECT_EQ(shader.parameter("turn").value[0], 0.75f);
    EXPECT_EQ(eval("LX_setShaderParam(amount, s) + ',' + LX_setShaderParam(s, 0x01000009)"), "false,false");
    // A conversion that releases the shader is seen by the lookup after it.
    EXPECT_EQ(eval("LX_setShaderParamVal(s, 'gain', { valueOf: function () { LX_release(s); return 1; } })"), "false");
}

TEST_F(EngineTest, RenderShaderTargetsAndViewports) {
    load(
        "var s, rt, half;\nfunction setup() { s = LX_initShader('green', 'void main() { gl_FragColor = "
        "vec4(0, 1, 0, 1); }'); rt = LX_initRenderTarget(4, 4, 8); half = LX_initRenderTarget(4, 4, 8); }\n"
        "function draw() {}\n");
    EXPECT_EQ(eval("LX_renderShader(s, 0x04000001) + ',' + LX_renderShader(0x03000001, rt)"), "false,false");
    EXPECT_EQ(eval("LX_renderShader(s, 0x03000077)"), "true");  // no such target: nothing drawn
    // A viewport of width 0 draws into the whole target; a sized one into its part.
    EXPECT_EQ(eval("LX_renderShader(s, rt, false, [0, 0, 0, 4]) && LX_renderShader(s, half, false, [0, 0, 2, 4])"),
              "true");
    for (uint32_t id : {0x03000001u, 0x03000002u}) {
        gpu::RenderTarget& target = registry().getRenderTarget(id);
        const uint8_t* pixels = static_cast<const uint8_t*>(target.beginReadback());
        ASSERT_NE(pixels, nullptr);
        for (int i = 0; i < 16; ++i) {
            const bool inside = id == 0x03000001u || i % 4 < 2;
            EXPECT_EQ(pixels[i * 4 + 2], inside ? 255 : 0) << id << " pixel " << i;
        }
        target.endReadback();
    }
}

TEST_F(EngineTest, ReleasedParameterKeepsTheLaterPositionsAndIdsApart) {
    load(
        "var a, b, c;\nfunction setup() {\n"
        "  a = LX_initParam('a', LX_Type.FLOAT); b = LX_initParam('b', LX_Type.COLOR);\n"
        "  c = LX_initParam('c', LX_Type.FLOAT);\n}\nfunction draw() {}\n");
    EXPECT_EQ(eval("LX_release(b)"), "true");
    ASSERT_EQ(engine().paramCount(), 3u);
    EXPECT_EQ(engine().getParam(1).id, 0u);
    // The host's value for the third position still reaches c.
    const float value[4] = {0.5f, 0, 0, 0};
    engine().setParamValue(2, value);
    EXPECT_EQ(eval("LX_getParamValue(c)"), "0.5");
    // A later parameter is appended, even where it takes b's id, and reads
    // its own record rather than b's copy.
    EXPECT_EQ(eval("(d = LX_initParam('d', LX_Type.FLOAT)) == b"), "true");
    ASSERT_EQ(engine().paramCount(), 4u);
    EXPECT_EQ(engine().getParam(3).name, "d");
    EXPECT_EQ(eval("LX_setParamValue(d, 5) && LX_getParamValue(d)"), "5");
}

// Viewport numbers become integers as every other number of the API: NaN
// is 0 and fractions are cut (columns 0 and 1), and a size beyond any GL's
// is the largest the GL takes (the whole target).
TEST_F(EngineTest, RenderShaderViewportNumbersFollowTheIntegerRule) {
    load(
        "var s, cut, huge;\nfunction setup() { s = LX_initShader('green', 'void main() { gl_FragColor = "
        "vec4(0, 1, 0, 1); }'); cut = LX_initRenderTarget(4, 1, 8); huge = LX_initRenderTarget(4, 1, 8); }\n"
        "function draw() {}\n");
    EXPECT_EQ(eval("LX_renderShader(s, cut, false, [NaN, 0, 2.9, 1]) && "
                   "LX_renderShader(s, huge, false, [0, 0, 1e10, 1e10])"),
              "true");
    for (uint32_t id : {0x03000001u, 0x03000002u}) {
        gpu::RenderTarget& target = registry().getRenderTarget(id);
        const uint8_t* pixels = static_cast<const uint8_t*>(target.beginReadback());
        ASSERT_NE(pixels, nullptr);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(pixels[i * 4 + 2], id == 0x03000002u || i < 2 ? 255 : 0) << id << " pixel " << i;
        target.endReadback();
    }
}
