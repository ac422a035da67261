#include "ShaderSource.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace gpu::shader_source {

const char* const kVertexShader =
    "void main() { gl_Position = gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; "
    "gl_TexCoord[1] = gl_MultiTexCoord1; gl_TexCoord[2] = gl_MultiTexCoord2; "
    "gl_TexCoord[3] = gl_MultiTexCoord3; gl_FrontColor = gl_Color; }";

const char* const kPreamble = "#define SWIZZLE gbar\n#define LUMIVEX 1\n";

const char* const kMainWrapper = "void main() { repl_main(); gl_FragColor = gl_FragColor.argb; }";

bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

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

// The name of the directive that starts at `p` (the '#'), e.g. "ifdef".
std::string directiveName(const std::string& text, size_t p) {
    size_t begin = p + 1;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    size_t end = begin;
    while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    return text.substr(begin, end - begin);
}

// Where the engine's definitions go: the start of the line after the
// leading run of preprocessor directives, blank lines and comments ("#extension"
// and its kin must come before any code); 0 when the text starts with
// anything else. A conditional block in that run ("#ifdef GL_ES" around a
// precision line) is passed over whole, code and all, so the definitions
// land outside it and are never compiled out with it.
size_t afterLeadingDirectives(const std::string& text) {
    size_t insert = 0;
    size_t p = 0;
    int depth = 0;  // open #if blocks
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
            const std::string name = directiveName(text, p);
            if (name == "if" || name == "ifdef" || name == "ifndef") ++depth;
            if (name == "endif" && depth > 0) --depth;
            // A directive runs to a newline that no backslash continues.
            size_t end = p;
            do {
                end = text.find('\n', end + 1);
            } while (end != std::string::npos && text[end - 1] == '\\');
            if (end == std::string::npos) return depth == 0 ? text.size() : insert;
            p = end + 1;
            if (depth == 0) insert = p;
        } else if (depth > 0) {
            lineStart = false;  // code inside a conditional block: passed over
            ++p;
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

// The refusals of guardLoops.
constexpr const char* kNoCondition = "a loop keyword must be followed by its condition in parentheses";
constexpr const char* kNeverClosed = "a loop's parenthesis is never closed";
constexpr const char* kForParts = "a for loop's parentheses must show both of its semicolons";
constexpr const char* kHashInLoop = "a directive or '#' must not stand inside a loop's parentheses";
constexpr const char* kStrayHash = "a '#' may only begin a directive";
constexpr const char* kPasting = "token pasting (##) is not accepted";
constexpr const char* kMacroParentheses = "a macro's parentheses must pair up within it";
constexpr const char* kDirectiveComment = "a comment must not carry a directive over a line end";

constexpr const char* kStepCall = "lumivex_step()";

// The compiler ends lines at either character.
bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

// Finds the loops of a shader and where the guard goes into them. It reads
// the text as the compiler's preprocessor does: with every backslash that
// ends a line removed together with the line end (so a word, a comment or a
// directive continued over lines reads as one), each character remembering
// its place in the original text. One pass; a loop's parentheses are read
// once, as the scan goes on after them.
class LoopScan {
public:
    LoopScan(const std::string& original, int firstLine) : original(original), firstLine(firstLine) {
        text.reserve(original.size());
        origin.reserve(original.size() + 1);
        for (size_t p = 0; p < original.size();) {
            if (original[p] == '\\' && p + 1 < original.size() && isLineEnd(original[p + 1])) {
                // "\r\n" and "\n\r" are one line end.
                const bool pair =
                    p + 2 < original.size() && isLineEnd(original[p + 2]) && original[p + 2] != original[p + 1];
                p += pair ? 3 : 2;
                continue;
            }
            text += original[p];
            origin.push_back(p);
            ++p;
        }
        origin.push_back(original.size());
    }

    // Scans the whole text; the refusal, or nothing once insertions() holds
    // every guard in order of position.
    std::optional<std::string> scan() {
        bool lineStart = true;
        bool inDefine = false;
        size_t directive = 0;  // where the current "#define" starts
        int depth = 0;         // its parentheses open so far
        size_t p = 0;
        while (p < text.size()) {
            const char c = text[p];
            if (isLineEnd(c)) {
                if (inDefine && depth != 0) return refuse(directive, kMacroParentheses);
                inDefine = false;
                lineStart = true;
                ++p;
            } else if (isSpace(c)) {
                ++p;
            } else if (startsComment(p)) {
                // A comment counts as a blank: a directive may follow it.
                const size_t end = commentEnd(p);
                if (inDefine && spansLine(p, end)) return refuse(p, kDirectiveComment);
                p = end;
            } else if (c == '#' && lineStart && !inDefine) {
                lineStart = false;
                directive = p;
                const size_t name = skipBlanks(p + 1, true);
                if (name == kCommentOverLine) return refuse(p, kDirectiveComment);
                if (text.compare(name, 6, "define") == 0 && !(name + 6 < text.size() && isWordChar(text[name + 6]))) {
                    inDefine = true;
                    depth = 0;
                    p = name + 6;
                } else {
                    // Other directives hold no code: skipped to their end.
                    p = name;
                    while (p < text.size() && !isLineEnd(text[p])) {
                        if (!startsComment(p)) {
                            ++p;
                            continue;
                        }
                        const size_t end = commentEnd(p);
                        if (spansLine(p, end)) return refuse(p, kDirectiveComment);
                        p = end;
                    }
                }
            } else if (c == '#') {
                const bool pasting = p + 1 < text.size() && text[p + 1] == '#';
                return refuse(p, pasting ? kPasting : kStrayHash);
            } else if (isWordChar(c)) {
                lineStart = false;
                size_t end = p;
                while (end < text.size() && isWordChar(text[end])) ++end;
                const std::string_view word(text.data() + p, end - p);
                if (word == "while" || word == "for") {
                    if (auto refusal = guard(p, end, word == "for", inDefine)) return refusal;
                } else {
                    p = end;
                }
            } else {
                lineStart = false;
                if (inDefine && c == '(') ++depth;
                if (inDefine && c == ')' && --depth < 0) return refuse(directive, kMacroParentheses);
                ++p;
            }
        }
        if (inDefine && depth != 0) return refuse(directive, kMacroParentheses);
        return std::nullopt;
    }

    // Text to insert and where, in the original text, ascending.
    const std::vector<std::pair<size_t, const char*>>& insertions() const { return inserts; }

private:
    static constexpr size_t kCommentOverLine = std::string::npos;

    bool startsComment(size_t p) const {
        return text[p] == '/' && p + 1 < text.size() && (text[p + 1] == '/' || text[p + 1] == '*');
    }

    // Past a comment that starts at p: the line end that ends a "//"
    // comment, after the "*/" of a block comment, or the end of the text.
    size_t commentEnd(size_t p) const {
        if (text[p + 1] == '/') {
            while (p < text.size() && !isLineEnd(text[p])) ++p;
            return p;
        }
        const size_t close = text.find("*/", p + 2);
        return close == std::string::npos ? text.size() : close + 2;
    }

    bool spansLine(size_t from, size_t to) const {
        for (size_t p = from; p < to; ++p)
            if (isLineEnd(text[p])) return true;
        return false;
    }

    // The first position at or after p that is neither blank nor comment;
    // within one directive (inLine) a line end ends the search, and
    // kCommentOverLine means a comment there ran over a line end.
    size_t skipBlanks(size_t p, bool inLine) const {
        while (p < text.size()) {
            if (isLineEnd(text[p]) && inLine) return p;
            if (startsComment(p)) {
                const size_t end = commentEnd(p);
                if (inLine && spansLine(p, end)) return kCommentOverLine;
                p = end;
            } else if (isSpace(text[p])) {
                ++p;
            } else {
                break;
            }
        }
        return p;
    }

    // Guards the loop whose keyword spans [keyword, end) and moves `p` past
    // its parentheses. Inside a "#define" they must close on its line; in
    // code no directive may stand among them, so the compiler reads the
    // same parentheses as this scan whatever the conditional directives.
    std::optional<std::string> guard(size_t& p, size_t end, bool isFor, bool inDefine) {
        const size_t open = skipBlanks(end, inDefine);
        if (open == kCommentOverLine) return refuse(p, kDirectiveComment);
        if (open >= text.size() || text[open] != '(') return refuse(p, kNoCondition);
        int depth = 0;
        size_t semicolons[2] = {0, 0};
        int count = 0;
        bool blankCondition = true;
        size_t conditionStart = 0;
        size_t q = open;
        for (; q < text.size(); ++q) {
            const char c = text[q];
            if (isLineEnd(c) && inDefine) return refuse(p, kNeverClosed);
            if (startsComment(q)) {
                const size_t after = commentEnd(q);
                if (inDefine && spansLine(q, after)) return refuse(q, kDirectiveComment);
                q = after - 1;
                continue;
            }
            if (c == '#') return refuse(q, kHashInLoop);
            if (c == '(') ++depth;
            if (c == ')' && --depth == 0) break;
            if (c == ';' && depth == 1) {
                if (count < 2) semicolons[count] = q;
                ++count;
            } else if (count == 1 && blankCondition && !isSpace(c)) {
                blankCondition = false;
                conditionStart = q;
            }
        }
        if (q >= text.size()) return refuse(p, kNeverClosed);
        if (!isFor) {
            inserts.emplace_back(origin[open] + 1, "(");
            inserts.emplace_back(origin[q], ") && lumivex_step()");
        } else if (count != 2) {
            return refuse(p, kForParts);
        } else if (blankCondition) {
            inserts.emplace_back(origin[semicolons[1]], kStepCall);
        } else {
            inserts.emplace_back(origin[conditionStart], "(");
            inserts.emplace_back(origin[semicolons[1]], ") && lumivex_step()");
        }
        p = q + 1;
        return std::nullopt;
    }

    std::string refuse(size_t at, const char* why) const {
        const auto before = original.begin() + static_cast<std::ptrdiff_t>(origin[at]);
        const long line = firstLine + std::count(original.begin(), before, '\n');
        return "Shader line " + std::to_string(line) + ": " + why;
    }

    const std::string& original;
    const int firstLine;
    std::string text;            // the text with continued lines joined
    std::vector<size_t> origin;  // each character's place in `original`
    std::vector<std::pair<size_t, const char*>> inserts;
};

}  // namespace

std::optional<std::string> guardLoops(std::string& text, int firstLine) {
    LoopScan scan(text, firstLine);
    if (auto refusal = scan.scan()) return refusal;
    if (scan.insertions().empty()) return std::nullopt;
    std::string out;
    out.reserve(text.size() + scan.insertions().size() * 20);
    size_t copied = 0;
    for (const auto& [at, insert] : scan.insertions()) {
        out.append(text, copied, at - copied);
        out += insert;
        copied = at;
    }
    out.append(text, copied, std::string::npos);
    text.swap(out);
    const std::string definition =
        "int lumivex_steps = 0; bool lumivex_step() { return ++lumivex_steps <= " + std::to_string(kMaxLoopSteps) +
        "; }";
    insertDefinition(text, definition.c_str());
    return std::nullopt;
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
