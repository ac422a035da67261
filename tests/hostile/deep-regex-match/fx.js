// A match that recurses once per character of a 20000-character input.
function setup() {}
function draw() { /(a|b)*c/.exec(new Array(10001).join('ab')); }
