// Asks for a gigabyte at a time and keeps it: the heap limit must end the
// call before the host runs out of memory.
var kept = [];
function setup() {}
function draw() { for (;;) kept.push(new Uint8Array(1 << 30)); }
