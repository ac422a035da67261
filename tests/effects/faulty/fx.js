// Fault 1 ("None") draws opaque green; 2 ("Throw") throws in draw(); 3
// ("Shader") compiles a shader that does not compile, before the frame.
var fault, solid, broken = 0;

function setup() {
    fault = LX_initParam("fault", LX_Type.POPUP, "Fault");
    LX_setParamChoices(fault, "None|Throw|Shader");
    LX_setParamValue(fault, 1);
    solid = LX_initShader("solid");
}

function preRender(w, h) {
    if (LX_getParamValue(fault) == 3 && !broken) broken = LX_initShader("broken");
}

function draw() {
    if (LX_getParamValue(fault) == 2) throw new Error("fixture fault");
    LX_renderShader(solid, LX_getSequenceRT());
}
