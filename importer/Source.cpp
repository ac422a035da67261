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

#include "importer/Effect.h"

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

void refuse(const std::string& file, int line, const std::string& what) {
    throw ImportError(file + (line > 0 ? ":" + std::to_string(line) : "") + ": " + what);
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

}  // namespace

std::string routeSampling(std::string& code) {
    code = quietComments(code);
    static const std::map<std::string, std::string> calls = {
        {"texture", "lx_texture"},         {"texture2D", "lx_texture"},     {"textureLod", "lx_textureLod"},
        {"texture2DLod", "lx_textureLod"}, {"texelFetch", "lx_texelFetch"}, {"textureGrad", "lx_textureGrad"},
    };
    std::set<std::string> used;
    code = editIdentifiers(code, [&](const std::string& word, char next, size_t) -> std::string {
        if (word == "gl_FragCoord") return "lx_FragCoord";
        const auto call = calls.find(word);
        if (call != calls.end() && next == '(') {
            used.insert(call->second);
            return call->second;
        }
        if (word.rfind("lx_tex", 0) == 0) used.insert(word);
        return word;
    });
    // The calls below follow a blank so that the engine's rewriting routes
    // them through its channel reordering; texelFetch and textureGrad are
    // not rewritten by the engine and reorder themselves.
    std::string header =
        "vec4 lx_FragCoord;\n"
        "vec2 lx_flipY(vec2 uv) { return vec2(uv.x, 1.0 - uv.y); }\n";
    if (used.count("lx_texture"))
        header +=
            "vec4 lx_texture(sampler2D s, vec2 uv) { return texture2D(s, lx_flipY(uv)); }\n"
            "vec4 lx_texture(sampler2D s, vec2 uv, float bias) { return texture2D(s, lx_flipY(uv)); }\n";
    if (used.count("lx_textureLod"))
        header += "vec4 lx_textureLod(sampler2D s, vec2 uv, float lod) { return texture2DLod(s, lx_flipY(uv), lod); }\n";
    if (used.count("lx_texelFetch"))
        header +=
            "vec4 lx_texelFetch(sampler2D s, ivec2 p, int lod) {\n"
            "    return texelFetch(s, ivec2(p.x, textureSize(s, lod).y - 1 - p.y), lod).SWIZZLE; }\n";
    if (used.count("lx_textureGrad"))
        header +=
            "vec4 lx_textureGrad(sampler2D s, vec2 uv, vec2 dx, vec2 dy) {\n"
            "    return textureGrad(s, lx_flipY(uv), vec2(dx.x, -dx.y), vec2(dy.x, -dy.y)).SWIZZLE; }\n";
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
        out += redeclared ? std::string(static_cast<size_t>(std::count(m[0].first, m[0].second, '\n')), '\n') : m[0].str();
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
