// The output is the input's size plus (Grow X, Grow Y) pixels, filled with
// opaque magenta.
var growX, growY, solid;

function setup() {
    growX = LX_initParam("growx", LX_Type.FLOAT, "Grow X");
    LX_setParamMinMax(growX, -1000, 1000);
    growY = LX_initParam("growy", LX_Type.FLOAT, "Grow Y");
    LX_setParamMinMax(growY, -1000, 1000);
    solid = LX_initShader("solid");
}

function preRender(w, h) {
    LX_setOutputExtent(w + LX_getParamValue(growX), h + LX_getParamValue(growY));
}

function draw() {
    LX_renderShader(solid, LX_getSequenceRT());
}
