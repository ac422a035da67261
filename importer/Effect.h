// What an imported shader becomes, independent of its dialect: parameters,
// passes with their targets and sampler bindings, and the GLSL text of each
// pass. The dialect readers (Isf.cpp, Shadertoy.cpp) fill it; Writer.cpp
// compiles it and writes the effect folder.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "importer/Importer.h"

namespace importer {

struct Input {
    std::string name, label, type;  // float, bool, long, point2D, color, image, event
    double min = 0, max = 1;
    std::vector<double> value;        // default: one number, or 2 (point), 4 (colour)
    std::vector<double> values;       // long: the values of the popup entries
    std::vector<std::string> labels;  // long: their labels
    bool normalized = false;          // point2D: 0..1 of the render size, else pixels
    bool mouse = false;               // the Shadertoy mouse (vec4 iMouse)
};

// A sampler uniform and what feeds it: "input" (the layer), "param:N" (a
// layer parameter), "image:N" (an imported image), "target:N" (a pass
// target), "empty" (black).
struct Binding {
    std::string uniform, source;
    std::string wrap = "clamp", filter = "linear";  // wrap: clamp, repeat, mirror; filter: linear, nearest
};

struct Pass {
    std::string shader;  // file name without ".frag"
    std::string code;    // complete GLSL, without a #version line
    std::string target;  // "" draws into the output
    bool persistent = false, floating = false;
    std::string width, height;  // JavaScript expressions over W, H and v (input values); "" = W, H
    std::vector<Binding> samplers;
    std::vector<Origin> origins;  // origins 1, 2, ... of the code (see originDirective)
};

struct Image {
    std::string name, path;  // sampler name, source file
};

struct Effect {
    std::string file;  // the file imported
    std::string name, about, category;
    unsigned width = 1920, height = 1080;  // the layer size point defaults are placed for
    std::vector<std::string> versions;     // #version lines to try, in order
    std::vector<Input> inputs;
    std::vector<Image> images;
    std::vector<Pass> passes;
    Report report;
};

// Source text helpers.
std::string readFile(const std::string& path);
std::string stripBom(std::string text);
// Removes commas that stand before a closing bracket or brace, outside strings.
std::string dropTrailingCommas(const std::string& json);
int lineOf(const std::string& text, size_t offset);  // 1-based
[[noreturn]] void refuse(const std::string& file, int line, const std::string& what);

// Calls `edit` for every identifier outside comments (and outside string
// literals); `edit` returns the replacement text. `next` is the first
// non-blank character after the identifier.
std::string editIdentifiers(const std::string& code,
                            const std::function<std::string(const std::string& word, char next, size_t at)>& edit);
// Offset of the first use of identifier `word` outside comments, or npos.
size_t findIdentifier(const std::string& code, const std::string& word);

// "#line" directives number the lines of each origin of a pass's code in a
// range of its own, as the compilers here drop a directive's source-string
// number: origin N (1 and up) from (N - 1) * 100000 + 1, the generated code
// from 900001 (as GLSL 3.30 counts; writeEffect adapts them to earlier
// versions). originOfLine (Importer.h) turns a line the compiler names back
// into the origin and its line.
std::string originDirective(int origin);

// Renames the sampling built-ins (texture reads, fetches, gathers, in all
// their forms) and gl_FragCoord of `code` to helpers that read in the file's
// own orientation (y up) through the engine's channel order, and returns the
// definitions of the helpers used (and of lx_FragCoord, which the generated
// main sets). Comments that mention main() are changed so that the engine
// does not take them for the entry point.
std::string routeSampling(std::string& code);

// Blanks the declarations in `code` of uniforms and varyings that `header`
// (the generated declarations) already makes, as files written for hosts
// that let them be repeated do.
std::string dropRedeclarations(const std::string& code, const std::string& header);

// Blanks the file's own "#version" line in `code` (the generated code puts
// its own first) and returns the version to try first for it: in the
// compatibility profile from 1.50 on, "" for an ES version or none.
std::string takeOwnVersion(std::string& code);

// Compiles every pass with each version in turn, writes the folder.
Report writeEffect(Effect& effect, const std::string& outDir);

Effect readIsf(const std::string& file, const Options& options);
Effect readShadertoy(const std::string& file, const Options& options);

}  // namespace importer
