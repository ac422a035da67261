// Kaleido: mirror wedges of the source around the centre into a render
// target (kaleido.frag), then mix that over the original with a small
// shader written here.
var segments, rotation, spin, zoom, offset, source, mixAmount, rings;
var mirror, blend, wedges = 0;

var BLEND_SOURCE =
    "uniform sampler2D pattern;\n" +
    "uniform sampler2D original;\n" +
    "uniform float mixAmount;\n" +
    "void main() {\n" +
    "    vec2 uv = gl_TexCoord[0].xy;\n" +
    "    vec4 k = texture2D(pattern, uv);\n" +
    "    vec4 o = texture2D(original, uv);\n" +
    "    gl_FragColor = vec4(mix(o.rgb, k.rgb, mixAmount), o.a);\n" +
    "}\n";

function setup() {
    segments = LX_initParam("segments", LX_Type.FLOAT, "Segments");
    LX_setParamMinMax(segments, 2, 24);
    LX_setParamValue(segments, 8);
    LX_setParamPrecision(segments, 0);
    rotation = LX_initParam("rotation", LX_Type.ANGLE, "Rotation");
    LX_setParamValue(rotation, 100);
    spin = LX_initParam("spin", LX_Type.FLOAT, "Spin (degrees per second)");
    LX_setParamMinMax(spin, -360, 360);
    LX_setParamValue(spin, 30);
    zoom = LX_initParam("zoom", LX_Type.FLOAT, "Zoom");
    LX_setParamMinMax(zoom, 0.1, 8);
    LX_setParamValue(zoom, 0.45);
    LX_setParamPrecision(zoom, 2);
    // An offset in composition pixels: RemoveScale hands it over at full
    // resolution and square pixels, whatever the render's downsampling.
    offset = LX_initParam("offset", LX_Type.POINT2D, "Source Offset");
    LX_setParamFlags(offset, LX_ParamFlags.RemoveScale);
    rings = LX_initParam("rings", LX_Type.BOOL, "Mirror Rings");
    LX_setParamValue(rings, 1);
    mixAmount = LX_initParam("mixAmount", LX_Type.FLOAT, "Mix");
    LX_setParamMinMax(mixAmount, 0, 1);
    LX_setParamValue(mixAmount, 1);
    LX_setParamPrecision(mixAmount, 2);
    source = LX_initParam("source", LX_Type.LAYER, "Source Layer");

    mirror = LX_initShader("kaleido");
    blend = LX_initShader("kaleido-blend", BLEND_SOURCE);
}

function draw() {
    var out = LX_getSequenceRT();
    var dim = LX_getSurfaceDim(out);
    var input = LX_getSequenceTexture();
    if (wedges == 0 || LX_getSurfaceDim(wedges).join() != dim.join()) {
        LX_release(wedges);
        wedges = LX_initRenderTarget(dim[0], dim[1], dim[2]);
    }

    // Without a source layer the layer's placeholder stays at 2 x 2 pixels:
    // the effect's own input is mirrored then.
    var layerTexture = LX_getParamValue(source);
    var layerDim = LX_getSurfaceDim(layerTexture);
    if (layerDim && layerDim[0] > 2) LX_setShaderParam(mirror, source);
    else LX_setShaderParamVal(mirror, "source", input);

    var extent = LX_getContextExtent();
    var shift = LX_getParamValue(offset);
    var compW = extent[0] > 0 ? extent[0] : dim[0], compH = extent[1] > 0 ? extent[1] : dim[1];
    LX_setShaderParamVal(mirror, "shift", [shift[0] / compW, shift[1] / compH]);
    LX_setShaderParamVal(mirror, "aspect", dim[0] * extent[2] / dim[1]);
    LX_setShaderParamVal(mirror, "turn", LX_getParamValue(rotation) + LX_getParamValue(spin) * LX_getTime());
    var ids = [segments, zoom, rings];
    for (var i = 0; i < ids.length; ++i) LX_setShaderParam(mirror, ids[i]);
    LX_renderShader(mirror, wedges);

    LX_setShaderParam(blend, mixAmount);
    LX_setShaderParamVal(blend, "pattern", wedges);
    LX_setShaderParamVal(blend, "original", input);
    LX_renderShader(blend, out, true);
}
