/*{
    "DESCRIPTION": "Three taps a pixel apart, their coordinates computed per vertex in an array as blurs do",
    "INPUTS": [{"NAME": "inputImage", "TYPE": "image"}]
}*/
varying vec2 taps[3];
void main() {
    gl_FragColor = (IMG_NORM_PIXEL(inputImage, taps[0]) + IMG_NORM_PIXEL(inputImage, taps[1]) +
                    IMG_NORM_PIXEL(inputImage, taps[2])) / 3.0;
}
