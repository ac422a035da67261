// A parameter of every kind, one of them hidden from the host. The frame is
// one colour made of what the script reads:
//   red   = Amount / 100 (scaled by the downsample in x)
//   green = Centre x / 1000, blue = Centre y / 1000 (host scaling removed)
//   alpha = frames this instance has drawn before, / 8 (a hidden counter)
// updateUIFlags greys Amount out while Enable is off.
var amount, frames, centre, enable, fill;

function setup() {
    LX_initParam("controls", LX_Type.GROUP_START, "Controls");
    amount = LX_initParam("amount", LX_Type.FLOAT, "Amount");
    LX_setParamMinMax(amount, 0, 200);
    LX_setParamValue(amount, 40);
    LX_setParamFlags(amount, LX_ParamFlags.ScaleByWidth);
    frames = LX_initParam("frames", LX_Type.FLOAT, "Frames");
    LX_setParamFlags(frames, 1);
    centre = LX_initParam("centre", LX_Type.POINT2D, "Centre");
    LX_setParamValue(centre, [-0.25, 0.5]);
    LX_setParamFlags(centre, LX_ParamFlags.RemoveScale);
    var angle = LX_initParam("angle", LX_Type.ANGLE, "Angle");
    LX_setParamValue(angle, 0.75);
    var tint = LX_initParam("tint", LX_Type.COLOR, "Tint");
    LX_setParamValue(tint, [255.9, 0, 128, 255]);
    var place = LX_initParam("place", LX_Type.POINT, "Place");
    LX_setParamValue(place, [1.5, -2.5, 3]);
    LX_initParam("matte", LX_Type.LAYER, "Matte");
    var pattern = LX_initParam("pattern", LX_Type.TEXTURE, "Pattern");
    LX_setParamChoices(pattern, "Dots|Lines");
    LX_initParam("path", LX_Type.PATH, "Path");
    enable = LX_initParam("enable", LX_Type.BOOL, "Enable");
    LX_setParamValue(enable, 1);
    var mode = LX_initParam("mode", LX_Type.POPUP, "Mode");
    LX_setParamChoices(mode, "One|Two|Three");
    LX_setParamValue(mode, 2);
    LX_initParam("long", LX_Type.FLOAT, "A display name longer than thirty-one characters");
    LX_initParam("controlsEnd", LX_Type.GROUP_END, "");
    fill = LX_initShader("fill");
}

function updateUIFlags() {
    LX_setParamEnabled(amount, LX_getParamValue(enable) ? true : false);
}

function draw() {
    var n = LX_getParamValue(frames);
    LX_setParamValue(frames, n + 1);
    var c = LX_getParamValue(centre);
    LX_setShaderParamVal(fill, "colour", [LX_getParamValue(amount) / 100, c[0] / 1000, c[1] / 1000, n / 8]);
    LX_renderShader(fill, LX_getSequenceRT());
}
