// Final look: the input layer (optionally screened with a second layer),
// the tinted glow and streaks, and a light leak around leakCentre, the light
// modulated by one channel of the package's tile texture; screened over the
// image with premultiplied alpha so that light spills into a grown border.
uniform sampler2D source;
uniform sampler2D glow;
uniform sampler2D streak;
uniform sampler2D tile;
uniform sampler2D blendLayer;
uniform vec2 outSize;
uniform vec2 inSize;
uniform vec2 inOffset;
uniform float intensity;
uniform vec4 tint;
uniform vec2 leakCentre;      // output pixels from the top-left corner
uniform float leakRadius;
uniform float leakStrength;
uniform int textureMode;      // 1 grain, 2 halftone, 3 scanlines
uniform float textureAmount;
uniform float tileSize;
uniform float blendMix;
uniform float preBias;       // lowered before an ordered dither, which only raises

vec4 screen(vec4 below, vec4 above) {
    return below + above - below * above;
}

void main() {
    vec2 uv = gl_TexCoord[0].xy;
    vec2 fromTop = vec2(uv.x, 1.0 - uv.y) * outSize;
    vec2 inUv = (fromTop - inOffset) / inSize;
    bool inside = all(greaterThanEqual(inUv, vec2(0.0))) && all(lessThanEqual(inUv, vec2(1.0)));
    vec4 image = inside ? texture2D(source, inUv) : vec4(0.0);
    if (inside && blendMix > 0.0) {
        vec4 other = texture2D(blendLayer, inUv);
        image = mix(image, screen(image, other), blendMix);
    }

    vec3 bloom = texture2D(glow, uv).rgb + texture2D(streak, uv).rgb;
    float bloomLuma = dot(bloom, vec3(0.2126, 0.7152, 0.0722));
    vec3 light = intensity * mix(bloom, bloomLuma * tint.rgb, 0.65);

    float d = distance(fromTop, leakCentre) / max(leakRadius, 1.0);
    vec3 leakColour = mix(tint.rgb, vec3(1.0, 0.25, 0.45), smoothstep(0.2, 1.0, d));
    light += leakStrength * exp(-2.5 * d * d) * leakColour;

    vec3 cell = texture2D(tile, fromTop / tileSize).rgb;
    float pattern = textureMode == 2 ? cell.g : (textureMode == 3 ? cell.b : cell.r);
    light *= mix(1.0, 1.6 * pattern, textureAmount);
    if (textureMode == 1) image.rgb *= mix(1.0, 0.85 + 0.3 * pattern, textureAmount * image.a);

    light = clamp(light, 0.0, 1.0);
    float coverage = max(light.r, max(light.g, light.b));
    vec4 result = screen(image, vec4(light, coverage));
    gl_FragColor = vec4(max(result.rgb - preBias * result.a, 0.0), result.a);
}
