// Vantrel: a retro glow. The bright parts of the layer bloom into a tinted
// glow with a light streak along an angle, a light leak shines around a
// point, and the light is broken up by film grain, halftone dots or
// scanlines from the package's tile.png. An optional palette stage reduces
// the result to a few colours on the CPU, with dithering and chunky pixels,
// and Grow enlarges the frame so that the glow can spill past the layer.
//
// Passes per frame, all in output space (the layer centred in the output):
//   bright    input -> half-size target A          threshold with a soft knee
//   blur      A -> B -> glow target C              Gaussian, across then down
//   blur      A -> streak target D                 exponential, along the angle
//   composite input, C, D, tile, layer -> output   (or -> stage target, then
//             textureToSurface, surfaceQuantize, surfaceToTexture, present)

// Palette popup entries and the palette numbers that surfaceQuantize takes.
var PALETTES = [
    ["Off", 0], ["Black and White", 1],
    ["Adaptive 8", 2], ["Adaptive 16", 3], ["Adaptive 32", 4],
    ["Adaptive 64", 5], ["Adaptive 128", 6], ["Adaptive 256", 7],
    ["Primaries 8", 9], ["Primaries 16", 10], ["Soft 16", 11],
    ["Earth 16", 12], ["Earth Grey 16", 13],
    ["Cyan Magenta 4", 14], ["Cyan Magenta Bright 4", 15],
    ["Green Red 4", 16], ["Green Red Bright 4", 17],
    ["Cyan Red 4", 18], ["Cyan Red Bright 4", 19],
    ["Classic 16", 20], ["Vivid 16", 21]
];

// Dither popup entries, their dither numbers and their family.
var DITHERS = [
    ["None", 1, "none"],
    ["Floyd-Steinberg", 3, "diffusion"], ["Jarvis-Judice-Ninke", 4, "diffusion"],
    ["Stucki", 5, "diffusion"], ["Atkinson", 6, "diffusion"], ["Burkes", 7, "diffusion"],
    ["Sierra", 8, "diffusion"], ["Two-Row Sierra", 9, "diffusion"],
    ["Sierra Lite", 10, "diffusion"], ["Stevenson-Arce", 11, "diffusion"],
    ["Ordered 2x2", 13, "ordered"], ["Ordered 4x4", 14, "ordered"],
    ["Ordered 8x8", 15, "ordered"]
];

var TILE_SIZE = 64;  // pixels of tile.png

var P = {};        // parameter ids by name
var shaders = {};  // shader ids by file name
var tile = 0;      // texture from tile.png
var targets = {};  // intermediate render targets by role: {id, w, h, depth}

function param(name, kind, displayName) {
    // An undefined display name would read as the text "undefined".
    P[name] = LX_initParam(name, kind, displayName || "");
    return P[name];
}

function slider(name, displayName, min, max, value, precision, flags) {
    var id = param(name, LX_Type.FLOAT, displayName);
    LX_setParamMinMax(id, min, max);
    LX_setParamValue(id, value);
    // Flags first: they replace the whole word, precision included.
    if (flags) LX_setParamFlags(id, flags);
    LX_setParamPrecision(id, precision);
    return id;
}

function popup(name, displayName, entries, value) {
    var id = param(name, LX_Type.POPUP, displayName);
    var names = [];
    for (var i = 0; i < entries.length; ++i) names.push(entries[i][0]);
    LX_setParamChoices(id, names.join("|"));
    LX_setParamValue(id, value);
    return id;
}

function group(name, displayName, body) {
    param(name + "Start", LX_Type.GROUP_START, displayName);
    body();
    param(name + "End", LX_Type.GROUP_END);
}

function setup() {
    // Sizes in pixels follow the host's downsampling in draft renders.
    var pixels = LX_ParamFlags.ScaleByWidth;
    group("glow", "Glow", function () {
        slider("threshold", "Threshold", 0, 1, 0.8, 2);
        slider("glowRadius", "Glow Radius", 0, 400, 120, 1, pixels);
        slider("intensity", "Intensity", 0, 4, 0.5, 2);
        slider("streakLength", "Streak Length", 0, 1000, 400, 1, pixels);
        LX_setParamValue(param("streakAngle", LX_Type.ANGLE, "Streak Angle"), 20);
        LX_setParamValue(param("tint", LX_Type.COLOR, "Tint"), [255, 168, 84, 255]);
    });
    group("leak", "Light Leak", function () {
        // Hosts may read a point's default as a percentage of the layer and
        // its value as pixels; the top-left corner is the same in both.
        LX_setParamValue(param("leakCentre", LX_Type.POINT2D, "Leak Centre"), [0, 0]);
        slider("leakRadius", "Leak Radius", 0, 4000, 700, 0, pixels);
        slider("leakStrength", "Leak Strength", 0, 1, 0.3, 2);
        popup("textureMode", "Texture", [["Film Grain"], ["Halftone"], ["Scanlines"]], 1);
        slider("textureAmount", "Texture Amount", 0, 1, 0.15, 2);
    });
    group("posterize", "Posterize", function () {
        popup("palette", "Palette", PALETTES, 1);
        popup("dither", "Dither", DITHERS, 2);
        slider("ditherAmount", "Dither Amount", 0, 1, 0.5, 2);
        LX_setParamValue(param("serpentine", LX_Type.BOOL, "Serpentine"), 1);
        param("greyscale", LX_Type.BOOL, "Greyscale");
        slider("pixelSize", "Pixel Size", 1, 32, 1, 0, pixels);
    });
    param("blendLayer", LX_Type.LAYER, "Blend Layer");
    slider("blendAmount", "Blend Amount", 0, 1, 0.5, 2);
    slider("grow", "Grow", 0, 400, 0, 0, pixels);

    var names = ["bright", "blur", "composite", "present"];
    for (var i = 0; i < names.length; ++i) shaders[names[i]] = LX_initShader(names[i]);
    tile = LX_initTexture("tile.png");
    setFilter(tile, LX_GL.LINEAR, LX_GL.REPEAT);
}

function value(name) {
    return LX_getParamValue(P[name]);
}

function setFilter(id, filter, wrap) {
    LX_setTextureParam(id, LX_GL.TEXTURE_MIN_FILTER, filter);
    LX_setTextureParam(id, LX_GL.TEXTURE_MAG_FILTER, filter);
    LX_setTextureParam(id, LX_GL.TEXTURE_WRAP_S, wrap);
    LX_setTextureParam(id, LX_GL.TEXTURE_WRAP_T, wrap);
}

// The render target kept for `role`, made again when the size or depth changes.
function target(role, w, h, depth) {
    var t = targets[role];
    if (!t || t.w != w || t.h != h || t.depth != depth) {
        if (t) LX_release(t.id);
        t = targets[role] = {id: LX_initRenderTarget(w, h, depth), w: w, h: h, depth: depth};
        setFilter(t.id, LX_GL.LINEAR, LX_GL.CLAMP_TO_EDGE);
    }
    return t.id;
}

function entry(table, popupValue) {
    return table[Math.min(Math.max(popupValue, 1), table.length) - 1];
}

function growBy() {
    return Math.max(0, Math.round(value("grow")));
}

function preRender(w, h) {
    var g = growBy();
    if (g > 0) LX_setOutputExtent(w + 2 * g, h + 2 * g);
}

function updateUIFlags() {
    var paletteOn = entry(PALETTES, value("palette"))[1] != 0;
    var family = entry(DITHERS, value("dither"))[2];
    var threshold = entry(PALETTES, value("palette"))[1] == 1;
    LX_setParamEnabled(P.dither, paletteOn);
    LX_setParamEnabled(P.ditherAmount, paletteOn && (family == "ordered" || threshold));
    LX_setParamEnabled(P.serpentine, paletteOn && family == "diffusion");
    LX_setParamEnabled(P.greyscale, paletteOn);
    LX_setParamEnabled(P.pixelSize, paletteOn);
    LX_setParamEnabled(P.streakAngle, value("streakLength") > 0);
    LX_setParamEnabled(P.leakCentre, value("leakStrength") > 0);
    LX_setParamEnabled(P.leakRadius, value("leakStrength") > 0);
}

function blur(source, destination, direction, radius, falloff) {
    var s = shaders.blur;
    LX_setShaderParamVal(s, "source", source);
    LX_setShaderParamVal(s, "direction", direction);
    LX_setShaderParamVal(s, "radius", radius);
    LX_setShaderParamVal(s, "falloff", falloff);
    LX_renderShader(s, destination);
}

// Uniforms that place the input layer in the output.
function placeInput(shader, input, placement) {
    LX_setShaderParamVal(shader, "source", input);
    LX_setShaderParamVal(shader, "outSize", placement.outSize);
    LX_setShaderParamVal(shader, "inSize", placement.inSize);
    LX_setShaderParamVal(shader, "inOffset", placement.inOffset);
}

function draw() {
    var output = LX_getSequenceRT();
    var input = LX_getSequenceTexture();
    var out = LX_getSurfaceDim(output), inDim = LX_getSurfaceDim(input);
    if (!out || !inDim) return;
    var W = out[0], H = out[1], depth = out[2];
    // The host centres the layer in the output with whole-pixel halves.
    var placement = {
        outSize: [W, H], inSize: [inDim[0], inDim[1]],
        inOffset: [Math.floor(W / 2) - Math.floor(inDim[0] / 2), Math.floor(H / 2) - Math.floor(inDim[1] / 2)]
    };
    setFilter(input, LX_GL.LINEAR, LX_GL.CLAMP_TO_EDGE);

    // Glow and streak at half size: cheaper, and the blur reaches twice as far.
    var hw = Math.max(1, Math.ceil(W / 2)), hh = Math.max(1, Math.ceil(H / 2));
    var bright = target("bright", hw, hh, depth), across = target("across", hw, hh, depth);
    var glow = target("glow", hw, hh, depth), streak = target("streak", hw, hh, depth);
    placeInput(shaders.bright, input, placement);
    LX_setShaderParam(shaders.bright, P.threshold);
    LX_renderShader(shaders.bright, bright);
    var radius = value("glowRadius") / 2;
    blur(bright, across, [1, 0], radius, 0);
    blur(across, glow, [0, 1], radius, 0);
    // The angle turns clockwise from the horizontal on screen; target rows
    // run bottom to top.
    var a = value("streakAngle") * Math.PI / 180;
    blur(bright, streak, [Math.cos(a), -Math.sin(a)], value("streakLength") / 2, 1);

    var c = shaders.composite;
    placeInput(c, input, placement);
    LX_setShaderParamVal(c, "glow", glow);
    LX_setShaderParamVal(c, "streak", streak);
    LX_setShaderParamVal(c, "tile", tile);
    LX_setShaderParamVal(c, "tileSize", TILE_SIZE);
    var names = ["intensity", "tint", "leakRadius", "leakStrength", "textureMode", "textureAmount"];
    for (var i = 0; i < names.length; ++i) LX_setShaderParam(c, P[names[i]]);
    var leak = value("leakCentre");
    LX_setShaderParamVal(c, "leakCentre", [leak[0] + placement.inOffset[0], leak[1] + placement.inOffset[1]]);
    var layer = LX_getParamValue(P.blendLayer), layerDim = LX_getSurfaceDim(layer);
    // A layer parameter without a layer holds a 2x2 placeholder.
    var hasLayer = layerDim && (layerDim[0] > 2 || layerDim[1] > 2);
    if (hasLayer) setFilter(layer, LX_GL.LINEAR, LX_GL.CLAMP_TO_EDGE);
    LX_setShaderParamVal(c, "blendLayer", hasLayer ? layer : tile);
    LX_setShaderParamVal(c, "blendMix", hasLayer ? value("blendAmount") : 0);

    var palette = entry(PALETTES, value("palette"))[1];
    if (palette == 0) {
        LX_setShaderParamVal(c, "preBias", 0);
        LX_renderShader(c, output);
        return;
    }
    posterize(c, output, W, H, depth, palette);
}

// Renders the composite into a stage target of Pixel Size blocks, reduces
// it to the palette on the CPU and draws the blocks over the output.
function posterize(composite, output, W, H, depth, palette) {
    var dither = entry(DITHERS, value("dither"));
    // Dither Amount is the threshold of Black and White and twice the
    // strength of an ordered dither with the other palettes.
    var amount = palette == 1 ? value("ditherAmount") : value("ditherAmount") / 2;
    // Ordered dithering only raises values (by the matrix times the strength;
    // a fixed 0.2 for Black and White); lowering them by the mean first keeps
    // the overall brightness.
    var bias = dither[2] != "ordered" ? 0 : (palette == 1 ? 0.1 : amount / 2);
    LX_setShaderParamVal(composite, "preBias", bias);
    var block = Math.max(1, Math.round(value("pixelSize")));
    var stage = target("stage", Math.ceil(W / block), Math.ceil(H / block), depth);
    LX_renderShader(composite, stage);

    var surface = LX_textureToSurface(stage);
    LX_surfaceQuantize(surface, value("greyscale") != 0, palette, dither[1], amount, value("serpentine") != 0);
    var reduced = LX_surfaceToTexture(surface);
    // Nearest filtering keeps the palette's colours and the blocks' edges.
    setFilter(reduced, LX_GL.NEAREST, LX_GL.CLAMP_TO_EDGE);
    LX_setShaderParamVal(shaders.present, "source", reduced);
    LX_renderShader(shaders.present, output);
    LX_release(reduced);
    LX_release(surface);
}
