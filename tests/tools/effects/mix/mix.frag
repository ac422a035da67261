uniform sampler2D source;
uniform float gain;
uniform float add;
void main() {
    vec4 c = texture2D(source, gl_TexCoord[0].xy);
    gl_FragColor = vec4(c.rgb * gain + add, c.a);
}
