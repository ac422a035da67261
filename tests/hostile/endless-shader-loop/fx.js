// A shader whose loops never end by themselves.
var s;
function setup() { s = LX_initShader("endless"); }
function draw() { LX_renderShader(s, LX_getSequenceRT()); }
