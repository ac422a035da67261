// One declaration of thousands of uniforms.
var s;
function setup() {
    var names = [];
    for (var i = 0; i < 10000; ++i) names.push("u" + i);
    s = LX_initShader("many", "uniform float " + names.join(", ") + ";\nvoid main() { gl_FragColor = vec4(u0); }\n");
}
function draw() { LX_renderShader(s, LX_getSequenceRT()); }
