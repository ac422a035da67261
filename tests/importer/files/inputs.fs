/*{
    "DESCRIPTION": "Either a flat colour or the layer moved by an offset in pixels, scaled by a gain",
    "CREDIT": "Lumivex tests",
    "ISFVSN": "2",
    "CATEGORIES": ["Test"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image"},
        {"NAME": "tint", "LABEL": "Tint", "TYPE": "color", "DEFAULT": [0.0, 0.0, 1.0, 1.0]},
        {"NAME": "offset", "LABEL": "Offset", "TYPE": "point2D", "DEFAULT": [0.0, 0.0], "MAX": [64.0, 64.0]},
        {"NAME": "mode", "LABEL": "Mode", "TYPE": "long", "VALUES": [0, 7, 9], "LABELS": ["Tint", "Shift", "Centre"], "DEFAULT": 0},
        {"NAME": "centre", "LABEL": "Centre", "TYPE": "point2D", "DEFAULT": [0.5, 0.75], "MIN": [0.0, 0.0], "MAX": [1.0, 1.0]},
        {"NAME": "gain", "LABEL": "Gain", "TYPE": "float", "DEFAULT": 1.0, "MIN": 0.0, "MAX": 2.0},
        {"NAME": "invert", "LABEL": "Invert", "TYPE": "bool", "DEFAULT": false},
        {"NAME": "flash", "LABEL": "Flash", "TYPE": "event"},
    ]
}*/
// main() shows the tint or the moved layer; texture2D(inputImage, uv) would read it too.
void main() {
    vec4 c = mode == 7 ? IMG_PIXEL(inputImage, gl_FragCoord.xy + offset) * gain : tint;
    if (mode == 9) c = vec4(centre, 0.0, 1.0);
    gl_FragColor = flash ? vec4(1.0) : invert ? vec4(1.0 - c.rgb, c.a) : c;
}
