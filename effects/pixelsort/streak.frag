// One pass of the streaks: a pixel in the brightness band takes the pixel
// `reach` pixels upstream when that one is brighter and in the band too.
// Passes with reach 1, 2, 4, ... spread each bright pixel over a run as
// long as their sum; the reach varies from line to line so that the ends
// are ragged. A reach of 0 copies the source.
uniform sampler2D src;
uniform vec2 size;
uniform vec2 step;       // downstream direction: (0, 1) down, (1, 0) right, ...
uniform float reach;     // pixels upstream for this pass
uniform float low;
uniform float high;

float luma(vec4 c) { return dot(c.rgb, vec3(0.299, 0.587, 0.114)); }

float lineHash(float line) { return fract(sin(line * 12.9898) * 43758.5453); }

void main() {
    vec2 px = floor(gl_TexCoord[0].xy * size);
    vec4 a = texture2D(src, (px + 0.5) / size);
    float line = dot(px, abs(step.yx));                      // the column or row
    float r = floor(reach * mix(0.3, 1.0, lineHash(line)) + 0.5);
    vec2 from = px - step * r;
    if (r < 1.0 || from.x < 0.0 || from.y < 0.0 || from.x >= size.x || from.y >= size.y) {
        gl_FragColor = a;
        return;
    }
    vec4 b = texture2D(src, (from + 0.5) / size);
    float la = luma(a), lb = luma(b);
    bool inBand = la >= low && la <= high && lb >= low && lb <= high;
    gl_FragColor = inBand && lb > la ? b : a;
}
