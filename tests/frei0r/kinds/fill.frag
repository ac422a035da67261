uniform vec4 left;
uniform vec4 middle;
uniform vec4 right;
void main() {
    float x = gl_TexCoord[0].x;
    gl_FragColor = x < 1.0 / 3.0 ? left : (x < 2.0 / 3.0 ? middle : right);
}
