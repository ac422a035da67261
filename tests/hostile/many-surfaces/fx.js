// Makes surfaces without end in one draw().
function setup() {}
function draw() { for (var i = 0; i < 100000; ++i) LX_initSurface(1, 1, 8); }
