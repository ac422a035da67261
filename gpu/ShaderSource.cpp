#include "ShaderSource.h"

#include <cstring>

namespace gpu::shader_source {

const char* const kVertexShader =
    "void main() { gl_Position = gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; "
    "gl_TexCoord[1] = gl_MultiTexCoord1; gl_TexCoord[2] = gl_MultiTexCoord2; "
    "gl_TexCoord[3] = gl_MultiTexCoord3; gl_FrontColor = gl_Color; }";

const char* const kPreamble = "#define SWIZZLE gbar\n#define LUMIVEX 1\n";

const char* const kMainWrapper = "void main() { repl_main(); gl_FragColor = gl_FragColor.argb; }";

namespace {

// The C library's space class in the default locale.
bool isSpace(char c) { return std::strchr(" \t\n\v\f\r", c) != nullptr && c != '\0'; }

// Characters that may stand right before a rewritten call.
bool isOperatorBoundary(char c) { return isSpace(c) || (c != '\0' && std::strchr("(+-/*=", c) != nullptr); }

// The first non-space character at or after `from`, or '\0' at the end.
char nextNonSpace(const std::string& text, size_t from) {
    while (from < text.size() && isSpace(text[from])) ++from;
    return from < text.size() ? text[from] : '\0';
}

const char* definitionFor(const std::string& word) {
    if (word == "texture2D") return "vec4 repl_texture2D(sampler2D a,vec2 b) { return texture2D(a,b).SWIZZLE; }";
    if (word == "texture2DLod")
        return "vec4 repl_texture2DLod(sampler2D a,vec2 b,float c) { return texture2DLod(a,b,c).SWIZZLE; }";
    if (word == "textureCube")
        return "vec4 repl_textureCube(sampler2D a,vec3 b) { vec2 uv = vec2( (atan( b.x, b.z ) + "
               "3.141526f)/6.283052f, acos(b.y)/3.141526f ); return texture2D(a,uv).SWIZZLE; }";
    return nullptr;
}

// Replaces every occurrence of `word` from position 1 on that has an
// operator boundary before it and satisfies `follows`; returns the count.
// The text is built anew in one pass, so many occurrences cost linear time.
// Qualifying is judged on the original text: a replacement never changes the
// character before a later occurrence or the text after one.
template <class Follows>
int replaceQualifying(std::string& text, const std::string& word, const std::string& replacement, Follows follows) {
    int replaced = 0;
    std::string out;
    size_t copied = 0;
    for (size_t p = text.find(word, 1); p != std::string::npos; p = text.find(word, p + 1)) {
        if (!isOperatorBoundary(text[p - 1]) || !follows(p + word.size())) continue;
        if (replaced == 0) out.reserve(text.size() + text.size() / 4);
        out.append(text, copied, p - copied);
        out += replacement;
        copied = p + word.size();
        ++replaced;
    }
    if (replaced == 0) return 0;
    out.append(text, copied, std::string::npos);
    text.swap(out);
    return replaced;
}

// Where the first line after the leading run of preprocessor directives,
// blank lines and comments starts; 0 when the text starts with anything
// else. "#extension" and its kin must come before any code.
size_t afterLeadingDirectives(const std::string& text) {
    size_t insert = 0;
    size_t p = 0;
    bool lineStart = true;
    while (p < text.size()) {
        const char c = text[p];
        if (c == '\n') {
            lineStart = true;
            ++p;
        } else if (isSpace(c)) {
            ++p;
        } else if (text.compare(p, 2, "//") == 0) {
            p = text.find('\n', p);
            if (p == std::string::npos) break;
        } else if (text.compare(p, 2, "/*") == 0) {
            const size_t end = text.find("*/", p + 2);
            if (end == std::string::npos) break;
            p = end + 2;  // a comment counts as a blank: a directive may follow it
        } else if (c == '#' && lineStart) {
            // A directive runs to a newline that no backslash continues.
            size_t end = p;
            do {
                end = text.find('\n', end + 1);
            } while (end != std::string::npos && text[end - 1] == '\\');
            if (end == std::string::npos) return text.size();
            p = insert = end + 1;
        } else {
            break;
        }
    }
    return insert;
}

// Puts a replacement definition where code may begin. Without leading
// directives it becomes the first line; after them it is put at the start
// of the next line without a newline of its own, so the author's lines keep
// their numbers (a "#line" directive among them counts on).
void insertDefinition(std::string& text, const char* definition) {
    const size_t at = afterLeadingDirectives(text);
    if (at == 0) {
        text.insert(0, std::string(definition) + "\n");
    } else if (at == text.size() && text.back() != '\n') {
        text += "\n" + std::string(definition) + "\n";
    } else {
        text.insert(at, std::string(definition) + " ");
    }
}

}  // namespace

bool rewriteMain(std::string& text) {
    for (size_t p = text.find("main"); p != std::string::npos; p = text.find("main", p + 1)) {
        if (p == 0 || !isSpace(text[p - 1]) || nextNonSpace(text, p + 4) != '(') continue;
        text.replace(p, 4, "repl_main");
        text += '\n';
        text += kMainWrapper;
        return true;
    }
    return false;
}

bool rewriteCall(std::string& text, const std::string& word) {
    const char* definition = definitionFor(word);
    if (!definition) return false;
    const auto opensCall = [&text](size_t end) { return nextNonSpace(text, end) == '('; };
    if (replaceQualifying(text, word, "repl_" + word, opensCall) == 0) return false;
    insertDefinition(text, definition);
    return true;
}

void rewriteSamplerCube(std::string& text) {
    const auto endsDeclaration = [&text](size_t end) {
        return (end < text.size() && isSpace(text[end])) || nextNonSpace(text, end) == '.';
    };
    replaceQualifying(text, "samplerCube", "sampler2D", endsDeclaration);
}

namespace {

// The first position at or after `p` that is neither space nor inside a
// comment; text.size() when none is.
size_t skipBlanks(const std::string& text, size_t p) {
    while (p < text.size()) {
        if (isSpace(text[p])) {
            ++p;
        } else if (text.compare(p, 2, "//") == 0) {
            p = text.find('\n', p);
        } else if (text.compare(p, 2, "/*") == 0) {
            p = text.find("*/", p + 2);
            if (p != std::string::npos) p += 2;
        } else {
            return p;
        }
        if (p == std::string::npos) return text.size();
    }
    return p;
}

}  // namespace

// Comments may stand before the version line; they go with it, so the
// author's lines keep their numbers.
std::string takeVersionLine(std::string& text) {
    const size_t p = skipBlanks(text, 0);
    if (p >= text.size() || text[p] != '#') return "";
    const size_t word = text.find_first_not_of(" \t", p + 1);
    if (word == std::string::npos || text.compare(word, 7, "version") != 0) return "";
    const size_t end = text.find('\n', word);
    const size_t cut = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(0, cut);
    if (end == std::string::npos) line += '\n';
    text.erase(0, cut);
    return line;
}

std::string rewrite(std::string text) {
    const std::string version = takeVersionLine(text);
    rewriteMain(text);
    rewriteCall(text, "texture2D");
    rewriteCall(text, "texture2DLod");
    rewriteCall(text, "textureCube");
    rewriteSamplerCube(text);
    return version + text;
}

}  // namespace gpu::shader_source
