uniform vec4 fill;
void main() { gl_FragColor = gl_FragCoord.y < 1.0 ? fill : vec4(0.0); }
