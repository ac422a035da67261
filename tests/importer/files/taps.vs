#define TAPS 3
varying vec2 taps[TAPS];
void main() {
    isf_vertShaderInit();
    for (int i = 0; i < TAPS; ++i)
        taps[i] = isf_FragNormCoord + vec2(0.0, float(i) / RENDERSIZE.y);
}
