// The first row of the output render target gets the colour (Red, Green,
// Blue, Alpha); every other row is transparent black.
var red, green, blue, alpha, rows;

function channel(name) {
    var id = LX_initParam(name.toLowerCase(), LX_Type.FLOAT, name);
    LX_setParamMinMax(id, 0, 1);
    LX_setParamPrecision(id, 6);
    return id;
}

function setup() {
    red = channel("Red");
    green = channel("Green");
    blue = channel("Blue");
    alpha = channel("Alpha");
    rows = LX_initShader("rows");
}

function draw() {
    LX_setShaderParamVal(rows, "fill", [LX_getParamValue(red), LX_getParamValue(green), LX_getParamValue(blue),
                                        LX_getParamValue(alpha)]);
    LX_renderShader(rows, LX_getSequenceRT());
}
