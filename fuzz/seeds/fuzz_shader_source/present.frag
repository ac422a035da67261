// Copies the palette stage's image over the whole output.
uniform sampler2D source;

void main() {
    gl_FragColor = texture2D(source, gl_TexCoord[0].xy);
}
