// Turning ISF and Shadertoy shaders into effect folders.
//
// importFile reads one shader file (an ISF ".fs" with its ".vs" beside it if
// there is one, a Shadertoy ".glsl" defining mainImage, or a Shadertoy JSON
// export) and writes an effect folder: config.xml, a generated fx.js, one
// fragment shader per pass, a clearing shader and the images the file
// imports. Every generated shader is compiled on a headless GL context before
// anything is written, and the GLSL version that compiles is chosen per file.
//
// Errors: anything the engine cannot run throws ImportError, whose text names
// the file, the line and the feature (also kept apart, for tools that show
// them); nothing is written then. Unreadable files and folders throw
// std::runtime_error naming the path.
// Threads: one import at a time per process (it makes the GL context current
// on the calling thread and uses the engine's registry).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace importer {

struct ImportError : std::runtime_error {
    // "FILE:LINE: MESSAGE", or "FILE: MESSAGE" when `line` is 0.
    ImportError(const std::string& file, int line, const std::string& message);
    std::string file;  // the file as named to the importer, or a file beside it (a ".vs")
    int line = 0;      // 1-based; 0 when no line is named
    std::string message;
};

// Where lines of a written shader come from. Its "#line" directives number
// origin N (1 and up) from (N - 1) * 100000 + 1, and the generated code
// from 900001, so the line a compiler names tells which (originOfLine).
struct Origin {
    std::string file, part;  // part: "" or, in a Shadertoy export, "Image", "Buffer A", "Common"
};
// The origin (1 and up; 0 for the generated code) and the line in it of
// line `line` of a written shader.
std::pair<int, int> originOfLine(int line);

struct Options {
    std::string name;                      // FXNAME; empty: the file's stem
    unsigned width = 1920, height = 1080;  // the layer size point defaults are placed for
    std::map<int, std::string> channels;   // Shadertoy iChannelN: "layer", "buffer" (the pass's
                                           // own last frame), "A".."D", or an image file
};

struct Report {
    std::string folder;                                  // where the effect was written
    std::string version;                                 // the #version line chosen ("" for none)
    std::vector<std::string> mapped;                     // one line per feature carried over
    std::vector<std::string> notes;                      // what could not be carried over exactly
    std::vector<std::string> read;                       // the files read: the shader, a ".vs", images
    std::map<std::string, std::vector<Origin>> origins;  // per shader written ("main.frag"): origins 1, 2, ...
};

Report importFile(const std::string& file, const std::string& outDir, const Options& options);

}  // namespace importer
