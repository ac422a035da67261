// An ISF or Shadertoy file shown in the studio as an effect folder. The
// file is imported (importer/Importer.h) into a private folder at start and
// again after every change of a file the import read; errors the engine
// reports in the generated files are turned back into the names and lines
// of the author's files.
//
// Errors: the constructor throws std::runtime_error when it cannot make its
// folder. A failed import is not thrown: it is the first of errors(), the
// last good import stays in place (an effect that draws nothing when there
// is none), and the next import tries again.
// Threads: import() on one thread at a time (it makes a GL context current
// on the calling thread); every call is safe alongside the others.
// Ownership: the private folder is removed by the destructor.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "importer/Importer.h"
#include "studio/Rules.h"

namespace studio {

class SourceEffect {
public:
    // `file`: an ISF ".fs", a Shadertoy ".glsl" or a Shadertoy JSON export;
    // imported at once, point defaults placed for a `width` x `height` layer.
    SourceEffect(const std::string& file, unsigned width, unsigned height);
    ~SourceEffect();
    SourceEffect(const SourceEffect&) = delete;
    SourceEffect& operator=(const SourceEffect&) = delete;

    // The folder the effect is written to; it keeps its path across imports.
    const std::string& effectDir() const { return folder; }
    // The folder of the source file; the names of the files in it the
    // import reads (the file, an ISF file's ".vs", the images the last
    // import read), which the editor offers and whose changes call for a
    // new import; and whether `name` is one of them.
    std::string sourceFolder() const;
    std::vector<std::string> files() const;
    bool reads(const std::string& name) const;

    // Imports the file again into a staging folder, then install() puts it
    // in effectDir(); call install() while nothing reads the effect folder.
    void import(unsigned width, unsigned height);
    void install();

    // The import's refusal, if the last import failed, then `engine`'s
    // reports with the generated shaders' lines turned into the author's.
    std::vector<EffectError> translate(const std::vector<EffectError>& engine) const;

private:
    const std::string source;  // absolute
    std::string work, folder, staging;
    mutable std::mutex mutex;  // everything below
    bool staged = false;
    std::vector<EffectError> importErrors, stagedErrors;
    importer::Report report, stagedReport;  // of the installed and the staged import
};

}  // namespace studio
