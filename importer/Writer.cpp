// Compiling the passes on a headless GL context (per GLSL version, the first
// that compiles them all wins) and writing the effect folder.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "gpu/ShaderCheck.h"
#include "Effect.h"

namespace importer {

extern const char* const kRuntimeScript;  // runtime.js, embedded at build time

namespace {

namespace fs = std::filesystem;

const char* const kClearShader = "void main() { gl_FragColor = vec4(0.0); }\n";

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else out += c;
    }
    return out;
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write '" + path.string() + "'");
}

// The effect's name as FXNAME: printable ASCII, at most 255 bytes.
std::string effectName(const std::string& name) {
    std::string out;
    for (char c : name)
        if (c >= 0x20 && c < 0x7f && c != '<' && c != '>' && c != '&') out += c;
    if (out.empty()) out = "Imported";
    return out.substr(0, 255);
}

std::string script(const Effect& fx, const std::vector<std::string>& imageFiles) {
    nlohmann::json data = {{"layer", {fx.width, fx.height}},
                           {"inputs", nlohmann::json::array()},
                           {"images", nlohmann::json::array()},
                           {"passes", nlohmann::json::array()}};
    for (const Input& in : fx.inputs)
        data["inputs"].push_back({{"name", in.name},
                                  {"label", in.label},
                                  {"type", in.type},
                                  {"min", in.min},
                                  {"max", in.max},
                                  {"value", in.value},
                                  {"values", in.values},
                                  {"labels", in.labels},
                                  {"normalized", in.normalized},
                                  {"mouse", in.mouse}});
    for (size_t i = 0; i < fx.images.size(); ++i)
        data["images"].push_back({{"name", fx.images[i].name}, {"file", imageFiles[i]}});
    std::string sizes;
    for (size_t i = 0; i < fx.passes.size(); ++i) {
        const Pass& pass = fx.passes[i];
        nlohmann::json samplers = nlohmann::json::array();
        for (const Binding& b : pass.samplers)
            samplers.push_back({{"uniform", b.uniform}, {"source", b.source}, {"wrap", b.wrap}, {"filter", b.filter}});
        data["passes"].push_back({{"shader", pass.shader},
                                  {"target", pass.target},
                                  {"floating", pass.floating},
                                  {"persistent", pass.persistent},
                                  {"samplers", samplers}});
        const std::string index = "FX.passes[" + std::to_string(i) + "]";
        if (!pass.width.empty()) sizes += index + ".width = function (W, H, v) { return (" + pass.width + "); };\n";
        if (!pass.height.empty()) sizes += index + ".height = function (W, H, v) { return (" + pass.height + "); };\n";
    }
    return "// Written by lumivex import: what the imported shader declares. The\n"
           "// code after it is the same for every imported effect.\n"
           "var FX = " +
           data.dump(1) + ";\n" + sizes + "\n" + kRuntimeScript;
}

// The text of a pass for a "#version" line. Before GLSL 3.30 the line after
// "#line N" is line N + 1, so there the directives say one less.
std::string versioned(const std::string& version, const std::string& code) {
    int number = 110;
    std::sscanf(version.c_str(), "#version %d", &number);
    std::string text = version + code;
    if (number >= 330) return text;
    for (size_t at = text.find("#line "); at != std::string::npos; at = text.find("#line ", at + 1)) {
        const size_t digits = at + 6, end = text.find_first_not_of("0123456789", digits);
        if ((at > 0 && text[at - 1] != '\n') || end == digits || end - digits > 9 || end == std::string::npos ||
            text[end] != '\n')
            continue;
        text.replace(digits, end - digits, std::to_string(std::stol(text.substr(digits, end - digits)) - 1));
    }
    return text;
}

// A pass that did not compile with one GLSL version, and the log.
struct Failure {
    const Pass* pass;
    std::string version, log;
};

// The first error of a compiler log: the origin (0: the generated code, -1:
// none named) and line it lies on, and its text.
struct CompileError {
    int origin = -1, line = 0;
    std::string text;
};

CompileError firstError(const Failure& failure) {
    // "0:12(5): error: ..." (Mesa) or "0(12) : error C1008: ..." (others).
    static const std::regex located(R"(\d+(?::(\d+)\(\d+\)|\((\d+)\))\s*:\s*error(?:\s+\w+)?\s*:\s*([^\r\n]*))");
    CompileError error;
    std::smatch m;
    if (std::regex_search(failure.log, m, located)) {
        const long line = std::strtol((m[1].matched ? m[1] : m[2]).str().c_str(), nullptr, 10);
        std::tie(error.origin, error.line) = originOfLine(static_cast<int>(std::min(line, 999999999L)));
        error.text = m[3].str();
    } else {
        // No located error (a link error, a limit): its first line of substance.
        std::istringstream lines(failure.log);
        for (std::string line; std::getline(lines, line) && error.text.empty();)
            if (line.find_first_not_of(" \t\r") != std::string::npos && line.back() != ':') error.text = line;
    }
    return error;
}

// The refusal naming the file, the line and what the compiler rejects there:
// the first version's error, or the first that lies in the file's own code
// (an error in the generated helpers means the version lacks a built-in the
// file uses, which a later version has).
ImportError refusal(const std::string& file, const std::vector<Failure>& failures) {
    const Failure* chosen = &failures.front();
    CompileError error = firstError(*chosen);
    for (const Failure& failure : failures) {
        const CompileError e = firstError(failure);
        if (e.origin > 0 && error.origin <= 0) chosen = &failure, error = e;
    }
    const std::string version =
        chosen->version.empty() ? "without #version" : "with " + chosen->version.substr(0, chosen->version.size() - 1);
    const std::string what = error.text + " (" + version + "; no GLSL version tried compiles it)";
    const std::vector<Origin>& origins = chosen->pass->origins;
    if (error.origin > 0 && static_cast<size_t>(error.origin) <= origins.size()) {
        const Origin& origin = origins[static_cast<size_t>(error.origin - 1)];
        if (origin.part.empty()) return ImportError(origin.file, error.line, what);
        return ImportError(origin.file, 0, origin.part + " line " + std::to_string(error.line) + ": " + what);
    }
    return ImportError(file, 0, "in the code generated for pass \"" + chosen->pass->shader + "\": " + what);
}

}  // namespace

Report writeEffect(Effect& fx, const std::string& outDir) {
    Report& report = fx.report;
    {
        gpu::ShaderCheck check;
        std::vector<Failure> failures;
        bool built = false;
        for (const std::string& version : fx.versions) {
            const Pass* failed = nullptr;
            std::string log;
            for (const Pass& pass : fx.passes) {
                log = check.errors(versioned(version, pass.code));
                if (!log.empty()) {
                    failed = &pass;
                    break;
                }
            }
            if (!failed) {
                report.version = version.empty() ? "" : version.substr(0, version.size() - 1);
                built = true;
                break;
            }
            failures.push_back({failed, version, log});
        }
        if (!built)
            throw failures.empty() ? ImportError(fx.file, 0, "no GLSL version to try") : refusal(fx.file, failures);
    }

    const fs::path folder(outDir);
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder)) throw std::runtime_error("cannot create folder '" + outDir + "'");
    const std::string version = report.version.empty() ? "" : report.version + "\n";
    for (const Pass& pass : fx.passes) writeText(folder / (pass.shader + ".frag"), versioned(version, pass.code));
    writeText(folder / "lx_clear.frag", kClearShader);
    std::vector<std::string> imageFiles;
    for (const Image& image : fx.images) {
        const std::string name = image.name + fs::path(image.path).extension().string();
        if (fs::exists(folder / name) && fs::equivalent(image.path, folder / name)) {
            imageFiles.push_back(name);
            continue;
        }
        fs::copy_file(image.path, folder / name, fs::copy_options::overwrite_existing, error);
        if (error)
            throw std::runtime_error("cannot copy '" + image.path + "' into '" + outDir + "': " + error.message());
        imageFiles.push_back(name);
    }
    writeText(folder / "fx.js", script(fx, imageFiles));
    for (const Pass& pass : fx.passes) report.origins[pass.shader + ".frag"] = pass.origins;
    report.read = {fx.file};
    for (const Origin& origin : fx.passes.empty() ? std::vector<Origin>() : fx.passes.front().origins)
        if (origin.file != fx.file && fs::is_regular_file(origin.file)) report.read.push_back(origin.file);
    for (const Image& image : fx.images) report.read.push_back(image.path);
    const std::string name = effectName(fx.name);
    const std::string about = fx.about.empty() ? name : name + "\n" + fx.about;
    writeText(
        folder / "config.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- Written by lumivex import. FLAGS: deep colour; FLAGS2: smart render and float colour. -->\n"
        "<FXNAME>" +
            name + "</FXNAME>\n<ABOUT>" + xmlEscaped(about) + "</ABOUT>\n<AGEP_ID>" + name + "</AGEP_ID>\n<CATEGORY>" +
            xmlEscaped(fx.category.empty() ? "Imported" : fx.category) +
            "</CATEGORY>\n<FLAGS>33554432</FLAGS>\n<FLAGS2>5120</FLAGS2>\n<MAJOR_VERSION>1</MAJOR_VERSION>\n"
            "<MINOR_VERSION>0</MINOR_VERSION>\n<BUILD_VERSION>0</BUILD_VERSION>\n<STAGE_VERSION>0</STAGE_VERSION>\n");
    report.folder = outDir;
    return report;
}

Report importFile(const std::string& file, const std::string& outDir, const Options& options) {
    const std::string ext = fs::path(file).extension().string();
    if (!fs::is_regular_file(file)) throw std::runtime_error("cannot read '" + file + "'");
    Effect fx;
    try {
        if (ext == ".fs" || ext == ".frag") fx = readIsf(file, options);
        else if (ext == ".glsl" || ext == ".json") fx = readShadertoy(file, options);
        else throw ImportError(file, 0, "unknown kind of file (expected .fs, .glsl or .json)");
    } catch (const nlohmann::json::exception& e) {
        // A value of an unexpected type where the reader asked for one.
        throw ImportError(file, 0, e.what());
    }
    fx.file = file;
    fx.width = options.width;
    fx.height = options.height;
    return writeEffect(fx, outDir.empty() ? fs::path(file).stem().string() : outDir);
}

}  // namespace importer
