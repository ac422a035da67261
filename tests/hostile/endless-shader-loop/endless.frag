void main() {
    float x = 0.0;
    while (x >= 0.0) {
        x += 1.0;
        for (;;) x += 1.0;
    }
    gl_FragColor = vec4(fract(x));
}
