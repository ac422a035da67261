// A draw() that never returns: the time limit must end it.
function setup() {}
function draw() { while (true) {} }
