/*{
    "DESCRIPTION": "Rings spread from a point and bend the picture; a persistent echo lets the bent picture linger",
    "CREDIT": "Lumivex gallery",
    "ISFVSN": "2",
    "CATEGORIES": ["Lumivex Gallery"],
    "INPUTS": [
        {"NAME": "inputImage", "TYPE": "image"},
        {"NAME": "center", "LABEL": "Centre", "TYPE": "point2D", "DEFAULT": [0.5, 0.5], "MIN": [0.0, 0.0], "MAX": [1.0, 1.0]},
        {"NAME": "amplitude", "LABEL": "Amplitude", "TYPE": "float", "DEFAULT": 0.02, "MIN": 0.0, "MAX": 0.1},
        {"NAME": "rings", "LABEL": "Rings", "TYPE": "float", "DEFAULT": 24.0, "MIN": 2.0, "MAX": 80.0},
        {"NAME": "speed", "LABEL": "Speed", "TYPE": "float", "DEFAULT": 1.5, "MIN": 0.0, "MAX": 6.0},
        {"NAME": "echo", "LABEL": "Echo", "TYPE": "float", "DEFAULT": 0.6, "MIN": 0.0, "MAX": 0.95},
        {"NAME": "tint", "LABEL": "Crest Tint", "TYPE": "color", "DEFAULT": [0.55, 0.8, 1.0, 1.0]}
    ],
    "PASSES": [
        {"TARGET": "trail", "PERSISTENT": true, "FLOAT": true},
        {}
    ]
}*/
void main() {
    vec2 uv = isf_FragNormCoord;
    if (PASSINDEX == 0) {
        vec2 aspect = vec2(RENDERSIZE.x / RENDERSIZE.y, 1.0);
        vec2 d = (uv - center) * aspect;
        float r = length(d);
        float wave = sin(r * rings - TIME * speed * 6.2831853);
        float fade = exp(-r * 3.0);
        vec2 bent = uv + normalize(d + 1e-6) / aspect * wave * amplitude * fade;
        vec4 now = IMG_NORM_PIXEL(inputImage, bent);
        now.rgb += tint.rgb * max(wave, 0.0) * fade * amplitude * 6.0;
        vec4 before = IMG_THIS_NORM_PIXEL(trail);
        gl_FragColor = FRAMEINDEX == 0 ? now : mix(now, before, echo);
    } else {
        gl_FragColor = IMG_THIS_NORM_PIXEL(trail);
    }
}
