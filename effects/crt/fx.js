// CRT: the picture goes through the tube (screen.frag) into a target of the
// input's size, picks up the fading phosphor trail of the frames before,
// is shrunk twice by linear blits for the glow, and is finally set into a
// bezel that preRender() adds around the layer.
var bezel, curvature, scanlines, mask, convergence, roll, glow, persistence, tint;
var tube, phosphor, compose;
var screenRT = 0, litRT = 0, trailRT = 0, glowRT = 0, haloRT = 0;
var lastTime = -1;

function slider(name, display, min, max, value, digits) {
    var id = LX_initParam(name, LX_Type.FLOAT, display);
    LX_setParamMinMax(id, min, max);
    LX_setParamValue(id, value);
    LX_setParamPrecision(id, digits);
    return id;
}

function setup() {
    bezel = slider("bezel", "Bezel Width", 0, 400, 48, 0);
    LX_setParamFlags(bezel, LX_getParamFlags(bezel) | LX_ParamFlags.ScaleByWidth);
    curvature = slider("curvature", "Curvature", 0, 1, 0.35, 2);
    scanlines = slider("scanlines", "Scanlines", 60, 1200, 300, 0);
    mask = slider("mask", "Shadow Mask", 0, 1, 0.45, 2);
    convergence = LX_initParam("convergence", LX_Type.POINT, "Misconvergence R,G,B");
    LX_setParamValue(convergence, [1.5, 0, -1.5]);
    roll = slider("roll", "Vertical Roll", 0, 2, 0.1, 2);

    LX_initParam("phosphorGroup", LX_Type.GROUP_START, "Phosphor");
    glow = slider("glow", "Glow", 0, 2, 0.6, 2);
    persistence = slider("persistence", "Persistence", 0, 0.95, 0.6, 2);
    tint = LX_initParam("tint", LX_Type.COLOR, "Phosphor Tint");
    LX_setParamValue(tint, [255, 250, 235, 255]);
    LX_initParam("phosphorGroupEnd", LX_Type.GROUP_END, "");

    tube = LX_initShader("screen");
    phosphor = LX_initShader("phosphor");
    compose = LX_initShader("compose");
}

function preRender(w, h) {
    var b = Math.max(0, Math.round(LX_getParamValue(bezel)));
    LX_setOutputExtent(w + 2 * b, h + 2 * b);
}

function fitTarget(id, w, h, depth) {
    var dim = id ? LX_getSurfaceDim(id) : false;
    if (dim && dim[0] == w && dim[1] == h && dim[2] == depth) return id;
    LX_release(id);
    return LX_initRenderTarget(w, h, depth);
}

function draw() {
    var out = LX_getSequenceRT();
    var outDim = LX_getSurfaceDim(out);
    var input = LX_getSequenceTexture();
    var inDim = LX_getSurfaceDim(input);
    var w = inDim[0], h = inDim[1], depth = outDim[2];
    var time = LX_getTime();
    var extent = LX_getContextExtent();    // composition width, height, pixel aspect

    // The trail belongs to the frame before; a jump in time (a seek, or a
    // render out of order) starts it afresh.
    var fresh = trailRT == 0 || time <= lastTime || time - lastTime > 0.25;
    screenRT = fitTarget(screenRT, w, h, depth);
    litRT = fitTarget(litRT, w, h, depth);
    var oldTrail = trailRT;
    trailRT = fitTarget(trailRT, w, h, depth);
    fresh = fresh || trailRT != oldTrail;
    lastTime = time;

    var ids = [curvature, mask, convergence, tint];
    for (var i = 0; i < ids.length; ++i) LX_setShaderParam(tube, ids[i]);
    LX_setShaderParamVal(tube, "src", input);
    LX_setShaderParamVal(tube, "size", [w, h]);
    // Scanlines count over the composition's height, so a layer smaller
    // than the composition or a draft render keeps their spacing.
    // Never under three pixels a line, where they would only make moire.
    var compHeight = extent[1] > 0 ? extent[1] : h;
    LX_setShaderParamVal(tube, "lines", Math.min(LX_getParamValue(scanlines) * h / compHeight, h / 3));
    LX_setShaderParamVal(tube, "aspect", extent[2]);
    LX_setShaderParamVal(tube, "rollOffset", (time * LX_getParamValue(roll)) % 1);
    LX_setShaderParamVal(tube, "time", time);
    LX_renderShader(tube, screenRT);

    // Phosphor: the brighter of this frame and the faded trail.
    LX_setShaderParamVal(phosphor, "current", screenRT);
    LX_setShaderParamVal(phosphor, "trail", trailRT);
    LX_setShaderParamVal(phosphor, "decay", fresh ? 0 : LX_getParamValue(persistence));
    LX_renderShader(phosphor, litRT);
    LX_blitRenderTarget(litRT, trailRT, false, false);

    // Glow: two linear shrinks blur the lit screen cheaply.
    glowRT = fitTarget(glowRT, Math.max(1, w >> 3), Math.max(1, h >> 3), depth);
    haloRT = fitTarget(haloRT, Math.max(1, w >> 5), Math.max(1, h >> 5), depth);
    LX_blitRenderTarget(litRT, glowRT, false, true);
    LX_blitRenderTarget(glowRT, haloRT, false, true);

    // The output's top-left corner in the layer's coordinates: negative by
    // the bezel when preRender() enlarged the output. Where a host gives no
    // origin, the picture sits in the middle.
    var origin = LX_getInputOrigin();
    var x = -origin[0], y = -origin[1];
    if (x <= 0 && y <= 0) {
        x = Math.floor((outDim[0] - w) / 2);
        y = Math.floor((outDim[1] - h) / 2);
    }
    LX_setShaderParam(compose, glow);
    LX_setShaderParamVal(compose, "lit", litRT);
    LX_setShaderParamVal(compose, "near", glowRT);
    LX_setShaderParamVal(compose, "far", haloRT);
    LX_setShaderParamVal(compose, "outSize", [outDim[0], outDim[1]]);
    LX_setShaderParamVal(compose, "screenRect", [x, y, w, h]);
    LX_renderShader(compose, out, true);
}
