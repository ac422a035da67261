// preRender must see the time of the frame it sizes, the time draw() sees;
// red = that time / 10.
var solid, seen = -1;
function setup() { solid = LX_initShader("solid"); }
function preRender(w, h) { seen = LX_getTime(); }
function draw() {
    if (seen != LX_getTime()) throw new Error("preRender saw time " + seen + ", draw " + LX_getTime());
    LX_setShaderParamVal(solid, "r", seen / 10);
    LX_renderShader(solid, LX_getSequenceRT());
}
