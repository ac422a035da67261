/*{
    "DESCRIPTION": "Two 1x1 persistent targets gaining 0.3/255 a frame: an 8-bit one, where the step rounds away, and a float one",
    "PASSES": [
        {"TARGET": "bytes", "PERSISTENT": true, "WIDTH": 1, "HEIGHT": 1},
        {"TARGET": "floats", "PERSISTENT": true, "FLOAT": true, "WIDTH": 1, "HEIGHT": 1},
        {}
    ]
}*/
void main() {
    vec4 bytes_ = IMG_NORM_PIXEL(bytes, vec2(0.5)), floats_ = IMG_NORM_PIXEL(floats, vec2(0.5));
    if (PASSINDEX == 0) gl_FragColor = bytes_ + vec4(0.3 / 255.0);
    else if (PASSINDEX == 1) gl_FragColor = floats_ + vec4(0.3 / 255.0);
    else gl_FragColor = vec4(bytes_.r, floats_.r, 0.0, 1.0);
}
