/*{
    "DESCRIPTION": "An imported picture read through a coordinate the vertex stage shifts",
    "IMPORTED": {"pic": {"PATH": "pic.png"}}
}*/
varying vec2 shifted;
void main() {
    gl_FragColor = IMG_NORM_PIXEL(pic, shifted);
}
