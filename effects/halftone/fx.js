// Halftone: one shader pass from the input layer to the output, with a
// tiling paper texture from the package.
var cell, angle, shape, mono, ink, paper, grain;
var screen, paperTexture;

function setup() {
    cell = LX_initParam("cell", LX_Type.FLOAT, "Cell Size");
    LX_setParamMinMax(cell, 2, 64);
    LX_setParamValue(cell, 9);
    // A size in pixels: the host scales it down with draft resolutions. The
    // flags word is replaced whole, so the precision is set after it.
    LX_setParamFlags(cell, LX_getParamFlags(cell) | LX_ParamFlags.ScaleByWidth);
    LX_setParamPrecision(cell, 1);

    angle = LX_initParam("angle", LX_Type.ANGLE, "Screen Angle");
    LX_setParamValue(angle, 15);
    shape = LX_initParam("shape", LX_Type.POPUP, "Dot Shape");
    LX_setParamChoices(shape, "Dots|Lines|Squares");
    LX_setParamValue(shape, 1);
    mono = LX_initParam("mono", LX_Type.BOOL, "Single Ink");
    LX_setParamValue(mono, 0);
    ink = LX_initParam("ink", LX_Type.COLOR, "Ink");
    LX_setParamValue(ink, [20, 24, 60, 255]);
    paper = LX_initParam("paper", LX_Type.COLOR, "Paper");
    LX_setParamValue(paper, [246, 240, 226, 255]);
    grain = LX_initParam("grain", LX_Type.FLOAT, "Paper Grain");
    LX_setParamMinMax(grain, 0, 1);
    LX_setParamValue(grain, 0.35);
    LX_setParamPrecision(grain, 2);

    screen = LX_initShader("halftone");
    paperTexture = LX_initTexture("paper.png");
    LX_setTextureParam(paperTexture, LX_GL.TEXTURE_WRAP_S, LX_GL.REPEAT);
    LX_setTextureParam(paperTexture, LX_GL.TEXTURE_WRAP_T, LX_GL.REPEAT);
    LX_setTextureParam(paperTexture, LX_GL.TEXTURE_MIN_FILTER, LX_GL.LINEAR);
    LX_setTextureParam(paperTexture, LX_GL.TEXTURE_MAG_FILTER, LX_GL.LINEAR);
}

function updateUIFlags() {
    // The ink colour only matters for single-ink print.
    LX_setParamEnabled(ink, LX_getParamValue(mono));
}

// Sets a uniform only when the compiled shader kept it: the GL compiler
// drops uniforms that do not affect the result.
function setIfUsed(shader, name, value) {
    if (LX_getShaderParamType(shader, name) != LX_Type.UNKNOWN) LX_setShaderParamVal(shader, name, value);
}

function draw() {
    var out = LX_getSequenceRT();
    var dim = LX_getSurfaceDim(out);
    var ids = [cell, angle, shape, mono, ink, paper, grain];
    for (var i = 0; i < ids.length; ++i) LX_setShaderParam(screen, ids[i]);
    LX_setShaderParamVal(screen, "src", LX_getSequenceTexture());
    setIfUsed(screen, "paperTex", paperTexture);
    setIfUsed(screen, "size", [dim[0], dim[1]]);
    // Flipped: texture coordinates then run down the picture like the
    // host's rows, so the output comes out upright.
    LX_renderShader(screen, out, true);
}
