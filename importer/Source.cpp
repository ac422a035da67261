// Text helpers shared by the dialect readers: reading, JSON clean-up, an
// identifier scanner that skips comments, and the sampling helpers that keep
// texture reads in the file's orientation and the engine's channel order.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

#include "Effect.h"

namespace importer {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read '" + path + "'");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string stripBom(std::string text) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    return text;
}

std::string dropTrailingCommas(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    bool inString = false;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < json.size()) out += json[++i];
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        if (c == ',') {
            const size_t next = json.find_first_not_of(" \t\r\n", i + 1);
            if (next != std::string::npos && (json[next] == ']' || json[next] == '}')) continue;
        }
        out += c;
    }
    return out;
}

int lineOf(const std::string& text, size_t offset) {
    if (offset == std::string::npos || offset > text.size()) return 0;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(offset), '\n'));
}

ImportError::ImportError(const std::string& f, int l, const std::string& m)
    : std::runtime_error(f + (l > 0 ? ":" + std::to_string(l) : "") + ": " + m), file(f), line(l), message(m) {}

void refuse(const std::string& file, int line, const std::string& what) { throw ImportError(file, line, what); }

namespace {

const int kOriginLines = 100000, kGeneratedOrigin = 10;

}  // namespace

std::string originDirective(int origin) {
    return "#line " + std::to_string((origin > 0 ? origin - 1 : kGeneratedOrigin - 1) * kOriginLines + 1) + "\n";
}

std::pair<int, int> originOfLine(int line) {
    if (line < 1) return {0, 0};
    const int origin = (line - 1) / kOriginLines + 1;
    return {origin >= kGeneratedOrigin ? 0 : origin, (line - 1) % kOriginLines + 1};
}

namespace {

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}  // namespace

std::string editIdentifiers(const std::string& code,
                            const std::function<std::string(const std::string&, char, size_t)>& edit) {
    std::string out;
    out.reserve(code.size() + 64);
    size_t i = 0;
    while (i < code.size()) {
        const char c = code[i];
        if (c == '/' && i + 1 < code.size() && (code[i + 1] == '/' || code[i + 1] == '*')) {
            const bool line = code[i + 1] == '/';
            size_t end = line ? code.find('\n', i) : code.find("*/", i + 2);
            end = end == std::string::npos ? code.size() : end + (line ? 0 : 2);
            out.append(code, i, end - i);
            i = end;
        } else if (c == '"') {
            size_t end = code.find('"', i + 1);
            end = end == std::string::npos ? code.size() : end + 1;
            out.append(code, i, end - i);
            i = end;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            size_t end = i;
            while (end < code.size() && (identChar(code[end]) || code[end] == '.')) ++end;
            out.append(code, i, end - i);
            i = end;
        } else if (identStart(c)) {
            size_t end = i;
            while (end < code.size() && identChar(code[end])) ++end;
            const size_t next = code.find_first_not_of(" \t\r\n", end);
            out += edit(code.substr(i, end - i), next == std::string::npos ? '\0' : code[next], i);
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

size_t findIdentifier(const std::string& code, const std::string& word) {
    size_t found = std::string::npos;
    editIdentifiers(code, [&](const std::string& w, char, size_t at) {
        if (w == word && found == std::string::npos) found = at;
        return w;
    });
    return found;
}

namespace {

// The engine wraps the first "main(" it finds, comments included; a comment
// that mentions main() must not be taken for the entry point.
std::string quietComments(const std::string& code) {
    std::string out = code;
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        if (out[i] != '/' || (out[i + 1] != '/' && out[i + 1] != '*')) continue;
        const bool line = out[i + 1] == '/';
        size_t end = line ? out.find('\n', i) : out.find("*/", i + 2);
        if (end == std::string::npos) end = out.size();
        for (size_t p = out.find("main", i); p < end; p = out.find("main", p + 4)) out.replace(p, 4, "MAIN");
        i = end;
    }
    return out;
}

// One overload of a sampling built-in of the GLSL versions tried, read in the
// file's orientation (y up) and returned in RGBA. The helper is named
// "lx_" + `builtin` and takes the sampler `s` and `params`.
struct Overload {
    const char* builtin;
    const char* params;
    const char* body;
    bool projective;  // also stands for the textureProj form: a vec3 or vec4 coordinate divided by its last component
};

// The reads below that call texture2D or texture2DLod follow a blank so that
// the engine's rewriting routes them through its channel reordering; the
// others are not rewritten by the engine and reorder themselves (SWIZZLE).
// Offsets are added to the coordinate in texels, which is what the built-ins
// do on textures without mipmaps (and lets the offset be any expression).
const Overload kOverloads[] = {
    {"texture", "vec2 uv", "texture2D(s, lx_flipY(uv))", true},
    {"texture", "vec2 uv, float bias", "texture2D(s, lx_flipY(uv))", true},
    {"textureLod", "vec2 uv, float lod", "texture2DLod(s, lx_flipY(uv), lod)", true},
    {"textureOffset", "vec2 uv, ivec2 off", "texture2D(s, lx_flipY(lx_shift(s, uv, off)))", true},
    {"textureOffset", "vec2 uv, ivec2 off, float bias", "texture2D(s, lx_flipY(lx_shift(s, uv, off)))", true},
    {"textureLodOffset", "vec2 uv, float lod, ivec2 off", "texture2DLod(s, lx_flipY(lx_shift(s, uv, off)), lod)", true},
    {"textureGrad", "vec2 uv, vec2 dx, vec2 dy",
     "textureGrad(s, lx_flipY(uv), vec2(dx.x, -dx.y), vec2(dy.x, -dy.y)).SWIZZLE", true},
    {"textureGradOffset", "vec2 uv, vec2 dx, vec2 dy, ivec2 off",
     "textureGrad(s, lx_flipY(lx_shift(s, uv, off)), vec2(dx.x, -dx.y), vec2(dy.x, -dy.y)).SWIZZLE", true},
    {"texelFetch", "ivec2 p, int lod", "texelFetch(s, ivec2(p.x, textureSize(s, lod).y - 1 - p.y), lod).SWIZZLE",
     false},
    {"texelFetchOffset", "ivec2 p, int lod, ivec2 off", "lx_texelFetch(s, p + off, lod)", false},
    {"textureGather", "vec2 uv", "lx_gather(s, uv, 0)", false},
    {"textureGather", "vec2 uv, int comp", "lx_gather(s, uv, comp)", false},
    {"textureGatherOffset", "vec2 uv, ivec2 off", "lx_gather(s, lx_shift(s, uv, off), 0)", false},
    {"textureGatherOffset", "vec2 uv, ivec2 off, int comp", "lx_gather(s, lx_shift(s, uv, off), comp)", false},
    {"textureGatherOffsets", "vec2 uv, ivec2 off[4]", "lx_gatherOffsets(s, uv, off, 0)", false},
    {"textureGatherOffsets", "vec2 uv, ivec2 off[4], int comp", "lx_gatherOffsets(s, uv, off, comp)", false},
};

// Older names of the same reads.
const std::map<std::string, std::string> kAliases = {{"texture2D", "texture"},
                                                     {"texture2DLod", "textureLod"},
                                                     {"texture2DProj", "textureProj"},
                                                     {"texture2DProjLod", "textureProjLod"}};

// What the helpers build on, by name. textureSize, textureQueryLod and
// textureQueryLevels do not depend on the orientation or the channel order
// and are left as they are.
const std::pair<const char*, const char*> kSupport[] = {
    {"lx_shift",
     "vec2 lx_shift(sampler2D s, vec2 uv, ivec2 off) { return uv + vec2(off) / vec2(textureSize(s, 0)); }\n"},
    // The 2x2 block is the one the file's orientation picks (its rows j0 =
    // floor(v * h - 0.5) and j0 + 1), read here with its rows swapped; the
    // file's component c is stored at c + 1 (the texels are ARGB).
    {"lx_gather",
     "vec4 lx_gather(sampler2D s, vec2 uv, int comp) {\n"
     "    float h = float(textureSize(s, 0).y);\n"
     "    vec2 at = vec2(uv.x, (h - 1.0 - floor(uv.y * h - 0.5)) / h);\n"
     "    vec4 g = comp == 1 ? textureGather(s, at, 2) : comp == 2 ? textureGather(s, at, 3)\n"
     "           : comp == 3 ? textureGather(s, at, 0) : textureGather(s, at, 1);\n"
     "    return g.wzyx; }\n"},
    {"lx_gatherOffsets",
     "vec4 lx_gatherOffsets(sampler2D s, vec2 uv, ivec2 off[4], int comp) {\n"
     "    return vec4(lx_gather(s, lx_shift(s, uv, off[0]), comp).w, lx_gather(s, lx_shift(s, uv, off[1]), comp).w,\n"
     "                lx_gather(s, lx_shift(s, uv, off[2]), comp).w, lx_gather(s, lx_shift(s, uv, off[3]), comp).w); "
     "}\n"},
};

std::string projectiveName(const std::string& builtin) { return "textureProj" + builtin.substr(7); }

// Every helper definition with the name it defines, in an order in which
// each comes after the helpers it calls.
std::vector<std::pair<std::string, std::string>> helperDefinitions() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& support : kSupport) out.emplace_back(support.first, support.second);
    auto define = [&](const std::string& builtin, const std::string& params, const std::string& body) {
        out.emplace_back("lx_" + builtin,
                         "vec4 lx_" + builtin + "(sampler2D s, " + params + ") { return " + body + "; }\n");
    };
    for (const Overload& o : kOverloads) define(o.builtin, o.params, o.body);
    for (const Overload& o : kOverloads) {
        if (!o.projective) continue;
        // The same read with the coordinate divided by its last component.
        const std::string params = o.params;
        const std::string rest = params.substr(std::min(params.find(','), params.size()));
        std::string names;
        for (size_t end = rest.find(','), next; end != std::string::npos; end = next) {
            next = rest.find(',', end + 1);
            const std::string param = rest.substr(end, (next == std::string::npos ? rest.size() : next) - end);
            names += ", " + param.substr(param.rfind(' ') + 1);
        }
        for (const char* coordinate : {"vec3 p", "vec4 p"}) {
            const std::string divided = coordinate[3] == '3' ? "p.xy / p.z" : "p.xy / p.w";
            define(projectiveName(o.builtin), coordinate + rest,
                   "lx_" + std::string(o.builtin) + "(s, " + divided + names + ")");
        }
    }
    return out;
}

// The built-ins routed through the helpers.
const std::set<std::string>& samplingBuiltins() {
    static const std::set<std::string> names = [] {
        std::set<std::string> out;
        for (const Overload& o : kOverloads) {
            out.insert(o.builtin);
            if (o.projective) out.insert(projectiveName(o.builtin));
        }
        for (const auto& alias : kAliases) out.insert(alias.first);
        return out;
    }();
    return names;
}

}  // namespace

std::string routeSampling(std::string& code) {
    code = quietComments(code);
    std::set<std::string> used;
    code = editIdentifiers(code, [&](const std::string& word, char next, size_t) -> std::string {
        if (word == "gl_FragCoord") return "lx_FragCoord";
        if (next != '(' || !samplingBuiltins().count(word)) {
            if (word.rfind("lx_", 0) == 0) used.insert(word);
            return word;
        }
        const auto alias = kAliases.find(word);
        std::string helper = "lx_" + (alias == kAliases.end() ? word : alias->second);
        used.insert(helper);
        return helper;
    });
    static const std::vector<std::pair<std::string, std::string>> definitions = helperDefinitions();
    // The helpers that the used ones call are used too; each calls only
    // helpers defined before it, so one pass from the end finds them all.
    for (auto it = definitions.rbegin(); it != definitions.rend(); ++it)
        if (used.count(it->first))
            editIdentifiers(it->second, [&](const std::string& word, char, size_t) {
                if (word.rfind("lx_", 0) == 0) used.insert(word);
                return word;
            });
    std::string header =
        "vec4 lx_FragCoord;\n"
        "vec2 lx_flipY(vec2 uv) { return vec2(uv.x, 1.0 - uv.y); }\n";
    for (const auto& definition : definitions)
        if (used.count(definition.first)) header += definition.second;
    return header;
}

std::string dropRedeclarations(const std::string& code, const std::string& header) {
    static const std::regex declaration(R"(\b(uniform|varying|in)\s+(\w+)\s+([\w\s,]+);)");
    std::set<std::string> ours;
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it)
        ours.insert((*it)[3].str());
    ours.insert("isf_FragNormCoord");
    std::string out;
    std::string::const_iterator from = code.cbegin();
    for (std::sregex_iterator it(code.begin(), code.end(), declaration), end; it != end; ++it) {
        const std::smatch& m = *it;
        bool redeclared = true;
        std::string list = m[3].str();
        for (size_t a = 0; redeclared && a < list.size();) {
            size_t b = std::min(list.find(',', a), list.size());
            const size_t first = list.find_first_not_of(" \t\r\n", a);
            const size_t last = list.find_last_not_of(" \t\r\n", b - 1);
            redeclared = first < b && ours.count(list.substr(first, last - first + 1)) > 0;
            a = b + 1;
        }
        out.append(from, m[0].first);
        // Kept blank, line for line, so that compiler messages keep their lines.
        out +=
            redeclared ? std::string(static_cast<size_t>(std::count(m[0].first, m[0].second, '\n')), '\n') : m[0].str();
        from = m[0].second;
    }
    out.append(from, code.cend());
    return out;
}

std::string takeOwnVersion(std::string& code) {
    static const std::regex directive(R"((^|\n)[ \t]*#[ \t]*version[ \t]+(\d+)([^\n]*))");
    std::smatch m;
    if (!std::regex_search(code, m, directive)) return "";
    const int number = std::stoi(m[2].str());
    const bool es = m[3].str().find("es") != std::string::npos;
    const size_t at = static_cast<size_t>(m.position(0)) + m[1].length();
    code.replace(at, static_cast<size_t>(m.length(0) - m[1].length()), "");
    if (es || number < 110) return "";
    return "#version " + std::to_string(number) + (number >= 150 ? " compatibility\n" : "\n");
}

}  // namespace importer
