// Show 1 ("Probe") fills the frame with (r / 255, t / 255, Mark, 1), where r
// and t are the serials a new render target and a new texture get: the
// lowest free ones, so they grow with every entity left alive. Show 2
// ("Matte") draws the Matte layer texel for texel. A Mark of 1 throws from
// draw(), for the instance that has it.
var show, mark, matte, fill, copy;

function setup() {
    show = LX_initParam("show", LX_Type.POPUP, "Show");
    LX_setParamChoices(show, "Probe|Matte");
    LX_setParamValue(show, 1);
    mark = LX_initParam("mark", LX_Type.FLOAT, "Mark");
    LX_setParamMinMax(mark, 0, 1);
    LX_setParamPrecision(mark, 6);
    matte = LX_initParam("matte", LX_Type.LAYER, "Matte");
    fill = LX_initShader("fill");
    copy = LX_initShader("copy");
}

function serial(id) {
    LX_release(id);
    return (id & 0xFFFFFF) / 255;
}

function draw() {
    if (LX_getParamValue(mark) >= 1) throw new Error("probe marked");
    if (LX_getParamValue(show) == 2) {
        var layer = LX_getParamValue(matte);
        LX_setTextureParam(layer, LX_GL.TEXTURE_MIN_FILTER, LX_GL.NEAREST);
        LX_setTextureParam(layer, LX_GL.TEXTURE_MAG_FILTER, LX_GL.NEAREST);
        LX_setShaderParamVal(copy, "source", layer);
        LX_renderShader(copy, LX_getSequenceRT(), true);
        return;
    }
    var target = serial(LX_initRenderTarget(1, 1, 8));
    var texture = serial(LX_initTexture("absent.png"));
    LX_setShaderParamVal(fill, "colour", [target, texture, LX_getParamValue(mark), 1]);
    LX_renderShader(fill, LX_getSequenceRT());
}
