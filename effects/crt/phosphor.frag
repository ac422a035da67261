// Phosphor persistence: the brighter of the new frame and the faded trail.
uniform sampler2D current;
uniform sampler2D trail;
uniform float decay;

void main() {
    vec4 now = texture2D(current, gl_TexCoord[0].xy);
    vec4 before = texture2D(trail, gl_TexCoord[0].xy);
    gl_FragColor = vec4(max(now.rgb, before.rgb * decay), 1.0);
}
