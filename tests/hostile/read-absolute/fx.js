// Climbs to the root and cuts the ".frag" off with a NUL to read a system
// file as a shader; the name must read as a missing file.
function setup() {
    var s = LX_initShader("..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd\u0000");
    var error = LX_getShaderError(s);
    LX_release(s);
    if (error.indexOf("not found") < 0) throw new Error("read a file outside the effect folder: " + error);
}
function draw() {}
