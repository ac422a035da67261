// Rewriting of effect fragment shaders before they are compiled.
//
// Authors write ordinary GLSL against RGBA textures; the engine keeps every
// GPU image in the host's ARGB order. The passes route texture reads through
// replacement functions that reorder the channels (the SWIZZLE macro of the
// preamble), wrap main so that its output is reordered back, and turn cube
// samplers into 2D samplers read in an equirectangular projection. A
// separate pass bounds the loops of a shader (guardLoops).
//
// Pure text functions: no GL, no state; time linear in the text. Only
// guardLoops can fail, and says why.
#pragma once

#include <optional>
#include <string>

namespace gpu::shader_source {

extern const char* const kVertexShader;
extern const char* const kPreamble;
extern const char* const kMainWrapper;

// A letter, digit or underscore in any locale: a character of a GLSL word.
bool isWordChar(char c);

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

// The iterations one invocation of a guarded shader may run, all its loops
// together; past them every loop condition reads false.
constexpr int kMaxLoopSteps = 1 << 20;

// Makes every "for" and "while" loop (and so "do ... while") count a step
// per iteration on one counter of the invocation and end once it passes
// kMaxLoopSteps: "while (C)" becomes "while ((C) && lumivex_step())",
// "for (I; C; N)" becomes "for (I; (C) && lumivex_step(); N)" (a blank C
// becomes "lumivex_step()"), in code and in "#define" bodies, comments
// skipped. The counter's definition goes where rewriteCall puts its own, so
// the lines keep their numbers. A text with no loops is left as it is.
// Refuses, with "Shader line N: ..." (`firstLine` numbers the text's first
// line), what could build a loop the rewrite does not see: a loop keyword
// without its parenthesised condition or with a parenthesis never closed, a
// "for" whose parentheses do not show both semicolons, a directive or '#'
// inside a loop's parentheses or anywhere but at the start of a directive,
// token pasting ("##"), a "#define" whose parentheses do not pair up, and a
// block comment that carries a directive over a line end. Lines continued
// with a backslash are read as the compiler reads them.
std::optional<std::string> guardLoops(std::string& text, int firstLine = 1);

// All passes in order: main, texture2D, texture2DLod, textureCube, samplerCube.
// A leading "#version" line stays first.
std::string rewrite(std::string text);

}  // namespace gpu::shader_source
