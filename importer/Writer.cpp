// Compiling the passes on a headless GL context (per GLSL version, the first
// that compiles them all wins) and writing the effect folder.
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "gpu/Context.h"
#include "gpu/OpenGLContext.h"
#include "importer/Effect.h"

namespace importer {

extern const char* const kRuntimeScript;  // runtime.js, embedded at build time

namespace {

namespace fs = std::filesystem;

const char* const kClearShader = "void main() { gl_FragColor = vec4(0.0); }\n";

// The engine's registry on a context of its own, for the import's duration.
class CompileSession {
public:
    CompileSession() {
        if (gl.create() != 0 || gl.makeCurrent() != 0) throw std::runtime_error("no OpenGL context to compile shaders in");
        initGLExtensions();
        Context::instance().initialize();
    }
    ~CompileSession() {
        Context::instance().shutdown();
        gl.destroy();
    }
    CompileSession(const CompileSession&) = delete;
    CompileSession& operator=(const CompileSession&) = delete;

    // The compile or link log of `source`, empty when it builds.
    std::string errors(const std::string& source) {
        Context& context = Context::instance();
        const uint32_t id = context.createShader("import", source);
        std::string log = context.getShader(id).error();
        context.releaseEntity(id);
        return log;
    }

private:
    OpenGLContext gl;
};

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
    nlohmann::json data = {{"inputs", nlohmann::json::array()},
                           {"images", nlohmann::json::array()},
                           {"passes", nlohmann::json::array()}};
    for (const Input& in : fx.inputs)
        data["inputs"].push_back({{"name", in.name}, {"label", in.label}, {"type", in.type}, {"min", in.min},
                                  {"max", in.max}, {"value", in.value}, {"values", in.values},
                                  {"labels", in.labels}, {"normalized", in.normalized}, {"mouse", in.mouse}});
    for (size_t i = 0; i < fx.images.size(); ++i)
        data["images"].push_back({{"name", fx.images[i].name}, {"file", imageFiles[i]}});
    std::string sizes;
    for (size_t i = 0; i < fx.passes.size(); ++i) {
        const Pass& pass = fx.passes[i];
        nlohmann::json samplers = nlohmann::json::array();
        for (const Binding& b : pass.samplers)
            samplers.push_back({{"uniform", b.uniform}, {"source", b.source}, {"wrap", b.wrap}, {"filter", b.filter}});
        data["passes"].push_back({{"shader", pass.shader}, {"target", pass.target}, {"floating", pass.floating},
                                  {"persistent", pass.persistent}, {"samplers", samplers}});
        const std::string index = "FX.passes[" + std::to_string(i) + "]";
        if (!pass.width.empty()) sizes += index + ".width = function (W, H, v) { return (" + pass.width + "); };\n";
        if (!pass.height.empty()) sizes += index + ".height = function (W, H, v) { return (" + pass.height + "); };\n";
    }
    return "// Written by lumivex import: what the imported shader declares. The\n"
           "// code after it is the same for every imported effect.\n"
           "var FX = " + data.dump(1) + ";\n" + sizes + "\n" + kRuntimeScript;
}

}  // namespace

Report writeEffect(Effect& fx, const std::string& outDir) {
    Report& report = fx.report;
    {
        CompileSession session;
        std::string firstLog;
        bool built = false;
        for (const std::string& version : fx.versions) {
            std::string log;
            for (const Pass& pass : fx.passes) {
                log = session.errors(version + pass.code);
                if (!log.empty()) {
                    log = pass.shader + ": " + log;
                    break;
                }
            }
            if (log.empty()) {
                report.version = version.empty() ? "" : version.substr(0, version.size() - 1);
                built = true;
                break;
            }
            if (firstLog.empty()) firstLog = log;
        }
        if (!built) throw ImportError(fx.file + ": does not compile in any GLSL version tried; " + firstLog);
    }

    const fs::path folder(outDir);
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder)) throw std::runtime_error("cannot create folder '" + outDir + "'");
    const std::string version = report.version.empty() ? "" : report.version + "\n";
    for (const Pass& pass : fx.passes) writeText(folder / (pass.shader + ".frag"), version + pass.code);
    writeText(folder / "lx_clear.frag", kClearShader);
    std::vector<std::string> imageFiles;
    for (const Image& image : fx.images) {
        const std::string name = image.name + fs::path(image.path).extension().string();
        if (fs::exists(folder / name) && fs::equivalent(image.path, folder / name)) {
            imageFiles.push_back(name);
            continue;
        }
        fs::copy_file(image.path, folder / name, fs::copy_options::overwrite_existing, error);
        if (error) throw std::runtime_error("cannot copy '" + image.path + "' into '" + outDir + "': " + error.message());
        imageFiles.push_back(name);
    }
    writeText(folder / "fx.js", script(fx, imageFiles));
    const std::string name = effectName(fx.name);
    const std::string about = fx.about.empty() ? name : name + "\n" + fx.about;
    writeText(folder / "config.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<!-- Written by lumivex import. FLAGS: deep colour; FLAGS2: smart render and float colour. -->\n"
              "<FXNAME>" + name + "</FXNAME>\n<ABOUT>" + xmlEscaped(about) + "</ABOUT>\n<AGEP_ID>" + name +
              "</AGEP_ID>\n<CATEGORY>" + xmlEscaped(fx.category.empty() ? "Imported" : fx.category) +
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
        else throw ImportError(file + ": unknown kind of file (expected .fs, .glsl or .json)");
    } catch (const nlohmann::json::exception& e) {
        // A value of an unexpected type where the reader asked for one.
        throw ImportError(file + ": " + e.what());
    }
    fx.file = file;
    return writeEffect(fx, outDir.empty() ? fs::path(file).stem().string() : outDir);
}

}  // namespace importer
