// Pixel Sort: streaks in the look of sorted pixels. Within a brightness
// band, brighter pixels are pulled downstream over the darker ones: a few
// passes with doubling reach (streak.frag) smear each bright pixel over a
// run of up to Streak Length pixels, ping-ponging between two targets.
var direction, length, low, high, drift;
var streak, ping = 0, pong = 0;

// Popup entries: the downstream step.
var DIRECTIONS = [[0, 1], [0, -1], [1, 0], [-1, 0]];

function slider(name, display, min, max, value, digits) {
    var id = LX_initParam(name, LX_Type.FLOAT, display);
    LX_setParamMinMax(id, min, max);
    LX_setParamValue(id, value);
    LX_setParamPrecision(id, digits);
    return id;
}

function setup() {
    direction = LX_initParam("direction", LX_Type.POPUP, "Direction");
    LX_setParamChoices(direction, "Down|Up|Right|Left");
    LX_setParamValue(direction, 3);
    length = slider("length", "Streak Length", 0, 1024, 360, 0);
    LX_setParamFlags(length, LX_getParamFlags(length) | LX_ParamFlags.ScaleByWidth);
    low = slider("low", "Band Low", 0, 1, 0.25, 2);
    high = slider("high", "Band High", 0, 1, 0.97, 2);
    drift = slider("drift", "Band Drift (per second)", 0, 1, 0.1, 2);
    streak = LX_initShader("streak");
}

function fitTarget(id, dim) {
    var have = id ? LX_getSurfaceDim(id) : false;
    if (have && have.join() == dim.join()) return id;
    LX_release(id);
    return LX_initRenderTarget(dim[0], dim[1], dim[2]);
}

function draw() {
    var out = LX_getSequenceRT();
    var dim = LX_getSurfaceDim(out);
    ping = fitTarget(ping, dim);
    pong = fitTarget(pong, dim);
    var d = DIRECTIONS[Math.max(0, Math.min(3, LX_getParamValue(direction) - 1))];
    // The band's lower edge wanders over time, so streaks grow and shrink.
    var wobble = LX_getParamValue(drift) * Math.sin(LX_getTime() * 2.1);
    LX_setShaderParamVal(streak, "low", Math.max(0, LX_getParamValue(low) + wobble));
    LX_setShaderParam(streak, high);
    LX_setShaderParamVal(streak, "size", [dim[0], dim[1]]);
    LX_setShaderParamVal(streak, "step", d);

    var source = LX_getSequenceTexture(), target = ping;
    var left = Math.round(LX_getParamValue(length));
    for (var reach = 1; left > 0; reach *= 2) {
        LX_setShaderParamVal(streak, "src", source);
        LX_setShaderParamVal(streak, "reach", Math.min(reach, left));
        LX_renderShader(streak, target);
        left -= reach;
        source = target;
        target = target == ping ? pong : ping;
    }
    // The passes ran unflipped; a last copy (reach 0) puts the picture
    // upright into the output.
    LX_setShaderParamVal(streak, "src", source);
    LX_setShaderParamVal(streak, "reach", 0);
    LX_renderShader(streak, out, true);
}
