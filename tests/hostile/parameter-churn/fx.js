// Declares and releases a parameter on every turn of a long loop: each
// released parameter keeps its place, so the places run out with an error
// instead of growing without end.
function setup() {}
function draw() {
    for (var i = 0; i < 100000; ++i) LX_release(LX_initParam("p" + i, LX_Type.FLOAT, "P"));
}
