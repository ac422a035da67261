// A regular expression nested 20000 groups deep: the compiler's recursion
// must end with an error before the stack does.
function setup() {}
function draw() { new RegExp(new Array(20001).join('(') + 'a' + new Array(20001).join(')')); }
