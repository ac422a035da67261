// A float render target of 16384 x 16384 texels is the whole GPU memory
// bound (4 GiB) on its own; beside the frame's own target it passes it.
function setup() {}
function draw() { LX_initRenderTarget(16384, 16384, 32); }
