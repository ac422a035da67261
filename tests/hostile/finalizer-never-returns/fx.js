// A finalizer that never returns, on an object that lives until the heap is
// destroyed (at exit or reload): finalizers are refused, so nothing hangs.
var kept = {};
function setup() { Duktape.fin(kept, function () { while (true) {} }); }
function draw() {}
