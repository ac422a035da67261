// ISF: a JSON header in the first comment, then GLSL that reads its inputs,
// pass targets and images by name through the IMG_ functions. An optional
// ".vs" beside the ".fs" computes varyings per vertex; they are recomputed
// here per fragment from the values at the four corners of the quad.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "Effect.h"

namespace importer {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Source {
    std::string file, text;
    int line(const std::string& needle) const { return lineOf(text, text.find(needle)); }
    [[noreturn]] void refuseAt(const std::string& needle, const std::string& what) const {
        refuse(file, line(needle), what);
    }
};

std::vector<double> numbers(const json& value) {
    std::vector<double> out;
    if (value.is_number()) out.push_back(value.get<double>());
    if (value.is_boolean()) out.push_back(value.get<bool>() ? 1 : 0);
    if (value.is_array())
        for (const json& v : value)
            if (v.is_number()) out.push_back(v.get<double>());
    return out;
}

std::string text(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// A WIDTH or HEIGHT expression as JavaScript over W, H and v (input values).
std::string sizeExpression(const json& value, const Source& src, const std::set<std::string>& inputs) {
    if (value.is_number()) return std::to_string(value.get<double>());
    if (!value.is_string()) return "";
    static const std::set<std::string> math = {"floor", "ceil", "round", "max", "min", "abs", "pow",
                                               "sqrt",  "log",  "exp",   "sin", "cos", "tan"};
    const std::string expr = value.get<std::string>();
    std::string out;
    for (size_t i = 0; i < expr.size();) {
        const char c = expr[i];
        if (c == '$' || std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = i + 1;
            while (end < expr.size() && (std::isalnum(static_cast<unsigned char>(expr[end])) || expr[end] == '_'))
                ++end;
            const std::string word = expr.substr(i, end - i);
            if (word == "$WIDTH") out += "W";
            else if (word == "$HEIGHT") out += "H";
            else if (word[0] == '$' && inputs.count(word.substr(1))) out += "v[\"" + word.substr(1) + "\"]";
            else if (math.count(word)) out += "Math." + word;
            else src.refuseAt(expr, "size expression \"" + expr + "\": unknown name '" + word + "'");
            i = end;
        } else if (std::strchr("0123456789.+-*/()%<>=!?:&|, \t", c)) {
            out += c;
            ++i;
        } else {
            src.refuseAt(expr, "size expression \"" + expr + "\": unexpected '" + std::string(1, c) + "'");
        }
    }
    return out;
}

// Splits the arguments of a call whose "(" is at `open`; returns the offset
// after ")" or npos when unbalanced.
size_t callArguments(const std::string& code, size_t open, std::vector<std::string>& args) {
    int depth = 0;
    size_t start = open + 1;
    for (size_t i = open; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '(') ++depth;
        else if (c == ')' && --depth == 0) {
            args.push_back(code.substr(start, i - start));
            return i + 1;
        } else if (c == ',' && depth == 1) {
            args.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    return std::string::npos;
}

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    const size_t b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Expands the IMG_ functions into reads of the sampler and its size uniform.
std::string expandImageCalls(const std::string& code, const Source& src) {
    static const std::map<std::string, size_t> arity = {
        {"IMG_PIXEL", 2}, {"IMG_NORM_PIXEL", 2}, {"IMG_THIS_PIXEL", 1}, {"IMG_THIS_NORM_PIXEL", 1}, {"IMG_SIZE", 1}};
    std::string out = code;
    for (;;) {
        size_t at = std::string::npos;
        std::string word;
        for (const auto& entry : arity) {
            const size_t p = findIdentifier(out, entry.first);
            if (p < at) at = p, word = entry.first;
        }
        if (at == std::string::npos) return out;
        const size_t open = out.find_first_not_of(" \t\r\n", at + word.size());
        std::vector<std::string> args;
        const size_t end =
            open == std::string::npos || out[open] != '(' ? std::string::npos : callArguments(out, open, args);
        if (end == std::string::npos || args.size() != arity.at(word))
            refuse(src.file, lineOf(out, at), word + " needs " + std::to_string(arity.at(word)) + " argument(s)");
        const std::string image = trim(args[0]);
        const std::string size = "_" + image + "_imgSize";
        std::string call;
        if (word == "IMG_SIZE") call = size;
        else if (word == "IMG_NORM_PIXEL") call = "lx_texture(" + image + ", " + args[1] + ")";
        else if (word == "IMG_PIXEL") call = "lx_texture(" + image + ", (" + args[1] + ") / " + size + ")";
        else if (word == "IMG_THIS_PIXEL") call = "lx_texture(" + image + ", lx_FragCoord.xy / " + size + ")";
        else call = "lx_texture(" + image + ", isf_FragNormCoord)";
        out.replace(at, end - at, call);
    }
}

std::string renamed(const std::string& code, const std::map<std::string, std::string>& names) {
    return editIdentifiers(code, [&](const std::string& word, char, size_t) {
        const auto it = names.find(word);
        return it == names.end() ? word : it->second;
    });
}

const std::regex& varyingDeclaration() {
    static const std::regex re(
        R"(\b(varying|out|in)\s+((?:(?:highp|mediump|lowp|smooth|flat|noperspective)\s+)*)(\w+)\s+([\w\s,\[\]+*-]+);)");
    return re;
}

// One name of a declaration's list, an array when `size` (as written) is set.
struct Varying {
    std::string type, name, size;
};

std::vector<Varying> declaredNames(const std::string& type, const std::string& list) {
    std::vector<Varying> out;
    for (size_t a = 0; a < list.size();) {
        size_t b = list.find(',', a);
        if (b == std::string::npos) b = list.size();
        const std::string item = trim(list.substr(a, b - a));
        const size_t open = item.find('[');
        if (open == std::string::npos) {
            out.push_back({type, item, ""});
        } else {
            const size_t close = std::min(item.find(']', open), item.size());
            out.push_back({type, trim(item.substr(0, open)), trim(item.substr(open + 1, close - open - 1))});
        }
        a = b + 1;
    }
    return out;
}

std::string newlinesIn(std::string::const_iterator from, std::string::const_iterator to) {
    return std::string(static_cast<size_t>(std::count(from, to, '\n')), '\n');
}

// The vertex stage as a function of the corner (lx_vsCoord) and the code
// that interpolates its varyings per fragment; the varyings become globals
// declared where the vertex code declares them.
struct VertexStage {
    std::string declarations, function, interpolation;
    std::set<std::string> names;
};

VertexStage readVertexStage(const Source& vs) {
    VertexStage stage;
    if (const size_t p = findIdentifier(vs.text, "gl_Position"); p != std::string::npos) {
        // isf_vertShaderInit() sets gl_Position; anything else moving it cannot be recomputed.
        refuse(vs.file, lineOf(vs.text, p), "the vertex shader writes gl_Position (moved vertices are not supported)");
    }
    for (const char* word : {"gl_Vertex", "gl_MultiTexCoord0", "gl_ModelViewProjectionMatrix"})
        if (const size_t p = findIdentifier(vs.text, word); p != std::string::npos)
            refuse(vs.file, lineOf(vs.text, p), std::string("the vertex shader reads ") + word);
    std::vector<Varying> varyings;  // one per name
    const std::string& code = vs.text;
    std::smatch m;
    std::string rest;
    std::string::const_iterator from = code.cbegin();
    for (; std::regex_search(from, code.cend(), m, varyingDeclaration()); from = m[0].second) {
        rest.append(from, m[0].first);
        if (m[1] == "in") {
            rest += m[0].str();
            continue;
        }
        const std::string type = m[3];
        const int line = lineOf(code, static_cast<size_t>(m[0].first - code.cbegin()));
        if (m[2].str().find("flat") != std::string::npos || (type != "float" && type.rfind("vec", 0) != 0))
            refuse(vs.file, line, "varying of type " + type + " cannot be interpolated per fragment");
        // A name declared again (as in both branches of an #if on the GLSL
        // version) is the same varying if its type is the same.
        for (const Varying& v : declaredNames(type, m[4])) {
            if (v.name.empty()) continue;
            const auto same =
                std::find_if(varyings.begin(), varyings.end(), [&](const Varying& o) { return o.name == v.name; });
            if (same == varyings.end()) varyings.push_back(v), stage.names.insert(v.name);
            else if (same->type != v.type || same->size != v.size)
                refuse(vs.file, line, "varying \"" + v.name + "\" is declared with two different types");
        }
        // Kept where it stands as a plain global, line for line, so that the
        // preprocessor picks between repeated declarations as it did.
        rest += type + " " + m[4].str() + ";" + newlinesIn(m[0].first, m[4].first);
    }
    rest.append(from, code.cend());
    if (varyings.empty() && rest.find("main") == std::string::npos) return stage;

    stage.function = renamed(rest, {{"main", "lx_vs_main"},
                                    {"isf_vertShaderInit", "lx_vertShaderInit"},
                                    {"vv_vertShaderInit", "lx_vertShaderInit"},
                                    {"isf_FragNormCoord", "lx_vsCoord"},
                                    {"vv_FragNormCoord", "lx_vsCoord"}});
    stage.declarations = "vec2 lx_vsCoord;\nvoid lx_vertShaderInit() {}\n";
    auto corner = [](int c, const Varying& v) { return "lx_c" + std::to_string(c) + "_" + v.name; };
    static const char* corners[4] = {"vec2(0.0, 0.0)", "vec2(1.0, 0.0)", "vec2(0.0, 1.0)", "vec2(1.0, 1.0)"};
    for (int c = 0; c < 4; ++c) {
        stage.interpolation += std::string("    lx_vsCoord = ") + corners[c] + "; lx_vs_main();\n";
        for (const Varying& v : varyings)
            stage.interpolation += "    " + v.type + " " + corner(c, v) + (v.size.empty() ? "" : "[" + v.size + "]") +
                                   " = " + v.name + ";\n";
    }
    for (const Varying& v : varyings) {
        // Arrays element by element.
        const std::string i = v.size.empty() ? "" : "[lx_i]";
        stage.interpolation +=
            std::string(v.size.empty() ? "" : "    for (int lx_i = 0; lx_i < " + v.name + ".length(); ++lx_i)\n    ") +
            "    " + v.name + i + " = mix(mix(" + corner(0, v) + i + ", " + corner(1, v) + i +
            ", isf_FragNormCoord.x), mix(" + corner(2, v) + i + ", " + corner(3, v) + i +
            ", isf_FragNormCoord.x), isf_FragNormCoord.y);\n";
    }
    return stage;
}

// Removes the fragment stage's declarations of the varyings the vertex
// stage computes (they become globals).
std::string dropVaryings(const std::string& code, const std::set<std::string>& names) {
    if (names.empty()) return code;
    std::string out;
    std::smatch m;
    std::string::const_iterator from = code.cbegin();
    while (std::regex_search(from, code.cend(), m, varyingDeclaration())) {
        out.append(from, m[0].first);
        bool ours = m[1] != "out";
        for (const Varying& v : declaredNames("", m[4])) ours = ours && names.count(v.name);
        out += ours ? newlinesIn(m[0].first, m[0].second) : m[0].str();
        from = m[0].second;
    }
    out.append(from, code.cend());
    return out;
}

const char* uniformType(const std::string& type) {
    if (type == "float") return "float";
    if (type == "bool" || type == "event") return "bool";
    if (type == "long") return "int";
    if (type == "point2D") return "vec2";
    if (type == "color") return "vec4";
    return nullptr;
}

std::string samplerDeclarations(const std::string& name) {
    return "uniform sampler2D " + name + ";\nuniform vec2 _" + name + "_imgSize;\nuniform vec4 _" + name +
           "_imgRect;\nuniform bool _" + name + "_flip;\n";
}

// Whether the code divides (or, `scaled`, multiplies) point `name`, whole or
// one of its components, by RENDERSIZE or one of its components.
bool usedWithRenderSize(const std::string& name, const std::string& code, bool scaled) {
    static const std::string component = R"((?:\s*\.\s*[xyrgstpq]{1,2}\b|\s*\[[^\]\n]*\])?)";
    static const std::regex pointThen(component + R"(\s*([*/])\s*RENDERSIZE\b)");
    static const std::regex sizeTimes(component + R"(\s*\*\s*(\w+))");
    const auto here = std::regex_constants::match_continuous;  // right after the word
    bool found = false;
    editIdentifiers(code, [&](const std::string& word, char, size_t at) {
        std::smatch m;
        const auto after = code.cbegin() + static_cast<long>(at + word.size());
        if (word == name && std::regex_search(after, code.cend(), m, pointThen, here))
            found = found || (m[1] == "*") == scaled;
        else if (scaled && word == "RENDERSIZE" && std::regex_search(after, code.cend(), m, sizeTimes, here))
            found = found || m[1] == name;
        return word;
    });
    return found;
}

// Whether a point input is in 0..1 of the render size rather than in pixels,
// as ISF has them unless the file says otherwise. It is when the code scales
// it by RENDERSIZE, or when the file's own numbers all lie within 0 to 1 and
// are not all 0; never when the code divides it by RENDERSIZE or a number
// lies outside -1 to 1.
bool normalizedPoint(const Input& in, const json& entry, const std::string& code) {
    if (usedWithRenderSize(in.name, code, false)) return false;
    bool fraction = false;
    for (const char* key : {"DEFAULT", "MIN", "MAX"})
        if (entry.contains(key))
            for (double v : numbers(entry[key])) {
                if (std::fabs(v) > 1.0) return false;
                fraction = fraction || v != 0.0;
            }
    return fraction || usedWithRenderSize(in.name, code, true);
}

// One entry of INPUTS as a parameter (or the layer, for inputImage).
Input readInput(const json& entry, const Source& src, const std::string& code, const Options& options, Report& report) {
    if (!entry.is_object()) src.refuseAt("INPUTS", "INPUTS holds something that is not an object");
    Input in;
    in.name = text(entry, "NAME");
    in.type = text(entry, "TYPE");
    in.label = text(entry, "LABEL");
    if (in.label.empty()) in.label = in.name;
    const std::string where = "\"" + in.name + "\"";
    if (in.name.empty()) src.refuseAt("INPUTS", "an input without NAME");
    if (in.type == "audio" || in.type == "audioFFT")
        src.refuseAt(where, "input \"" + in.name + "\" of type " + in.type + ": audio is not supported");
    if (in.type == "image") {
        report.mapped.push_back(in.name == "inputImage" ? "inputImage: the layer the effect is applied to"
                                                        : "image \"" + in.name + "\": layer parameter");
        return in;
    }
    if (!uniformType(in.type)) src.refuseAt(where, "input \"" + in.name + "\" of unknown type \"" + in.type + "\"");
    in.value = numbers(entry.value("DEFAULT", json()));
    const std::vector<double> lo = numbers(entry.value("MIN", json())), hi = numbers(entry.value("MAX", json()));
    if (in.type == "float") {
        const double def = in.value.empty() ? 0.0 : in.value[0];
        in.min = lo.empty() ? std::min(0.0, def) : lo[0];
        in.max = hi.empty() ? std::max(1.0, def) : hi[0];
        if (in.value.empty()) in.value = {def};
    } else if (in.type == "long") {
        in.values = numbers(entry.value("VALUES", json()));
        for (const json& l : entry.value("LABELS", json::array()))
            in.labels.push_back(l.is_string() ? l.get<std::string>() : l.dump());
        // Without VALUES: the entries are numbered from 0, or run from MIN to MAX.
        const double first = lo.empty() ? 0.0 : lo[0];
        const double count = in.values.empty() ? (hi.empty() ? in.labels.size() : hi[0] - first + 1) : 0;
        for (double v = 0; v < count && v < 256; ++v) in.values.push_back(first + v);
        in.labels.resize(in.values.size());
        for (size_t i = 0; i < in.labels.size(); ++i)
            if (in.labels[i].empty()) in.labels[i] = std::to_string(static_cast<long>(in.values[i]));
        if (in.values.size() < 2)
            src.refuseAt(where, "input \"" + in.name + "\" of type long has fewer than two VALUES");
        if (in.value.empty()) in.value = {in.values[0]};
    } else if (in.type == "point2D") {
        in.value.resize(2, 0.0);
        in.normalized = normalizedPoint(in, entry, code);
        report.notes.push_back("point2D \"" + in.name + "\": the shader gets " +
                               (in.normalized ? "0..1 of the render size" : "pixels") +
                               " (y up); its default shows where a " + std::to_string(options.width) + "x" +
                               std::to_string(options.height) + " layer has it");
    } else if (in.type == "color") {
        in.value.resize(4, 1.0);
        if (in.value[3] != 1.0)
            report.notes.push_back("color \"" + in.name + "\": alpha stays at its default " +
                                   std::to_string(in.value[3]));
    } else if (in.value.empty()) {
        in.value = {0.0};
    }
    report.mapped.push_back(in.type + " \"" + in.name + "\": parameter \"" + in.label + "\"");
    return in;
}

// A pass flag written as true, 1 or "true".
bool flag(const json& entry, const char* key) {
    const auto it = entry.find(key);
    if (it == entry.end()) return false;
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number()) return it->get<double>() != 0;
    return it->is_string() && (*it == "true" || *it == "1" || *it == "YES");
}

// PASSES, with version 1's PERSISTENT_BUFFERS (names, or sizes by name).
std::vector<Pass> readPasses(const json& header, const Source& src, const std::set<std::string>& valueInputs,
                             Report& report) {
    std::map<std::string, json> persistentV1;
    const json buffers = header.value("PERSISTENT_BUFFERS", json());
    if (buffers.is_array())
        for (const json& b : buffers)
            if (b.is_string()) persistentV1[b.get<std::string>()] = json::object();
    if (buffers.is_object())
        for (const auto& item : buffers.items()) persistentV1[item.key()] = item.value();
    json passes = header.value("PASSES", json::array());
    if (!passes.is_array() || passes.empty()) passes = json::array({json::object()});
    const std::string stem = fs::path(src.file).stem().string();
    std::vector<Pass> out;
    for (size_t i = 0; i < passes.size(); ++i) {
        const json& entry = passes[i].is_object() ? passes[i] : json::object();
        Pass pass;
        pass.shader = stem + (passes.size() > 1 ? "_pass" + std::to_string(i) : "");
        pass.target = text(entry, "TARGET");
        pass.persistent = flag(entry, "PERSISTENT") || persistentV1.count(pass.target);
        pass.floating = flag(entry, "FLOAT");
        const json& sizes =
            persistentV1.count(pass.target) && !entry.contains("WIDTH") ? persistentV1[pass.target] : entry;
        if (sizes.is_object()) {
            pass.width = sizeExpression(sizes.value("WIDTH", json()), src, valueInputs);
            pass.height = sizeExpression(sizes.value("HEIGHT", json()), src, valueInputs);
        }
        report.mapped.push_back("pass " + std::to_string(i) +
                                (pass.target.empty() ? "" : " -> \"" + pass.target + "\"") +
                                (pass.persistent ? ", persistent" : "") + (pass.floating ? ", float" : "") +
                                (pass.width.empty() && pass.height.empty() ? "" : ", sized by expression"));
        out.push_back(pass);
    }
    return out;
}

}  // namespace

Effect readIsf(const std::string& file, const Options& options) {
    Source src{file, stripBom(readFile(file))};
    const size_t open = src.text.find("/*");
    const size_t close = open == std::string::npos ? open : src.text.find("*/", open);
    if (open == std::string::npos || close == std::string::npos)
        refuse(file, 1, "no ISF header (a JSON object in the first /* */ comment)");
    json header;
    try {
        header = json::parse(dropTrailingCommas(src.text.substr(open + 2, close - open - 2)), nullptr, true, true);
    } catch (const json::parse_error& e) {
        refuse(file, lineOf(src.text, open + 2 + e.byte), std::string("ISF header is not valid JSON: ") + e.what());
    }
    if (!header.is_object()) refuse(file, 1, "ISF header is not a JSON object");

    Effect fx;
    fx.name = options.name.empty() ? fs::path(file).stem().string() : options.name;
    fx.about = text(header, "DESCRIPTION");
    if (const std::string credit = text(header, "CREDIT"); !credit.empty())
        fx.about += (fx.about.empty() ? "" : "\n") + std::string("Credit: ") + credit;
    if (header.contains("CATEGORIES") && header["CATEGORIES"].is_array() && !header["CATEGORIES"].empty() &&
        header["CATEGORIES"][0].is_string())
        fx.category = header["CATEGORIES"][0].get<std::string>();
    fx.versions = {"#version 120\n", "#version 330 compatibility\n", "#version 450 compatibility\n", ""};
    Report& report = fx.report;

    std::string code = src.text;
    if (const std::string own = takeOwnVersion(code); !own.empty()) fx.versions.insert(fx.versions.begin(), own);
    std::string header_glsl =
        "uniform vec2 RENDERSIZE;\nuniform float TIME;\nuniform float TIMEDELTA;\nuniform int FRAMEINDEX;\n"
        "uniform vec4 DATE;\nuniform int PASSINDEX;\nvec2 isf_FragNormCoord;\n";
    std::vector<std::string> samplers;
    std::set<std::string> valueInputs;

    std::set<std::string> seen;
    for (const json& entry : header.value("INPUTS", json::array())) {
        Input in = readInput(entry, src, code, options, report);
        if (!seen.insert(in.name).second)
            src.refuseAt("\"" + in.name + "\"", "input \"" + in.name + "\" declared twice");
        if (in.type == "image") {
            samplers.push_back(in.name);
            if (in.name == "inputImage") continue;
        } else {
            header_glsl += std::string("uniform ") + uniformType(in.type) + " " + in.name + ";\n";
            valueInputs.insert(in.name);
        }
        fx.inputs.push_back(in);
    }

    // Imported images: an object by name (version 2) or a list with NAME (version 1).
    const fs::path folder = fs::path(file).parent_path();
    const json imported = header.value("IMPORTED", json::object());
    auto importImage = [&](const std::string& name, const json& entry) {
        if (text(entry, "TYPE") == "cube" || (entry.contains("PATH") && entry["PATH"].is_array()))
            src.refuseAt("\"" + name + "\"", "imported cube map \"" + name + "\" is not supported");
        const std::string path = (folder / text(entry, "PATH")).string();
        if (text(entry, "PATH").empty() || !fs::is_regular_file(path))
            src.refuseAt("\"" + name + "\"", "imported image \"" + name + "\": file '" + path + "' not found");
        fx.images.push_back({name, path});
        samplers.push_back(name);
        report.mapped.push_back("imported image \"" + name + "\": " + fs::path(path).filename().string());
    };
    if (imported.is_object())
        for (const auto& item : imported.items()) importImage(item.key(), item.value());
    else if (imported.is_array())
        for (const json& entry : imported) importImage(text(entry, "NAME"), entry);

    fx.passes = readPasses(header, src, valueInputs, report);
    for (const Pass& pass : fx.passes)
        if (!pass.target.empty() && std::find(samplers.begin(), samplers.end(), pass.target) == samplers.end())
            samplers.push_back(pass.target);

    for (const std::string& s : samplers) header_glsl += samplerDeclarations(s);

    // The vertex stage, if the file has one.
    VertexStage stage;
    const fs::path vsPath = fs::path(file).replace_extension(".vs");
    if (fs::is_regular_file(vsPath)) {
        const Source vs{vsPath.string(), stripBom(readFile(vsPath.string()))};
        stage = readVertexStage(vs);
        if (!stage.function.empty())
            report.mapped.push_back(vsPath.filename().string() + ": varyings computed at the corners and interpolated");
    }

    code = dropVaryings(code, stage.names);
    code = expandImageCalls(renamed(code, {{"vv_FragNormCoord", "isf_FragNormCoord"}}), src);
    code = editIdentifiers(code, [](const std::string& w, char next, size_t) {
        return w == "main" && next == '(' ? std::string("lx_isf_main") : w;
    });
    std::string vsCode = stage.function;
    takeOwnVersion(vsCode);
    vsCode = dropRedeclarations(expandImageCalls(vsCode, src), header_glsl);
    // The vertex stage's lines and the file's own are numbered as in their
    // files, so that compiler messages can name them.
    std::string both = (vsCode.empty() ? "" : originDirective(2) + vsCode + "\n") + originDirective(1) +
                       dropRedeclarations(code, header_glsl);
    const std::string helpers = routeSampling(both);
    if (findIdentifier(code, "lx_isf_main") == std::string::npos) refuse(file, 0, "no main function");

    std::string body =
        originDirective(0) + header_glsl + stage.declarations + helpers + both + "\n" + originDirective(0) +
        "void main() {\n"
        "    lx_FragCoord = vec4(gl_TexCoord[0].x * RENDERSIZE.x, (1.0 - gl_TexCoord[0].y) * RENDERSIZE.y,"
        " gl_FragCoord.zw);\n"
        "    isf_FragNormCoord = lx_FragCoord.xy / RENDERSIZE;\n" +
        stage.interpolation + "    lx_isf_main();\n}\n";
    std::vector<Binding> bindings;
    for (const std::string& s : samplers) {
        std::string source = "target:" + s;
        if (s == "inputImage") source = "input";
        for (const Image& image : fx.images)
            if (image.name == s) source = "image:" + s;
        for (const Input& in : fx.inputs)
            if (in.name == s) source = "param:" + s;
        bindings.push_back({s, source});
    }
    for (Pass& pass : fx.passes) {
        pass.code = body;
        pass.samplers = bindings;
        pass.origins = {{file, ""}, {vsPath.string(), ""}};
    }
    return fx;
}

}  // namespace importer
