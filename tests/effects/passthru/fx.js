// Draws the input layer into the output, texel for texel. The input texture
// holds the host's top row first, where the target's readback expects its
// bottom row: the pass is drawn flipped.
var copy;

function setup() {
    copy = LX_initShader("copy");
}

function draw() {
    var input = LX_getSequenceTexture();
    LX_setTextureParam(input, LX_GL.TEXTURE_MIN_FILTER, LX_GL.NEAREST);
    LX_setTextureParam(input, LX_GL.TEXTURE_MAG_FILTER, LX_GL.NEAREST);
    LX_setShaderParamVal(copy, "source", input);
    LX_renderShader(copy, LX_getSequenceRT(), true);
}
