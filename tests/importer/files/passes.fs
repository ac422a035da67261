/*{
    "DESCRIPTION": "A half-size pass that records its own size, a float target that counts frames, the month",
    "INPUTS": [],
    "PASSES": [
        {"TARGET": "halfsize", "WIDTH": "$WIDTH / 2", "HEIGHT": "floor($HEIGHT / 2)"},
        {"TARGET": "count", "PERSISTENT": true, "FLOAT": true},
        {}
    ]
}*/
#version 150
uniform int PASSINDEX;
void main() {
    if (PASSINDEX == 0) {
        gl_FragColor = vec4(RENDERSIZE / 100.0, 0.0, 1.0);
    } else if (PASSINDEX == 1) {
        gl_FragColor = IMG_THIS_NORM_PIXEL(count) + vec4(0.0, 0.0, 1.0 / 16.0, 0.0);
    } else {
        vec4 half_ = IMG_NORM_PIXEL(halfsize, isf_FragNormCoord);
        gl_FragColor = vec4(half_.r, float(FRAMEINDEX) / 16.0, IMG_THIS_NORM_PIXEL(count).b, IMG_SIZE(halfsize).x / 100.0 + DATE.y / 100.0);
    }
}
