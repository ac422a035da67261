#version 120
#line 900000
uniform vec2 RENDERSIZE;
uniform float TIME;
uniform float TIMEDELTA;
uniform int FRAMEINDEX;
uniform vec4 DATE;
uniform int PASSINDEX;
vec2 isf_FragNormCoord;
uniform vec2 center;
uniform float amplitude;
uniform float rings;
uniform float speed;
uniform float echo;
uniform vec4 tint;
uniform sampler2D inputImage;
uniform vec2 _inputImage_imgSize;
uniform vec4 _inputImage_imgRect;
uniform bool _inputImage_flip;
uniform sampler2D trail;
uniform vec2 _trail_imgSize;
uniform vec4 _trail_imgRect;
uniform bool _trail_flip;
vec4 lx_FragCoord;
vec2 lx_flipY(vec2 uv) { return vec2(uv.x, 1.0 - uv.y); }
vec4 lx_texture(sampler2D s, vec2 uv) { return texture2D(s, lx_flipY(uv)); }
vec4 lx_texture(sampler2D s, vec2 uv, float bias) { return texture2D(s, lx_flipY(uv)); }
#line 0
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
void lx_isf_main() {
    vec2 uv = isf_FragNormCoord;
    if (PASSINDEX == 0) {
        vec2 aspect = vec2(RENDERSIZE.x / RENDERSIZE.y, 1.0);
        vec2 d = (uv - center) * aspect;
        float r = length(d);
        float wave = sin(r * rings - TIME * speed * 6.2831853);
        float fade = exp(-r * 3.0);
        vec2 bent = uv + normalize(d + 1e-6) / aspect * wave * amplitude * fade;
        vec4 now = lx_texture(inputImage,  bent);
        now.rgb += tint.rgb * max(wave, 0.0) * fade * amplitude * 6.0;
        vec4 before = lx_texture(trail, isf_FragNormCoord);
        gl_FragColor = FRAMEINDEX == 0 ? now : mix(now, before, echo);
    } else {
        gl_FragColor = lx_texture(trail, isf_FragNormCoord);
    }
}

#line 900000
void main() {
    lx_FragCoord = vec4(gl_TexCoord[0].x * RENDERSIZE.x, (1.0 - gl_TexCoord[0].y) * RENDERSIZE.y, gl_FragCoord.zw);
    isf_FragNormCoord = lx_FragCoord.xy / RENDERSIZE;
    lx_isf_main();
}
