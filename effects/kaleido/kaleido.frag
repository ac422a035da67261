// Kaleidoscope: folds the angle around the centre into one mirrored wedge
// and reads the source there; with rings, the radius folds too.
uniform sampler2D source;   // named like the LAYER parameter, so it takes that kind
uniform float segments;
uniform float zoom;
uniform float turn;      // degrees the source is turned by
uniform float aspect;    // width / height of the frame in square pixels
uniform vec2 shift;      // source offset in frame units
uniform bool rings;

void main() {
    vec2 p = (gl_TexCoord[0].xy - 0.5) * vec2(aspect, 1.0);
    float r = length(p) / zoom;
    float wedge = 6.2831853 / max(floor(segments + 0.5), 2.0);
    float a = mod(atan(p.y, p.x), wedge);
    a = min(a, wedge - a);                    // mirror inside the wedge
    if (rings) r = abs(mod(r + 1.0, 2.0) - 1.0);    // out and back again every 1
    a += radians(turn) - 2.6;                 // the source turns under the mirrors
    vec2 uv = vec2(cos(a), sin(a)) * r / vec2(aspect, 1.0) + 0.5 + shift;
    uv = abs(mod(uv + 1.0, 2.0) - 1.0);       // mirrored repeat outside the frame
    gl_FragColor = vec4(texture2D(source, uv).rgb, 1.0);
}
