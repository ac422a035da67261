// Asks for an output wider than any render target; at a pixel aspect of
// 2/1 the editing host's scaled width once wrapped to a negative one.
var solid;
function setup() { solid = LX_initShader("solid"); }
function preRender(w, h) { LX_setOutputExtent(2000000000, h); }
function draw() { LX_renderShader(solid, LX_getSequenceRT()); }
