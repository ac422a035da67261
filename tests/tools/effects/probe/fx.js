// Mode 1 ("Values"): red = Level, green = Flag, blue = Angle / 360.
// Mode 2 ("Tint"):   the Tint colour.
// Mode 3 ("Where"):  red, green = Spot x / width, y / height.
// Mode 4 ("Matte"):  red, green = the Matte layer's width / 64, height / 64.
// Mode 5 ("Aspect"): red = composition pixel aspect / 4, green, blue =
//                    composition width / 256, height / 256.
// Mode 6 ("Time"):   red = time in seconds / 10.
// Mode 7 ("Place"):  red, green, blue = Place x, y, z / 100.
var level, flag, mode, tint, angle, spot, matte, place, solid;

function setup() {
    level = LX_initParam("level", LX_Type.FLOAT, "Level");
    LX_setParamMinMax(level, 0, 1);
    LX_setParamValue(level, 0.25);
    flag = LX_initParam("flag", LX_Type.BOOL, "Flag");
    mode = LX_initParam("mode", LX_Type.POPUP, "Mode");
    LX_setParamChoices(mode, "Values|Tint|Where|Matte|Aspect|Time|Place");
    LX_setParamValue(mode, 1);
    tint = LX_initParam("tint", LX_Type.COLOR, "Tint");
    LX_setParamValue(tint, [255, 128, 0, 255]);
    angle = LX_initParam("angle", LX_Type.ANGLE, "Angle");
    spot = LX_initParam("spot", LX_Type.POINT2D, "Spot");
    matte = LX_initParam("matte", LX_Type.LAYER, "Matte");
    place = LX_initParam("place", LX_Type.POINT, "Place");
    LX_setParamValue(place, [10, 20, 30]);
    solid = LX_initShader("solid");
}

function draw() {
    var m = LX_getParamValue(mode);
    var c = [LX_getParamValue(level), LX_getParamValue(flag) ? 1 : 0, LX_getParamValue(angle) / 360];
    if (m == 2) {
        c = LX_getParamValue(tint);
    } else if (m == 3) {
        var p = LX_getParamValue(spot);
        var e = LX_getSurfaceDim(LX_getSequenceRT());
        c = [p[0] / e[0], p[1] / e[1], 0];
    } else if (m == 4) {
        var d = LX_getSurfaceDim(LX_getParamValue(matte));
        c = [d[0] / 64, d[1] / 64, 0];
    } else if (m == 5) {
        var x = LX_getContextExtent();
        c = [x[2] / 4, x[0] / 256, x[1] / 256];
    } else if (m == 6) {
        c = [LX_getTime() / 10, 0, 0];
    } else if (m == 7) {
        var q = LX_getParamValue(place);
        c = [q[0] / 100, q[1] / 100, q[2] / 100];
    }
    LX_setShaderParamVal(solid, "r", c[0]);
    LX_setShaderParamVal(solid, "g", c[1]);
    LX_setShaderParamVal(solid, "b", c[2]);
    LX_renderShader(solid, LX_getSequenceRT());
}
