uniform samplerCube env; uniform float amount[4];
void main(){ gl_FragColor = textureCube(env, vec3(amount[0])) + texture2DLod(env2, vec2(0.0), 1.0); }
