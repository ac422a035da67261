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
// the file, the line and the feature; nothing is written then. Unreadable
// files and folders throw std::runtime_error naming the path.
// Threads: one import at a time per process (it makes the GL context current
// on the calling thread and uses the engine's registry).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace importer {

struct ImportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string name;                     // FXNAME; empty: the file's stem
    std::map<int, std::string> channels;  // Shadertoy iChannelN: "layer", "buffer" (the pass's
                                          // own last frame), "A".."D", or an image file
};

struct Report {
    std::string folder;               // where the effect was written
    std::string version;              // the #version line chosen ("" for none)
    std::vector<std::string> mapped;  // one line per feature carried over
    std::vector<std::string> notes;   // what could not be carried over exactly
};

Report importFile(const std::string& file, const std::string& outDir, const Options& options);

}  // namespace importer
