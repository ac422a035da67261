// Copies a 2 x 2 red surface onto the frame's own output, which keeps the
// frame's size: the host reads back a whole frame of what the effect drew.
var solid, small;
function setup() {
    solid = LX_initShader("solid");
    small = LX_initRenderTarget(2, 2, 8);
}
function draw() {
    LX_setShaderParamVal(solid, "r", 1);
    LX_renderShader(solid, small);
    var s = LX_textureToSurface(small);
    if (!LX_surfaceCopyTo(s, LX_getSequenceRT(), false)) throw new Error("the copy was refused");
    var dim = LX_getSurfaceDim(LX_getSequenceRT());
    if (dim[0] < 3) throw new Error("the output shrank to " + dim);
    LX_release(s);
}
