// A surface wider than any image.
function setup() {}
function draw() { LX_initSurface(100000, 100000, 32); }
