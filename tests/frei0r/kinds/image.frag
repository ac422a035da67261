uniform sampler2D source;
uniform vec4 place;   // the input's top-left corner in the output, its width and height
uniform vec2 outSize;
uniform vec4 tint;    // colour, and its weight in the mix
uniform vec4 shape;   // gain, turn in radians, invert, time
uniform vec2 spot;    // in output pixels
void main() {
    vec2 px = gl_TexCoord[0].xy * outSize;
    vec2 uv = (px - place.xy) / place.zw;
    if (uv.x < 0.0 || uv.y < 0.0 || uv.x > 1.0 || uv.y > 1.0) {
        gl_FragColor = vec4(tint.rgb, 1.0);
        return;
    }
    vec4 c = texture2D(source, uv);
    vec3 rgb = mix(c.rgb, tint.rgb, tint.a) * shape.x;
    rgb += 0.1 * sin(shape.y) * cos(6.0 * uv.x) + 0.2 * fract(shape.w / 7.0);
    if (shape.z > 0.5) rgb = 1.0 - rgb;
    if (distance(px, spot) < 3.0) rgb = vec3(1.0, 0.0, 1.0);
    gl_FragColor = vec4(clamp(rgb, 0.0, 1.0), c.a);
}
