// Shadertoy: GLSL ES 3.00 code defining mainImage(out vec4, in vec2), either
// a bare ".glsl" file (one Image pass) or a JSON export with Buffer A to D,
// Common code and channel inputs. Buffers are float targets that keep their
// last frame, so a buffer reading itself sees its previous frame.
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "Effect.h"

namespace importer {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const char* const kHeader =
    "uniform vec3 iResolution;\nuniform float iTime;\nuniform float iTimeDelta;\nuniform int iFrame;\n"
    "uniform float iFrameRate;\nuniform vec4 iMouse;\nuniform vec4 iDate;\nuniform float iSampleRate;\n"
    "uniform sampler2D iChannel0;\nuniform sampler2D iChannel1;\nuniform sampler2D iChannel2;\n"
    "uniform sampler2D iChannel3;\nuniform vec3 lx_res0;\nuniform vec3 lx_res1;\nuniform vec3 lx_res2;\n"
    "uniform vec3 lx_res3;\nvec3 iChannelResolution[4];\nfloat iChannelTime[4];\n"
    "#define iGlobalTime iTime\n#define HW_PERFORMANCE 1\n";

// Buffer names by the ids exports use for their outputs and inputs.
std::string bufferOf(const json& id) {
    static const std::map<std::string, std::string> ids = {{"4dXGR8", "A"}, {"XsXGR8", "B"}, {"4sXGR8", "C"},
                                                           {"XdfGR8", "D"}, {"257", "A"},    {"258", "B"},
                                                           {"259", "C"},    {"260", "D"}};
    const std::string key = id.is_string() ? id.get<std::string>() : id.dump();
    const auto it = ids.find(key);
    return it == ids.end() ? "" : it->second;
}

// Images tile as Shadertoy's textures do; the layer and buffers clamp.
std::string wrapFor(const std::string& source) { return source.rfind("image:", 0) == 0 ? "repeat" : "clamp"; }

struct Reader {
    std::string file, text;
    const Options& options;
    Effect fx;
    bool mouse = false;
    std::string ownVersion;  // the file's own #version line, tried first

    int line(const std::string& needle) const { return lineOf(text, text.find(needle)); }

    // The source of channel `n` given on the command line, if any.
    bool channelOption(int n, std::string& source, const std::string& self) {
        const auto it = options.channels.find(n);
        if (it == options.channels.end()) return false;
        const std::string& v = it->second;
        if (v == "layer") source = "input";
        else if (v == "buffer") source = "target:" + self;
        else if (v.size() == 1 && v[0] >= 'A' && v[0] <= 'D') source = "target:" + v;
        else source = imageSource(v, "--channel " + std::to_string(n));
        return true;
    }

    std::string imageSource(const std::string& path, const std::string& what) {
        if (!fs::is_regular_file(path))
            throw ImportError(what.empty() ? file : what, 0, "image file '" + path + "' not found");
        const std::string name = "channel" + std::to_string(fx.images.size());
        fx.images.push_back({name, path});
        return "image:" + name;
    }

    std::string layerParameter(int n, const std::string& pass) {
        const std::string name = "iChannel" + std::to_string(n) + (pass == "Image" ? "" : "_" + pass);
        for (const Input& in : fx.inputs)
            if (in.name == name) return "param:" + name;
        Input in;
        in.name = name;
        in.label = pass == "Image" ? "Channel " + std::to_string(n) : pass + " channel " + std::to_string(n);
        in.type = "image";
        fx.inputs.push_back(in);
        return "param:" + name;
    }

    // GLSL of one pass: the shared header, the Common code and the pass.
    std::string passCode(std::string common, std::string code, bool image, int codeLine) {
        for (std::string* part : {&common, &code})
            if (const std::string version = takeOwnVersion(*part); !version.empty()) ownVersion = version;
        if (findIdentifier(code, "mainImage") == std::string::npos) refuse(file, codeLine, "no mainImage function");
        if (const size_t p = findIdentifier(common + "\n" + code, "samplerCube"); p != std::string::npos)
            refuse(file, codeLine, "cube map samplers are not supported");
        mouse = mouse || findIdentifier(common + code, "iMouse") != std::string::npos;
        // The Common code's lines and the pass's own are numbered as they
        // stand, so that compiler messages can name them.
        std::string both = (common.empty() ? "" : originDirective(2) + dropRedeclarations(common, kHeader) + "\n") +
                           originDirective(1) + dropRedeclarations(code, kHeader);
        const std::string helpers = routeSampling(both);
        return originDirective(0) + kHeader + helpers + both + "\n" + originDirective(0) +
               "void main() {\n"
               "    lx_FragCoord = vec4(gl_TexCoord[0].x * iResolution.x, (1.0 - gl_TexCoord[0].y) * iResolution.y,"
               " gl_FragCoord.zw);\n"
               "    iChannelResolution[0] = lx_res0; iChannelResolution[1] = lx_res1;\n"
               "    iChannelResolution[2] = lx_res2; iChannelResolution[3] = lx_res3;\n"
               "    for (int i = 0; i < 4; ++i) iChannelTime[i] = iTime;\n"
               "    vec4 color = vec4(0.0, 0.0, 0.0, 1.0);\n"
               "    mainImage(color, lx_FragCoord.xy);\n" +
               std::string(image ? "    gl_FragColor = vec4(color.rgb, 1.0);\n" : "    gl_FragColor = color;\n") +
               "}\n";
    }

    void finish() {
        if (mouse) {
            Input in;
            in.name = "iMouse";
            in.label = "Mouse";
            in.type = "point2D";
            in.mouse = true;
            in.value = {0, 0};
            fx.inputs.push_back(in);
            fx.report.mapped.push_back("iMouse: point parameter \"Mouse\" in pixels (at its default: no click)");
        }
        fx.versions = {"#version 330 compatibility\n", "#version 450 compatibility\n", "#version 130\n"};
        if (!ownVersion.empty()) fx.versions.insert(fx.versions.begin(), ownVersion);
        fx.category = "Shadertoy";
    }

    void bare() {
        Pass pass;
        pass.shader = fs::path(file).stem().string();
        bool selfRead = false;
        for (int n = 0; n < 4; ++n) {
            const std::string uniform = "iChannel" + std::to_string(n);
            std::string source;
            if (!channelOption(n, source, "Image")) {
                if (findIdentifier(text, uniform) == std::string::npos) continue;
                source = n == 0 ? "input" : layerParameter(n, "Image");
            }
            selfRead = selfRead || source == "target:Image";
            pass.samplers.push_back({uniform, source, wrapFor(source)});
            fx.report.mapped.push_back(uniform + ": " + describe(source));
        }
        if (selfRead) pass.target = "Image", pass.floating = true;
        pass.code = passCode("", text, true, 1);
        pass.origins = {{file, ""}};
        fx.passes.push_back(pass);
    }

    std::string describe(const std::string& source) {
        if (source == "input") return "the layer";
        if (source.rfind("param:", 0) == 0) return "layer parameter";
        if (source.rfind("image:", 0) == 0) {
            for (const Image& image : fx.images)
                if ("image:" + image.name == source) return "image " + fs::path(image.path).filename().string();
        }
        if (source.rfind("target:", 0) == 0) return "buffer " + source.substr(7) + " (its latest frame)";
        return "black";
    }

    // What channel `n` of pass `self` reads, as an export's input names it.
    Binding channel(const json& in, int n, const std::string& self) {
        const std::string ctype = in.value("ctype", in.value("type", ""));
        const std::string src = in.value("src", in.value("filepath", ""));
        const std::string what = self + " iChannel" + std::to_string(n);
        const json sampler = in.value("sampler", json::object());
        Binding b;
        b.wrap = sampler.value("wrap", ctype == "texture" ? "repeat" : "clamp");
        b.filter = sampler.value("filter", "linear") == "nearest" ? "nearest" : "linear";
        if (ctype == "buffer") {
            std::string letter = bufferOf(in.value("id", json()));
            const size_t numbered = src.find("buffer0");
            if (letter.empty() && numbered != std::string::npos && numbered + 7 < src.size() &&
                src[numbered + 7] >= '0' && src[numbered + 7] <= '3')
                letter = std::string(1, static_cast<char>('A' + (src[numbered + 7] - '0')));
            if (letter.empty())
                refuse(file, line(src.empty() ? ctype : src), what + ": a buffer that is none of A to D");
            b.source = "target:" + letter;
        } else if (ctype == "texture") {
            const fs::path beside = fs::path(file).parent_path() / fs::path(src).filename();
            if (!src.empty() && fs::is_regular_file(beside)) {
                b.source = imageSource(beside.string(), "");
            } else {
                b.source = layerParameter(n, self);
                fx.report.notes.push_back(what + ": texture " + src +
                                          " not found beside the file; a layer parameter instead");
            }
        } else if (ctype == "keyboard") {
            b.source = "empty";
            fx.report.notes.push_back(what + ": keyboard, no key ever pressed");
        } else if (ctype == "video" || ctype == "webcam") {
            b.source = "input";
        } else if (ctype == "music" || ctype == "musicstream" || ctype == "mic") {
            refuse(file, line(src.empty() ? ctype : src), what + ": " + ctype + " input (audio is not supported)");
        } else {
            refuse(file, line(src.empty() ? ctype : src), what + ": " + ctype + " input is not supported");
        }
        return b;
    }

    void exported() {
        json root;
        try {
            root = json::parse(dropTrailingCommas(text));
        } catch (const json::parse_error& e) {
            refuse(file, lineOf(text, e.byte), std::string("not valid JSON: ") + e.what());
        }
        if (root.is_array() && !root.empty()) root = root[0];
        if (root.contains("Shader")) root = root["Shader"];
        if (!root.contains("renderpass") || !root["renderpass"].is_array())
            refuse(file, 1, "no \"renderpass\" list (not a Shadertoy export)");
        const json info = root.value("info", json::object());
        if (info.contains("name") && info["name"].is_string() && options.name.empty()) fx.name = info["name"];
        fx.about = info.value("description", "");
        if (info.contains("username")) fx.about += "\nBy " + info["username"].get<std::string>() + " on Shadertoy";

        std::string common;
        std::map<std::string, json> passes;  // "A".."D", "Image"
        for (const json& rp : root["renderpass"]) {
            const std::string type = rp.value("type", "");
            const std::string name = rp.value("name", "");
            if (type == "common") common = rp.value("code", "");
            else if (type == "image") passes["Image"] = rp;
            else if (type == "buffer") {
                std::string letter;
                if (rp.contains("outputs") && !rp["outputs"].empty())
                    letter = bufferOf(rp["outputs"][0].value("id", json()));
                if (letter.empty() && name.size() == 8 && name.rfind("Buffer ", 0) == 0) letter = name.substr(7);
                if (letter.empty()) refuse(file, line(name), "buffer pass \"" + name + "\" has no known output");
                passes[letter] = rp;
            } else if (type == "sound") {
                fx.report.notes.push_back("sound pass left out (audio is not supported)");
            } else {
                refuse(file, line("\"" + type + "\""), "pass type \"" + type + "\" is not supported");
            }
        }
        if (!passes.count("Image")) refuse(file, 1, "no Image pass");
        if (!common.empty()) fx.report.mapped.push_back("Common code: in every pass");
        for (const char* order : {"A", "B", "C", "D", "Image"}) {
            if (!passes.count(order)) continue;
            const json& rp = passes[order];
            const std::string self = order;
            Pass pass;
            pass.shader = self == "Image" ? "image" : std::string("buffer") + order;
            if (self != "Image") pass.target = self, pass.floating = true, pass.persistent = true;
            const std::string code = rp.value("code", "");
            const int codeLine = line(code.substr(0, std::min<size_t>(code.size(), 40)));
            std::map<int, Binding> channels;
            for (const json& in : rp.value("inputs", json::array())) {
                const int n = in.value("channel", -1);
                if (n >= 0 && n <= 3) channels[n] = channel(in, n, self);
            }
            for (int n = 0; n < 4; ++n) {
                Binding& b = channels[n];
                if (self == "Image" && channelOption(n, b.source, "Image")) b.wrap = wrapFor(b.source);
                if (b.source.empty()) continue;
                if (b.source == "target:Image") pass.target = "Image", pass.floating = true;
                b.uniform = "iChannel" + std::to_string(n);
                pass.samplers.push_back(b);
                fx.report.mapped.push_back(self + " iChannel" + std::to_string(n) + ": " + describe(b.source));
            }
            pass.code = passCode(common, code, self == "Image", codeLine);
            pass.origins = {{file, self == "Image" ? "Image" : "Buffer " + self}, {file, "Common"}};
            fx.report.mapped.push_back(self == "Image" ? "Image pass"
                                                       : "Buffer " + self + ": float target kept from frame to frame");
            fx.passes.push_back(pass);
        }
    }
};

}  // namespace

Effect readShadertoy(const std::string& file, const Options& options) {
    Reader reader{file, stripBom(readFile(file)), options, Effect{}, false, ""};
    reader.fx.name = options.name.empty() ? fs::path(file).stem().string() : options.name;
    if (fs::path(file).extension() == ".json") reader.exported();
    else reader.bare();
    reader.finish();
    return reader.fx;
}

}  // namespace importer
