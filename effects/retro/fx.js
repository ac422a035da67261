// Retro: shrink the picture into a small render target, pull it to the CPU,
// reduce it to a palette with dithering, then show the big pixels, either
// blitted as crisp blocks or drawn as a lit screen grid.
var pixel, palette, dither, amount, serpentine, grayscale, contrast, grid;
var shrink, gridShader;
var small = 0, surface;

// Popup entries and the quantizer's palette and dither numbers they stand for.
var PALETTES = ["Adaptive 8", 2, "Adaptive 16", 3, "Adaptive 32", 4, "Eight Bright", 9,
                "Sixteen Primaries", 10, "Sixteen Pastel", 11, "Sixteen Earth", 12, "Sixteen Muted", 13,
                "Four Cyan Magenta", 14, "Four Cyan Magenta Light", 15, "Four Green Red", 16,
                "Four Green Red Light", 17, "Four Cyan Red", 18, "Four Cyan Red Light", 19,
                "Sixteen Classic", 20, "Sixteen Soft", 21, "Black and White", 1];
var DITHERS = ["None", 1, "Floyd-Steinberg", 3, "Jarvis-Judice-Ninke", 4, "Stucki", 5, "Atkinson", 6,
               "Burkes", 7, "Sierra", 8, "Two-Row Sierra", 9, "Sierra Lite", 10, "Stevenson-Arce", 11,
               "Ordered 2x2", 13, "Ordered 4x4", 14, "Ordered 8x8", 15];

function names(pairs) {
    var out = [];
    for (var i = 0; i < pairs.length; i += 2) out.push(pairs[i]);
    return out.join("|");
}

// The quantizer's number for popup entry `entry` (counted from 1).
function code(pairs, entry) {
    var i = 2 * (entry - 1) + 1;
    return i > 0 && i < pairs.length ? pairs[i] : 0;
}

function popup(name, display, pairs, entry) {
    var id = LX_initParam(name, LX_Type.POPUP, display);
    LX_setParamChoices(id, names(pairs));
    LX_setParamValue(id, entry);
    return id;
}

function slider(name, display, min, max, value, digits) {
    var id = LX_initParam(name, LX_Type.FLOAT, display);
    LX_setParamMinMax(id, min, max);
    LX_setParamValue(id, value);
    LX_setParamPrecision(id, digits);
    return id;
}

function setup() {
    pixel = slider("pixel", "Pixel Size", 1, 64, 6, 1);
    // A size in pixels, scaled with draft resolutions; the precision byte
    // lives in the same flags word, so it is kept by or-ing.
    LX_setParamFlags(pixel, LX_getParamFlags(pixel) | LX_ParamFlags.ScaleByWidth);
    palette = popup("palette", "Palette", PALETTES, 8);
    dither = popup("dither", "Dither", DITHERS, 5);
    amount = slider("amount", "Dither Amount", 0, 1, 0.25, 2);
    serpentine = LX_initParam("serpentine", LX_Type.BOOL, "Serpentine");
    LX_setParamValue(serpentine, 1);
    grayscale = LX_initParam("grayscale", LX_Type.BOOL, "Grayscale");
    contrast = slider("contrast", "Contrast", 0, 2, 1.15, 2);
    grid = LX_initParam("grid", LX_Type.BOOL, "Screen Grid");
    LX_setParamValue(grid, 1);

    shrink = LX_initShader("shrink");
    gridShader = LX_initShader("grid");
    // The grid is a nicety: where its shader does not build, release it (so
    // that the frame does not turn into the error report) and blit instead.
    if (LX_getShaderError(gridShader) != "") {
        LX_release(gridShader);
        gridShader = 0;
    }
    // An empty surface to start with, so that draw() can always release
    // the previous frame's surface before making the next.
    surface = LX_initSurface(0, 0, 8);
}

function updateUIFlags() {
    var d = code(DITHERS, LX_getParamValue(dither));
    var threshold = code(PALETTES, LX_getParamValue(palette)) == 1;
    LX_setParamEnabled(amount, d >= 13 || threshold);
    LX_setParamEnabled(serpentine, d >= 3 && d <= 11);
    LX_setParamEnabled(grid, gridShader != 0);
}

// A render target of the given size and depth, reusing `id` when it fits.
function fitTarget(id, w, h, depth) {
    var dim = id ? LX_getSurfaceDim(id) : false;
    if (dim && dim[0] == w && dim[1] == h && dim[2] == depth) return id;
    LX_release(id);
    return LX_initRenderTarget(w, h, depth);
}

function draw() {
    var out = LX_getSequenceRT();
    var dim = LX_getSurfaceDim(out);
    var size = Math.max(1, LX_getParamValue(pixel));
    var w = Math.max(1, Math.round(dim[0] / size)), h = Math.max(1, Math.round(dim[1] / size));
    small = fitTarget(small, w, h, dim[2]);

    LX_setShaderParam(shrink, contrast);
    LX_setShaderParamVal(shrink, "src", LX_getSequenceTexture());
    LX_setShaderParamVal(shrink, "cell", [1 / w, 1 / h]);
    LX_renderShader(shrink, small);

    LX_release(surface);
    surface = LX_textureToSurface(small);
    LX_surfaceQuantize(surface, LX_getParamValue(grayscale), code(PALETTES, LX_getParamValue(palette)),
                       code(DITHERS, LX_getParamValue(dither)), LX_getParamValue(amount),
                       LX_getParamValue(serpentine));

    if (gridShader && LX_getParamValue(grid)) {
        var blocks = LX_surfaceToTexture(surface);
        LX_setTextureParam(blocks, LX_GL.TEXTURE_MIN_FILTER, LX_GL.NEAREST);
        LX_setTextureParam(blocks, LX_GL.TEXTURE_MAG_FILTER, LX_GL.NEAREST);
        LX_setShaderParamVal(gridShader, "blocks", blocks);
        LX_setShaderParamVal(gridShader, "cells", [w, h]);
        LX_renderShader(gridShader, out, true);
        LX_release(blocks);
    } else {
        // Back into the small target, then a nearest-neighbour blit makes
        // the blocks; flipped so that the picture is upright.
        LX_surfaceCopyTo(surface, small, false);
        LX_blitRenderTarget(small, out, true, false);
    }
}
