// The layer's red through texelFetch, a green that grows by 1/8 each frame
// through the pass's own last frame, the frame number in blue plus half the
// blue of an image file. The
// declarations Shadertoy makes itself are repeated, as pasted code often does.
uniform vec3 iResolution;
uniform sampler2D iChannel0, iChannel1;
void mainImage(out vec4 fragColor, in vec2 fragCoord) {
    vec4 last = texture(iChannel1, fragCoord / iResolution.xy);
    vec4 layer = texelFetch(iChannel0, ivec2(fragCoord), 0);
    vec4 picture = texture(iChannel2, fragCoord / iResolution.xy);
    fragColor = vec4(layer.r, last.g + 0.125, float(iFrame) / 8.0 + picture.b * 0.5, 0.0);
}
