// Shrinks the input into the small target: each block averages four taps
// of its area, with a contrast stretch around mid grey.
uniform sampler2D src;
uniform vec2 cell;       // one block in texture units
uniform float contrast;

void main() {
    vec2 uv = gl_TexCoord[0].xy;
    vec2 q = cell * 0.25;
    vec4 c = 0.25 * (texture2D(src, uv + vec2(-q.x, -q.y)) + texture2D(src, uv + vec2(q.x, -q.y)) +
                     texture2D(src, uv + vec2(-q.x, q.y)) + texture2D(src, uv + vec2(q.x, q.y)));
    gl_FragColor = vec4(clamp((c.rgb - 0.5) * contrast + 0.5, 0.0, 1.0), c.a);
}
