#include "studio/SourceEffect.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace studio {

namespace fs = std::filesystem;

namespace {

std::string fileName(const std::string& path) { return fs::path(path).filename().string(); }

// What the folder holds before the first import that works: an effect with
// no parameters that draws nothing, so that the studio runs and shows why.
void writeEmptyEffect(const fs::path& folder, const std::string& name) {
    fs::create_directories(folder);
    std::string safe;
    for (char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ' ') safe += c;
    if (safe.empty()) safe = "Imported";
    std::ofstream(folder / "config.xml") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FXNAME>" << safe
                                         << "</FXNAME>\n<ABOUT>" << safe << "</ABOUT>\n<AGEP_ID>" << safe
                                         << "</AGEP_ID>\n<FLAGS>33554432</FLAGS>\n<FLAGS2>5120</FLAGS2>\n";
    std::ofstream(folder / "fx.js") << "function setup() {}\nfunction draw() {}\n";
}

}  // namespace

SourceEffect::SourceEffect(const std::string& file, unsigned width, unsigned height)
    : source(fs::absolute(file).lexically_normal().string()) {
    char pattern[] = "/tmp/lumivex-source-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a folder in /tmp for the imported effect");
    work = pattern;
    folder = (fs::path(work) / "effect").string();
    staging = (fs::path(work) / "next").string();
    writeEmptyEffect(folder, fs::path(source).stem().string());
    import(width, height);
    install();
}

SourceEffect::~SourceEffect() {
    std::error_code ec;
    fs::remove_all(work, ec);
}

std::string SourceEffect::sourceFolder() const { return fs::path(source).parent_path().string(); }

std::vector<std::string> SourceEffect::files() const {
    // The ".vs" is named also before an import has read it: a first import
    // that fails may be the vertex shader's fault.
    std::vector<std::string> names{fileName(source)};
    const std::string ext = fs::path(source).extension().string();
    if (ext == ".fs" || ext == ".frag") names.push_back(fs::path(source).stem().string() + ".vs");
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string& path : report.read) {
        const std::string name = fileName(path);
        if (fs::path(path).parent_path() == fs::path(sourceFolder()) &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

bool SourceEffect::reads(const std::string& name) const {
    const std::vector<std::string> names = files();
    return std::find(names.begin(), names.end(), name) != names.end();
}

void SourceEffect::import(unsigned width, unsigned height) {
    std::error_code ec;
    fs::remove_all(staging, ec);
    importer::Options options;
    options.width = width;
    options.height = height;
    importer::Report made;
    std::vector<EffectError> refusal;
    try {
        made = importer::importFile(source, staging, options);
    } catch (const importer::ImportError& e) {
        refusal.push_back({fileName(e.file), e.line, e.message});
    } catch (const std::exception& e) {
        // The file went away in the middle of a save, or no GL context.
        refusal.push_back({fileName(source), 0, e.what()});
    }
    if (!refusal.empty()) fs::remove_all(staging, ec);
    std::lock_guard<std::mutex> lock(mutex);
    staged = true;
    stagedErrors = std::move(refusal);
    stagedReport = std::move(made);
}

void SourceEffect::install() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!staged) return;
    staged = false;
    importErrors = stagedErrors;
    if (!importErrors.empty()) return;
    report = stagedReport;
    // The folder keeps its path (the render process is started on it).
    const fs::path old = fs::path(work) / "old";
    std::error_code ec;
    fs::remove_all(old, ec);
    fs::rename(folder, old, ec);
    fs::rename(staging, folder, ec);
    if (ec) importErrors.push_back({fileName(source), 0, "cannot put the imported effect in place: " + ec.message()});
    fs::remove_all(old, ec);
}

std::vector<EffectError> SourceEffect::translate(const std::vector<EffectError>& engine) const {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<EffectError> out = importErrors;
    const std::string own = fileName(source);
    for (EffectError e : engine) {
        const auto shader = report.origins.find(e.file);
        if (shader != report.origins.end()) {
            const std::string pass = "pass \"" + fs::path(e.file).stem().string() + "\"";
            const auto [origin, line] = importer::originOfLine(e.line);
            if (e.line > 0 && origin > 0 && size_t(origin) <= shader->second.size()) {
                const importer::Origin& o = shader->second[size_t(origin - 1)];
                e.file = fileName(o.file);
                if (o.part.empty()) e.line = line;
                else e.message = o.part + " line " + std::to_string(line) + ": " + e.message, e.line = 0;
            } else {
                // In the code the import wrapped around the file's: no line
                // of the author's stands for it.
                e.message = "in the code generated for " + pass + ": " + e.message;
                e.file = own, e.line = 0;
            }
        } else if (e.file == "fx.js" || e.file == "lx_clear.frag") {
            // The script and the clearing shader are the import's, not the
            // author's: named as such, at their own line.
            e.message = "in the generated " + e.file + (e.line > 0 ? " at line " + std::to_string(e.line) : "") + ": " +
                        e.message;
            e.file = own, e.line = 0;
        }
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace studio
