// Bright pass: keeps the parts of the input layer brighter than the
// threshold, with a soft knee, in output space at the size of this target.
// The input sits inOffset pixels from the output's top-left corner; its
// texture's first row is the layer's top row.
uniform sampler2D source;
uniform vec2 outSize;
uniform vec2 inSize;
uniform vec2 inOffset;
uniform float threshold;

void main() {
    vec2 uv = gl_TexCoord[0].xy;
    vec2 fromTop = vec2(uv.x, 1.0 - uv.y) * outSize;
    vec2 inUv = (fromTop - inOffset) / inSize;
    if (any(lessThan(inUv, vec2(0.0))) || any(greaterThan(inUv, vec2(1.0)))) {
        gl_FragColor = vec4(0.0);
        return;
    }
    vec4 c = texture2D(source, inUv);
    float luma = dot(c.rgb, vec3(0.2126, 0.7152, 0.0722));
    float knee = 0.15;
    float keep = smoothstep(threshold - knee, threshold + knee, luma) * c.a;
    gl_FragColor = vec4(c.rgb * keep, keep);
}
