// Rewriting of effect fragment shaders before they are compiled.
//
// Authors write ordinary GLSL against RGBA textures; the engine keeps every
// GPU image in the host's ARGB order. The passes route texture reads through
// replacement functions that reorder the channels (the SWIZZLE macro of the
// preamble), wrap main so that its output is reordered back, and turn cube
// samplers into 2D samplers read in an equirectangular projection.
//
// Pure text functions: no GL, no state, no failure; time linear in the text.
#pragma once

#include <string>

namespace gpu::shader_source {

extern const char* const kVertexShader;
extern const char* const kPreamble;
extern const char* const kMainWrapper;

// Renames the author's entry point to repl_main and appends the wrapper.
// Returns true when a qualifying "main" was found.
bool rewriteMain(std::string& text);
// Routes calls of `word` (texture2D, texture2DLod, textureCube) through
// repl_<word> and, when used, puts that replacement's definition above the
// code: as a first line of its own, or, when the text starts with
// preprocessor directives ("#extension" must precede all code), at the start
// of the line after them without a newline, so line numbers stay. Returns
// true when at least one call was rewritten.
bool rewriteCall(std::string& text, const std::string& word);
// Declares samplerCube uniforms as sampler2D.
void rewriteSamplerCube(std::string& text);

// A "#version" directive must be the first thing the compiler sees, so a
// source that begins (after blanks) with one keeps it above the preamble and
// the replacement definitions. Removes that line, newline included, from
// `text` and returns it; returns "" and leaves `text` alone when there is none.
std::string takeVersionLine(std::string& text);

// All passes in order: main, texture2D, texture2DLod, textureCube, samplerCube.
// A leading "#version" line stays first.
std::string rewrite(std::string text);

}  // namespace gpu::shader_source
