// Reads its own shader through "..": a package could never hold that name,
// so the loose folder refuses it too.
var s;
function setup() { s = LX_initShader("..\\read-dotdot\\solid"); }
function draw() { LX_renderShader(s, LX_getSequenceRT()); }
