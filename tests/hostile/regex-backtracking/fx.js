// Exponential backtracking inside one built-in call: the time limit must
// reach into the regular-expression matcher.
var s = '';
function setup() { for (var i = 0; i < 40; ++i) s += 'a'; }
function draw() { for (var i = 0; i < 4; ++i) /(a|aa)*b/.exec(s); }
