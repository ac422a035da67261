// One built-in call that loops two billion times without running script
// code: the time limit must stop it from inside.
function setup() {}
function draw() { Array.prototype.lastIndexOf.call({ length: 2147483647 }, 1); }
