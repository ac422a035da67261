/*{
    "DESCRIPTION": "A varying declared for old and new GLSL alike, in both branches of a version test"
}*/
#if __VERSION__ <= 120
varying vec2 halfway;
#else
in vec2 halfway;
#endif
void main() {
    gl_FragColor = vec4(halfway, 0.0, 1.0);
}
