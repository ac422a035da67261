// "x.png" followed by a NUL and more: no such file, whatever comes before the NUL.
function setup() {}
function draw() {
    var t = LX_initTexture("x.png\u0000.jpg");
    if (LX_setTextureParam(t, LX_GL.TEXTURE_MIN_FILTER, LX_GL.LINEAR)) throw new Error("read a file cut at a NUL");
    if (!LX_setTextureParam(LX_initTexture("x.png"), LX_GL.TEXTURE_MIN_FILTER, LX_GL.LINEAR))
        throw new Error("x.png itself should load");
}
