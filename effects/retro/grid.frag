// Shows the quantized blocks as cells of a lit screen: each block is a
// rounded pad with a thin dark gap around it and a slight glow.
uniform sampler2D blocks;
uniform vec2 cells;      // blocks across and down

void main() {
    vec2 p = gl_TexCoord[0].xy * cells;
    vec4 c = texture2D(blocks, (floor(p) + 0.5) / cells);
    vec2 f = abs(fract(p) - 0.5) * 2.0;              // 0 at the centre, 1 at the edge
    float edge = max(f.x, f.y);
    float pad = 1.0 - smoothstep(0.78, 0.98, edge);
    float lift = 1.06 - 0.12 * dot(f, f);
    gl_FragColor = vec4(c.rgb * mix(0.18, lift, pad), c.a);
}
