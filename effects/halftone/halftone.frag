// Print screening. Each ink is laid on its own rotated grid of cells; a
// cell's dot grows with the ink the picture needs at the cell's centre.
uniform sampler2D src;
uniform sampler2D paperTex;
uniform vec2 size;     // output size in pixels
uniform float cell;    // cell size in pixels
uniform float angle;   // screen angle in degrees
uniform int shape;     // 1 dots, 2 lines, 3 squares
uniform bool mono;
uniform vec4 ink;
uniform vec4 paper;
uniform float grain;

mat2 rotation(float degrees) {
    float a = radians(degrees);
    return mat2(cos(a), sin(a), -sin(a), cos(a));
}

// How much of one ink the colour needs: 0 cyan, 1 magenta, 2 yellow,
// 3 black, 4 a single ink standing for the darkness.
float inkAmount(vec4 c, int channel) {
    float k = 1.0 - max(c.r, max(c.g, c.b));
    if (channel == 4) return 1.0 - dot(c.rgb, vec3(0.299, 0.587, 0.114));
    if (channel == 3) return k;
    float base = channel == 0 ? c.r : (channel == 1 ? c.g : c.b);
    return k < 0.999 ? (1.0 - base - k) / (1.0 - k) : 0.0;
}

// Ink coverage at pixel px for a screen at `degrees`.
float inkAt(vec2 px, float degrees, int channel) {
    mat2 toGrid = rotation(degrees);
    vec2 p = toGrid * px / cell;
    vec2 centre = (floor(p) + 0.5) * cell * toGrid;  // back to pixels (transpose = inverse)
    float v = clamp(inkAmount(texture2D(src, centre / size), channel), 0.0, 1.0);
    vec2 f = fract(p) - 0.5;
    float d, r;
    if (shape == 2) {
        d = abs(f.y);
        r = 0.46 * v;
    } else if (shape == 3) {
        d = max(abs(f.x), abs(f.y));
        r = 0.46 * sqrt(v);
    } else {
        d = length(f);
        r = 0.64 * sqrt(v);  // full ink still leaves the corners white
    }
    float soft = 0.75 / cell;
    return 1.0 - smoothstep(r - soft, r + soft, d);
}

void main() {
    vec2 px = gl_TexCoord[0].xy * size;
    vec4 source = texture2D(src, gl_TexCoord[0].xy);
    float fibre = texture2D(paperTex, px / 256.0).r;
    vec3 sheet = paper.rgb * mix(1.0, 0.8 + 0.4 * fibre, grain);
    vec3 colour;
    if (mono) {
        colour = mix(sheet, ink.rgb, inkAt(px, angle, 4));
    } else {
        // Cyan, magenta and yellow absorb red, green and blue; black all.
        vec3 absorbed = vec3(inkAt(px, angle, 0), inkAt(px, angle + 60.0, 1), inkAt(px, angle - 15.0, 2));
        colour = sheet * (1.0 - 0.92 * absorbed) * (1.0 - 0.9 * inkAt(px, angle + 30.0, 3));
    }
    gl_FragColor = vec4(colour, source.a);
}
