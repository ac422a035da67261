// The tube: curved glass, rolling picture, misconverged guns, scanlines
// whose beams widen on bright parts, a shadow mask and a little noise.
uniform sampler2D src;
uniform vec2 size;          // picture size in pixels
uniform float curvature;
uniform float mask;
uniform float lines;        // scanlines over the picture's height
uniform float aspect;       // pixel aspect of the composition
uniform float rollOffset;   // 0..1 of a picture height
uniform float time;
uniform vec3 convergence;   // horizontal offsets of the red, green, blue beams in pixels
uniform vec4 tint;

vec2 warp(vec2 uv) {
    vec2 c = uv * 2.0 - 1.0;
    c *= 1.0 + curvature * 0.22 * (c.yx * c.yx);
    return c * 0.5 + 0.5;
}

float hash(vec2 p) { return fract(sin(dot(p, vec2(12.9898, 78.233))) * 43758.5453); }

void main() {
    vec2 uv = warp(gl_TexCoord[0].xy);
    if (uv.x < 0.0 || uv.x > 1.0 || uv.y < 0.0 || uv.y > 1.0) {
        gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    float y = fract(uv.y + rollOffset);
    // A dark band where the rolling picture wraps round.
    float hold = smoothstep(0.0, 0.04, y) * smoothstep(1.0, 0.96, y);
    vec3 colour = vec3(texture2D(src, vec2(uv.x + convergence.x / size.x, y)).r,
                       texture2D(src, vec2(uv.x + convergence.y / size.x, y)).g,
                       texture2D(src, vec2(uv.x + convergence.z / size.x, y)).b);
    float luma = dot(colour, vec3(0.3, 0.59, 0.11));
    float beam = 0.5 + 0.5 * cos(6.2831853 * uv.y * lines);
    float width = mix(2.2, 0.7, luma);  // bright lines bloom wider
    colour *= mix(0.25, 1.15, pow(beam, width));
    float column = mod(floor(gl_TexCoord[0].x * size.x * aspect), 3.0);
    vec3 triad = column < 1.0 ? vec3(1.0, 0.55, 0.55) : (column < 2.0 ? vec3(0.55, 1.0, 0.55) : vec3(0.55, 0.55, 1.0));
    colour *= mix(vec3(1.0), triad * 1.25, mask);
    colour += (hash(gl_TexCoord[0].xy * size + fract(time) * 97.0) - 0.5) * 0.04;
    gl_FragColor = vec4(max(colour, 0.0) * tint.rgb * hold, 1.0);
}
