// One-dimensional blur along `direction` (a unit vector in texels of the
// source), over `radius` texels on each side. falloff 0 gives a Gaussian
// bell for the glow, falloff 1 a sharp exponential tail for light streaks.
uniform sampler2D source;
uniform vec4 s_Texture0Params;  // source size: w, h, 1/w, 1/h
uniform vec2 direction;
uniform float radius;
uniform float falloff;

void main() {
    vec2 uv = gl_TexCoord[0].xy;
    vec2 stride = direction * s_Texture0Params.zw * radius / 12.0;
    vec4 sum = vec4(0.0);
    float total = 0.0;
    for (int i = -12; i <= 12; ++i) {
        float t = float(i) / 12.0;
        float w = mix(exp(-2.5 * t * t), exp(-5.0 * abs(t)), falloff);
        sum += w * texture2D(source, uv + stride * float(i));
        total += w;
    }
    gl_FragColor = sum / total;
}
