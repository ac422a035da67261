// The runner's control case: a frame copied through, no error.
function setup() {}
function draw() { LX_blitRenderTarget(LX_getSequenceTexture(), LX_getSequenceRT()); }
