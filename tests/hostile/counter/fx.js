// Each instance counts its own frames in a hidden parameter and paints
// red = count / 10, so instances that shared their state would count twice.
var count, solid;
function setup() {
    count = LX_initParam("count", LX_Type.FLOAT, "Count");
    LX_setParamFlags(count, 1);  // kept by the effect, not shown to the host
    solid = LX_initShader("solid");
}
function draw() {
    var n = LX_getParamValue(count) + 1;
    LX_setParamValue(count, n);
    LX_setShaderParamVal(solid, "r", n / 10);
    LX_setShaderParamVal(solid, "g", 0);
    LX_setShaderParamVal(solid, "b", 0);
    LX_renderShader(solid, LX_getSequenceRT());
}
