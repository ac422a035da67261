// valueOf that converts its own object again: every level re-enters the
// engine on the native stack.
var o = { valueOf: function () { return +o; } };
function setup() {}
function draw() { return +o; }
