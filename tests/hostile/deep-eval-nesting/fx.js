// Source nested 3000 parentheses deep, compiled at run time.
function setup() {}
function draw() { eval(new Array(3001).join('(') + '1' + new Array(3001).join(')')); }
