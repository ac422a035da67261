// Sets the lit screen, with its glow, into a rounded opening of a dark
// bezel that catches a little of the glow.
uniform sampler2D lit;
uniform sampler2D near;
uniform sampler2D far;
uniform float glow;
uniform vec2 outSize;
uniform vec4 screenRect;    // x, y, width, height of the picture in the output, in pixels

// Signed distance to a rounded rectangle centred at 0 with halfSize size b.
float roundedBox(vec2 p, vec2 b, float r) {
    vec2 q = abs(p) - b + r;
    return length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - r;
}

void main() {
    vec2 px = gl_TexCoord[0].xy * outSize;
    vec2 halfSize = screenRect.zw * 0.5;
    vec2 centre = screenRect.xy + halfSize;
    vec2 sp = clamp((px - screenRect.xy) / screenRect.zw, 0.0, 1.0);
    float radius = 0.06 * min(halfSize.x, halfSize.y);
    float d = roundedBox(px - centre, halfSize, radius);
    vec3 halo = texture2D(near, sp).rgb * 0.6 + texture2D(far, sp).rgb * 0.4;

    vec3 screen = texture2D(lit, sp).rgb + glow * halo * 0.5;
    vec2 v = (sp - 0.5) * 2.0;
    screen *= 1.0 - 0.35 * dot(v * v, v * v);

    // Bezel: dark plastic, lighter towards the top, a bevel at the opening,
    // and the glow reflected close to the glass.
    float fromTop = px.y / outSize.y;
    vec3 plastic = vec3(0.075, 0.072, 0.07) * (1.25 - 0.5 * fromTop);
    float bevel = exp(-max(d, 0.0) / 6.0);
    plastic += bevel * 0.06 + glow * halo * 0.25 * exp(-max(d, 0.0) / 18.0);

    float inside = 1.0 - smoothstep(-1.0, 1.0, d);
    gl_FragColor = vec4(mix(plastic, screen, inside), 1.0);
}
