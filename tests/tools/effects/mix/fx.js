// out = in * Gain + Add (red, green, blue); alpha as it comes. The input
// texture holds the host's top row first: the pass is drawn flipped.
var gain, add, mix;

function setup() {
    gain = LX_initParam("gain", LX_Type.FLOAT, "Gain");
    LX_setParamMinMax(gain, 0, 4);
    LX_setParamValue(gain, 1);
    add = LX_initParam("add", LX_Type.FLOAT, "Add");
    LX_setParamMinMax(add, -1, 1);
    mix = LX_initShader("mix");
}

function draw() {
    var input = LX_getSequenceTexture();
    LX_setTextureParam(input, LX_GL.TEXTURE_MIN_FILTER, LX_GL.NEAREST);
    LX_setTextureParam(input, LX_GL.TEXTURE_MAG_FILTER, LX_GL.NEAREST);
    LX_setShaderParamVal(mix, "source", input);
    LX_setShaderParamVal(mix, "gain", LX_getParamValue(gain));
    LX_setShaderParamVal(mix, "add", LX_getParamValue(add));
    LX_renderShader(mix, LX_getSequenceRT(), true);
}
