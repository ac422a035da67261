#if __VERSION__ <= 120
varying vec2 halfway;
#else
out vec2 halfway;
#endif
void main() {
    isf_vertShaderInit();
    halfway = isf_FragNormCoord * 0.5;
}
