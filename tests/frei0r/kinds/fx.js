// A parameter of every kind. Show 1 ("Image") draws the input at its place
// in the output: mixed with Tint by Place x / 10, times Gain, plus
// 0.1 sin(Turn) cos(6 u) and 0.2 fract(time / 7), inverted by Invert, with a
// magenta dot at Spot; Tint fills the border Grow adds. Show 2 ("Values")
// fills three bands, left to right, with what the script reads:
//   ((Gain + 2) / 8, Turn / 360, Invert, Spot x / 64)
//   (Tint red, green, blue, Spot y / 64)
//   ((Place x + 4) / 8, (Place y + 4) / 8, (Place z + 4) / 8, Show / 8)
// Show 3 ("Probe") fills the frame with (r / 255, t / 255, 0, 1), r and t
// the serials a new render target and texture get (they grow with every
// entity left alive). 4 ("Throw") throws from draw(); 5 ("Shader") makes a
// shader that does not compile.
var gain, turn, tint, spot, place, invert, show, grow, image, fill, broken = 0;
var size = [0, 0];

function setup() {
    LX_initParam("controls", LX_Type.GROUP_START, "Controls");
    gain = LX_initParam("gain", LX_Type.FLOAT, "Gain");
    LX_setParamMinMax(gain, -2, 6);
    LX_setParamValue(gain, 1);
    turn = LX_initParam("turn", LX_Type.ANGLE, "Turn");
    LX_setParamValue(turn, 90);
    tint = LX_initParam("tint", LX_Type.COLOR, "Tint");
    LX_setParamValue(tint, [255, 128, 0, 255]);
    spot = LX_initParam("spot", LX_Type.POINT2D, "Spot");
    LX_setParamValue(spot, [8, 4]);
    place = LX_initParam("place", LX_Type.POINT, "Place");
    LX_setParamValue(place, [1.5, -2.5, 3]);
    invert = LX_initParam("invert", LX_Type.BOOL, "Invert");
    show = LX_initParam("show", LX_Type.POPUP, "Show");
    LX_setParamChoices(show, "Image|Values|Probe|Throw|Shader");
    LX_setParamValue(show, 1);
    grow = LX_initParam("grow", LX_Type.FLOAT, "Grow");
    LX_setParamMinMax(grow, 0, 64);
    LX_setParamValue(grow, 0);
    LX_initParam("matte", LX_Type.LAYER, "Matte");
    var hidden = LX_initParam("hidden", LX_Type.FLOAT, "Hidden");
    LX_setParamFlags(hidden, 1);
    LX_initParam("controlsEnd", LX_Type.GROUP_END, "");
    image = LX_initShader("image");
    fill = LX_initShader("fill");
}

function preRender(w, h) {
    var g = Math.round(LX_getParamValue(grow));
    size = [w + g, h + g];
    if (g > 0) LX_setOutputExtent(size[0], size[1]);
    if (LX_getParamValue(show) == 5 && !broken) broken = LX_initShader("broken");
}

function serial(id) {
    LX_release(id);
    return (id & 0xFFFFFF) / 255;
}

function bands(left, middle, right) {
    LX_setShaderParamVal(fill, "left", left);
    LX_setShaderParamVal(fill, "middle", middle);
    LX_setShaderParamVal(fill, "right", right);
    LX_renderShader(fill, LX_getSequenceRT(), true);
}

function draw() {
    var s = LX_getParamValue(show);
    if (s == 4) throw new Error("kinds fault");
    if (s == 3) {
        var probe = [serial(LX_initRenderTarget(1, 1, 8)), serial(LX_initTexture("absent.png")), 0, 1];
        bands(probe, probe, probe);
        return;
    }
    var p = LX_getParamValue(spot), q = LX_getParamValue(place), c = LX_getParamValue(tint);
    if (s == 2) {
        bands([(LX_getParamValue(gain) + 2) / 8, LX_getParamValue(turn) / 360, LX_getParamValue(invert), p[0] / 64],
              [c[0], c[1], c[2], p[1] / 64],
              [(q[0] + 4) / 8, (q[1] + 4) / 8, (q[2] + 4) / 8, s / 8]);
        return;
    }
    var input = LX_getSequenceTexture();
    LX_setTextureParam(input, LX_GL.TEXTURE_MIN_FILTER, LX_GL.NEAREST);
    LX_setTextureParam(input, LX_GL.TEXTURE_MAG_FILTER, LX_GL.NEAREST);
    var o = LX_getInputOrigin();
    var inW = size[0] - Math.round(LX_getParamValue(grow)), inH = size[1] - Math.round(LX_getParamValue(grow));
    LX_setShaderParamVal(image, "source", input);
    LX_setShaderParamVal(image, "place", [-o[0], -o[1], inW, inH]);
    LX_setShaderParamVal(image, "outSize", size);
    LX_setShaderParamVal(image, "tint", [c[0], c[1], c[2], Math.min(Math.max(q[0] / 10, 0), 1)]);
    LX_setShaderParamVal(image, "shape", [LX_getParamValue(gain), LX_getParamValue(turn) * Math.PI / 180,
                                          LX_getParamValue(invert), LX_getTime()]);
    LX_setShaderParamVal(image, "spot", [p[0] - o[0], p[1] - o[1]]);
    LX_renderShader(image, LX_getSequenceRT(), true);
}
