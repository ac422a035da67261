// A shader that enables an extension and reads a texture.
var s;
function setup() { s = LX_initShader("lod"); }
function draw() {
    LX_setShaderParam(s, "tex", LX_getSequenceTexture());
    LX_renderShader(s, LX_getSequenceRT());
}
