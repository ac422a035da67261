// LX_ texture and surface functions: loading, sharing and copying pixels
// between textures, render targets and surfaces.
#include "EngineFixture.h"

namespace {

// An uncompressed 32-bit TGA (top-left origin) holding `rgba` rows.
std::string tga(uint16_t width, uint16_t height, const std::vector<uint8_t>& rgba) {
    std::string bytes(18, '\0');
    bytes[2] = 2;
    bytes[12] = char(width & 0xFF), bytes[13] = char(width >> 8);
    bytes[14] = char(height & 0xFF), bytes[15] = char(height >> 8);
    bytes[16] = 32;
    bytes[17] = 0x28;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        bytes += char(rgba[i + 2]), bytes += char(rgba[i + 1]), bytes += char(rgba[i]), bytes += char(rgba[i + 3]);
    }
    return bytes;
}

const char* kEmptyScript = "function setup() {}\nfunction draw() {}\n";

}  // namespace

TEST_F(EngineTest, FileTextureIsSharedWithItsSurfaceAndOutlivesTheTexture) {
    const std::vector<uint8_t> rgba = {1, 2, 3, 4, 5, 6, 7, 8};
    load(kEmptyScript, {{"img.tga", tga(2, 1, rgba)}});
    EXPECT_EQ(eval("LX_initTexture()"), "0");
    EXPECT_EQ(eval("(t = LX_initTexture('img.tga', 'ignored'), LX_getSurfaceDim(t).join())"), "2,1,8");
    EXPECT_EQ(eval("(missing = LX_initTexture('missing.tga')) + ',' + LX_getSurfaceDim(missing)"),
              std::to_string(0x04000002) + ",false");
    const uint32_t surfaceId = static_cast<uint32_t>(number("sf = LX_textureToSurface(t)"));
    gpu::Surface& surface = registry().getSurface(surfaceId);
    EXPECT_EQ(surface.pixels(), registry().getTexture(0x04000001).pixels()->data());  // no copy
    EXPECT_EQ(surface.stride, 8u);
    // Uploaded again, then released: the surface still reads the pixels it was given.
    EXPECT_EQ(eval("(other = LX_textureToSurface(LX_initRenderTarget(2, 1, 8)), LX_surfaceCopyTo(other, t))"), "true");
    EXPECT_NE(surface.pixels(), registry().getTexture(0x04000001).pixels()->data());
    eval("LX_release(t)");
    ASSERT_NE(surface.pixels(), nullptr);
    // Surfaces hold alpha, red, green, blue, whatever order the file had.
    EXPECT_EQ(std::vector<uint8_t>(surface.pixels(), surface.pixels() + 8),
              std::vector<uint8_t>({4, 1, 2, 3, 8, 5, 6, 7}));
    EXPECT_EQ(eval("LX_getSurfaceDim(LX_surfaceToTexture(sf)).join()"), "2,1,8");
    EXPECT_EQ(eval("LX_textureToSurface(0)"), "0");
}

TEST_F(EngineTest, RenderTargetSurfaceIsACopy) {
    load(
        "var rt, green, red;\nfunction setup() { rt = LX_initRenderTarget(2, 2, 8);\n"
        "green = LX_initShader('g', 'void main() { gl_FragColor = vec4(0, 1, 0, 1); }');\n"
        "red = LX_initShader('r', 'void main() { gl_FragColor = vec4(1, 0, 0, 1); }'); }\n"
        "function draw() {}\n");
    const uint32_t surfaceId =
        static_cast<uint32_t>(number("LX_renderShader(green, rt), sf = LX_textureToSurface(rt)"));
    eval("LX_renderShader(red, rt)");
    const gpu::Surface& surface = registry().getSurface(surfaceId);
    ASSERT_NE(surface.pixels(), nullptr);
    EXPECT_EQ(surface.width, 2u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(surface.pixels()[i * 4 + 1], 0) << i;    // red stays 0
        EXPECT_EQ(surface.pixels()[i * 4 + 2], 255) << i;  // still green
    }
}

TEST_F(EngineTest, SurfaceFunctionsRefuseWhatTheyCannotUse) {
    load("var rt;\nfunction setup() { rt = LX_initRenderTarget(3, 2, 8); }\nfunction draw() {}\n");
    const uint32_t empty = static_cast<uint32_t>(number("sized = LX_initSurface(3, 2, 16)"));
    EXPECT_EQ(registry().getSurface(empty).stride, 24u);
    EXPECT_EQ(registry().getSurface(empty).pixels(), nullptr);
    EXPECT_EQ(eval("LX_surfaceQuantize(sized, true, 9, 3, 0.5, true)"), "true");
    EXPECT_EQ(eval("LX_surfaceQuantize(LX_initSurface(0, 5, 8), false, 9, 1, 0, false)"), "false");
    EXPECT_EQ(eval("LX_surfaceQuantize(rt, false, 9, 1, 0, false)"), "false");
    EXPECT_EQ(eval("LX_surfaceToTexture(rt)"), "false");
    EXPECT_EQ(eval("LX_surfaceToTexture(sized) != LX_surfaceToTexture(sized)"), "true");
    // No pixels to copy: refused rather than uploading undefined memory.
    EXPECT_EQ(eval("LX_surfaceCopyTo(sized, rt)"), "false");
    EXPECT_EQ(eval("(copy = LX_textureToSurface(rt), LX_surfaceCopyTo(copy, rt))"), "true");
    EXPECT_EQ(eval("LX_surfaceCopyTo(copy, 0x02000001) + ',' + LX_surfaceCopyTo(rt, copy)"), "false,false");
    EXPECT_EQ(eval("LX_release(rt) && LX_surfaceCopyTo(copy, rt)"), "false");
}

TEST_F(EngineTest, SurfaceCopyToWritesRowsFlippedOrNot) {
    // Three rows of one pixel each, told apart by their red byte.
    load(kEmptyScript, {{"rows.tga", tga(1, 3, {10, 0, 0, 255, 20, 0, 0, 255, 30, 0, 0, 255})}});
    eval("(sf = LX_textureToSurface(LX_initTexture('rows.tga')), rt = LX_initRenderTarget(1, 3, 8))");
    gpu::RenderTarget& target = registry().getRenderTarget(0x03000001);
    for (bool flip : {false, true}) {
        EXPECT_EQ(eval(std::string("LX_surfaceCopyTo(sf, rt, ") + (flip ? "true" : "false") + ")"), "true");
        const uint8_t* rows = static_cast<const uint8_t*>(target.beginReadback());
        ASSERT_NE(rows, nullptr);
        const std::vector<int> reds = {rows[1], rows[5], rows[9]};
        target.endReadback();
        EXPECT_EQ(reds, flip ? std::vector<int>({30, 20, 10}) : std::vector<int>({10, 20, 30}));
    }
}

TEST_F(EngineTest, QuantizeWritesIntoTheSurface) {
    // Opaque green and blue: the luma of green (0.7152) is above the
    // threshold, that of blue (0.0722) below.
    load(kEmptyScript, {{"grey.tga", tga(2, 1, {0, 255, 0, 255, 0, 0, 255, 255})}});
    const uint32_t surfaceId = static_cast<uint32_t>(number("sf = LX_textureToSurface(LX_initTexture('grey.tga'))"));
    EXPECT_EQ(eval("LX_surfaceQuantize(sf, false, 1, 1, 0.5, false)"), "true");
    const gpu::Surface& surface = registry().getSurface(surfaceId);
    EXPECT_EQ(std::vector<uint8_t>(surface.pixels(), surface.pixels() + 8),
              std::vector<uint8_t>({255, 255, 255, 255, 255, 0, 0, 0}));
}

TEST_F(EngineTest, FileImagesKeepTheirColoursThroughSurfaces) {
    // An opaque (200, 30, 10) pixel; a float one of (1, 0.5, 0.25): mantissas
    // 128, 64, 32 with exponent 129 - 136.
    const std::string hdr = std::string("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n") + "\x80\x40\x20\x81";
    load(kEmptyScript, {{"red.tga", tga(1, 1, {200, 30, 10, 255})}, {"light.hdr", hdr}});
    eval("(sf = LX_textureToSurface(LX_initTexture('red.tga')), rt = LX_initRenderTarget(1, 1, 8))");
    EXPECT_EQ(eval("LX_surfaceCopyTo(sf, rt, true)"), "true");
    gpu::RenderTarget& target = registry().getRenderTarget(0x03000001);
    const auto* bytes = static_cast<const uint8_t*>(target.beginReadback());
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), std::vector<uint8_t>({255, 200, 30, 10}));
    target.endReadback();

    const uint32_t floatId = static_cast<uint32_t>(number("LX_textureToSurface(LX_initTexture('light.hdr'))"));
    const gpu::Surface& surface = registry().getSurface(floatId);
    ASSERT_EQ(surface.depth, 32u);
    ASSERT_NE(surface.pixels(), nullptr);
    std::vector<float> values(4);
    std::memcpy(values.data(), surface.pixels(), 16);
    EXPECT_EQ(values, std::vector<float>({1.0f, 1.0f, 0.5f, 0.25f}));
}

TEST_F(EngineTest, ShortImageFileGivesATextureWithoutPixels) {
    // A TGA header announcing 64 x 64 pixels of 32 bits and no pixel data.
    load(kEmptyScript, {{"short.tga", tga(64, 64, {})}});
    EXPECT_EQ(eval("(t = LX_initTexture('short.tga'), rt = LX_initRenderTarget(64, 64, 8), LX_getSurfaceDim(t))"),
              "false");
    EXPECT_EQ(eval("LX_surfaceCopyTo(LX_textureToSurface(t), rt)"), "false");
}

TEST_F(EngineTest, NonAsciiFileNamesLoadInAnyLocale) {
    // Script strings are UTF-8; a character beyond U+FFFF written as an
    // escaped surrogate pair names the same file as its UTF-8 form.
    load(
        "var t, s, e;\nfunction setup() { t = LX_initTexture('caf\xc3\xa9.tga');\n"
        "e = LX_initTexture('\\uD83D\\uDE00.tga'); s = LX_initShader('ombr\xc3\xa9'); }\n"
        "function draw() {}\n",
        {{"caf\xc3\xa9.tga", tga(1, 1, {1, 2, 3, 4})},
         {"\xf0\x9f\x98\x80.tga", tga(2, 1, {1, 2, 3, 4, 5, 6, 7, 8})},
         {"ombr\xc3\xa9.frag", "void main() { gl_FragColor = vec4(1.0); }\n"}});
    EXPECT_EQ(eval("LX_getSurfaceDim(t).join() + '|' + LX_getSurfaceDim(e).join()"), "1,1,8|2,1,8");
    EXPECT_EQ(eval("LX_getShaderError(s)"), "");
}

TEST_F(EngineTest, TextureParametersReachTheGLTexture) {
    load(
        "var rt, layer;\nfunction setup() { rt = LX_initRenderTarget(2, 2, 8); "
        "layer = LX_initParam('layer', LX_Type.LAYER); }\nfunction draw() {}\n");
    EXPECT_EQ(eval("LX_setTextureParam(rt, LX_GL.TEXTURE_MIN_FILTER, LX_GL.NEAREST)"), "true");
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, registry().getRenderTarget(0x03000001).glName());
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    EXPECT_EQ(eval("LX_setTextureParam(layer, LX_GL.TEXTURE_WRAP_S, LX_GL.CLAMP_TO_EDGE)"), "true");
    EXPECT_EQ(eval("LX_setTextureParam(0x04000055, 1, 1) + ',' + LX_setTextureParam(0, 1, 1)"), "false,false");
    // The host's layer pixels land in the parameter's texture, shared with a surface.
    const uint8_t pixels[4 * 4] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 2, 3, 4, 5, 6, 7, 8};
    engine().uploadLayer(0, pixels, 2, 2, 8, 8);
    const gpu::Parameter& layer = engine().getParam(0);
    uint32_t glName = 0;
    std::memcpy(&glName, &layer.value[0], sizeof glName);
    EXPECT_EQ(glName, registry().getTexture(layer.textureId).glName());
    const uint32_t surfaceId = static_cast<uint32_t>(number("LX_textureToSurface(layer)"));
    EXPECT_EQ(registry().getSurface(surfaceId).pixels()[0], 9);
}

TEST_F(EngineTest, SixteenBitPixelsKeepTheirLevelThroughSurfaces) {
    // Surfaces hold 16-bit pixels in the host's range (full at 32768); the GL
    // holds them full at 65535. A round trip must not halve or double them.
    load(
        "var rt, copy, white, show, layer;\nfunction setup() { rt = LX_initRenderTarget(2, 1, 16);\n"
        "copy = LX_initRenderTarget(2, 1, 16); layer = LX_initParam('layer', LX_Type.LAYER);\n"
        "white = LX_initShader('w', 'void main() { gl_FragColor = vec4(1.0); }');\n"
        "show = LX_initShader('s', 'uniform sampler2D t; void main() { gl_FragColor = texture2D(t, "
        "gl_TexCoord[0].xy); }'); }\nfunction draw() {}\n");
    auto values = [](const gpu::Surface& s) {
        const auto* v = reinterpret_cast<const uint16_t*>(s.pixels());
        return std::vector<uint16_t>(v, v + 8);
    };
    auto readBack = [](gpu::RenderTarget& target) {
        const auto* v = static_cast<const uint16_t*>(target.beginReadback());
        std::vector<uint16_t> out = v ? std::vector<uint16_t>(v, v + 8) : std::vector<uint16_t>();
        target.endReadback();
        return out;
    };
    const uint32_t fromTarget =
        static_cast<uint32_t>(number("LX_renderShader(white, rt), sf = LX_textureToSurface(rt)"));
    EXPECT_EQ(values(registry().getSurface(fromTarget)), std::vector<uint16_t>(8, 32768));
    // Primaries: white stays white (the image library writes full 16-bit
    // values back as 32767), and goes up again widened to nearly 65535.
    EXPECT_EQ(eval("LX_surfaceQuantize(sf, false, 9, 1, 0, false)"), "true");
    EXPECT_EQ(values(registry().getSurface(fromTarget)), std::vector<uint16_t>(8, 32767));

    EXPECT_EQ(eval("LX_surfaceCopyTo(sf, copy)"), "true");
    EXPECT_EQ(readBack(registry().getRenderTarget(0x03000002)), std::vector<uint16_t>(8, 65532));
    eval("LX_setShaderParamVal(show, 't', LX_surfaceToTexture(sf)), LX_renderShader(show, rt)");
    EXPECT_EQ(readBack(registry().getRenderTarget(0x03000001)), std::vector<uint16_t>(8, 65532));

    const std::vector<uint16_t> half(8, 16384);
    engine().uploadLayer(0, half.data(), 2, 1, 16, 16);
    const uint32_t fromLayer = static_cast<uint32_t>(number("LX_textureToSurface(layer)"));
    EXPECT_EQ(values(registry().getSurface(fromLayer)), half);
}

TEST_F(EngineTest, TextureParameterChoiceSelectsTheTextureTheShaderSamples) {
    load(
        "var pattern, shown = [], show;\n"
        "function setup() {\n"
        "  show = LX_initShader('show', 'uniform sampler2D pattern;\\n"
        "void main() { gl_FragColor = texture2D(pattern, vec2(0.5)); }');\n"
        "  pattern = LX_initParam('pattern', LX_Type.TEXTURE, 'Pattern');\n"
        "  LX_setParamChoices(pattern, 'Red|Green');\n"
        "  ['1.0, 0.0, 0.0, 1.0', '0.0, 1.0, 0.0, 1.0'].forEach(function (rgba) {\n"
        "    var rt = LX_initRenderTarget(1, 1, 8);\n"
        "    LX_renderShader(LX_initShader('solid', 'void main() { gl_FragColor = vec4(' + rgba + '); }'), rt);\n"
        "    shown.push(rt);\n"
        "  });\n"
        "}\n"
        "function draw() {\n"
        "  LX_setParamValue(pattern, shown[LX_getParamValue(pattern) - 1]);\n"
        "  LX_setShaderParam(show, pattern);\n"
        "  LX_renderShader(show, LX_getSequenceRT());\n"
        "}\n");
    for (const uint32_t choice : {2u, 1u}) {
        float value[4] = {0, 0, 0, 0};
        std::memcpy(&value[0], &choice, sizeof choice);  // as the host glue stores a popup's choice
        engine().setParamValue(0, value);
        frame(1, 1);
        EXPECT_EQ(engine().getErrorText(), "");
        EXPECT_EQ(number("LX_getParamValue(pattern)"), choice);
        const std::vector<uint8_t> expected =
            choice == 2 ? std::vector<uint8_t>{255, 0, 255, 0} : std::vector<uint8_t>{255, 255, 0, 0};
        EXPECT_EQ(output(), expected) << choice;
    }
}
