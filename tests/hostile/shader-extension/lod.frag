#extension GL_ARB_shader_texture_lod : enable
uniform sampler2D tex;
void main() { gl_FragColor = texture2DLod(tex, gl_TexCoord[0].xy, 0.0) + texture2D(tex, gl_TexCoord[0].xy); }
