#include "gpu/Shader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "gpu/Context.h"
#include "ShaderSource.h"
#include "WideString.h"
#include "package/FileReaders.h"

namespace gpu {

namespace {

constexpr GLsizei kLogSize = 4096;
constexpr GLsizei kUniformNameSize = 128;
constexpr GLint kMaxUniforms = 1024;
// The height of the first band of a draw with a deadline.
constexpr GLint kFirstBandRows = 1;

using shader_source::isWordChar;

// The uniforms the text declares: after each word "uniform", one per name up
// to the ';' (names are separated by commas outside brackets), an array
// counting its literal element count (read up to kMaxArrayCount, so no sum
// overflows). One pass over the text.
size_t countUniformNames(const std::string& text) {
    constexpr size_t kMaxArrayCount = size_t(1) << 20;
    size_t count = 0;
    for (size_t at = text.find("uniform"); at != std::string::npos; at = text.find("uniform", at + 7)) {
        const bool startsWord = at == 0 || !isWordChar(text[at - 1]);
        const bool endsWord = at + 7 == text.size() || !isWordChar(text[at + 7]);
        if (!startsWord || !endsWord) continue;
        size_t names = 1;
        int depth = 0;
        size_t p = at + 7;
        for (; p < text.size() && text[p] != ';'; ++p) {
            const char c = text[p];
            if (c == '(' || c == '{') ++depth;
            if ((c == ')' || c == '}') && depth > 0) --depth;
            if (c == ',' && depth == 0) ++names;
            if (c == '[') {
                // An array of N elements is N uniforms (N - 1 beyond its name).
                size_t elements = 0;
                size_t q = p + 1;
                while (q < text.size() && std::isspace(static_cast<unsigned char>(text[q]))) ++q;
                while (q < text.size() && std::isdigit(static_cast<unsigned char>(text[q])) &&
                       elements <= kMaxArrayCount)
                    elements = elements * 10 + size_t(text[q++] - '0');
                if (elements > 1) names += elements - 1;
            }
        }
        count += names;
        at = p > at + 7 ? p - 7 : at;  // the next search starts after this declaration
    }
    return count;
}

uint32_t kindOfType(GLenum type, GLint size) {
    if (size > 1) return LX_UNKNOWN;
    switch (type) {
        case GL_FLOAT: return LX_FLOAT;
        case GL_FLOAT_VEC3: return LX_POINT;
        case GL_FLOAT_VEC4: return LX_COLOR;
        case GL_SAMPLER_2D: return LX_LAYER;
        case GL_FLOAT_VEC2: return LX_POINT2D;
        case GL_BOOL: return LX_BOOL;
        case GL_INT: return LX_POPUP;
        default: return LX_UNKNOWN;
    }
}

// The directive that numbers the next line as the author's file does: the
// line after the version line (and any blank lines before it), else line 1.
// GLSL before 3.30 gives the line after "#line N" the number N + 1, later
// versions N.
std::string lineDirective(const std::string& version) {
    const int next = 1 + static_cast<int>(std::count(version.begin(), version.end(), '\n'));
    int number = 0;
    const bool counted = !version.empty() && std::sscanf(version.c_str(), " # version %d", &number) == 1;
    return "#line " + std::to_string(counted && number >= 330 ? next : next - 1) + "\n";
}

// BOOL, POPUP and texture uniforms keep a 32-bit integer in the first slot.
uint32_t bitsOf(const float& slot) {
    uint32_t bits;
    std::memcpy(&bits, &slot, sizeof bits);
    return bits;
}

void setBits(float& slot, uint32_t bits) { std::memcpy(&slot, &bits, sizeof bits); }

// Sampler uniforms: LAYER, or TEXTURE, which holds its texture the same way.
bool isTextureKind(uint32_t kind) { return valueKind(kind) == LX_LAYER; }

}  // namespace

bool Shader::init(const std::string& shaderName, const std::string& text) {
    std::wstring wideName = gpu::widen(shaderName);
    createProgram();
    name_ = wideName;
    if (!text.empty()) return setSource(text);
    return loadFile(L"\\" + wideName + L".frag");
}

bool Shader::createProgram() {
    release();
    vertexShader.reset(glCreateShader(GL_VERTEX_SHADER));
    fragmentShader.reset(glCreateShader(GL_FRAGMENT_SHADER));
    program.reset(glCreateProgram());
    glAttachShader(program.get(), vertexShader.get());
    glAttachShader(program.get(), fragmentShader.get());
    return compile(vertexShader.get(), gpu::shader_source::kVertexShader);
}

void Shader::release() {
    vertexShader.reset();
    fragmentShader.reset();
    program.reset();
    error_.clear();
}

bool Shader::compile(GLuint shader, const std::string& text) {
    // Compilers take time that grows with the square of the uniforms used
    // (minutes for ten thousand), so a shader declaring more than every
    // supported GL must hold (1024 components, or fewer where this GL says
    // so) is refused before compiling.
    GLint glLimit = 0;
    glGetIntegerv(GL_MAX_FRAGMENT_UNIFORM_COMPONENTS, &glLimit);
    const size_t limit = glLimit > 0 && glLimit < kMaxUniforms ? size_t(glLimit) : size_t(kMaxUniforms);
    const size_t declared = countUniformNames(text);
    if (declared > limit) {
        error_ = "Shader compilation failed:\nthe shader declares " + std::to_string(declared) + " uniforms; at most " +
                 std::to_string(limit) + " are accepted";
        return false;
    }
    std::string body = text;
    const std::string version = gpu::shader_source::takeVersionLine(body);
    const GLchar* parts[3] = {version.c_str(), gpu::shader_source::kPreamble, body.c_str()};
    glShaderSource(shader, 3, parts, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE) {
        error_.clear();
        return true;
    }
    char log[kLogSize] = {};
    glGetShaderInfoLog(shader, kLogSize, nullptr, log);
    error_ = std::string("Shader compilation failed:\n") + log;
    return false;
}

bool Shader::setSource(const std::string& text) {
    if (text.empty()) return false;
    uniforms_.clear();
    locationCache.clear();
    indexCache.clear();
    source_ = text;

    // The preamble and the definitions the rewrite prepends come before the
    // author's text; a "#line" directive makes the compiler's log count lines
    // as the author's file does. A leading "#version" line stays first.
    // The loop guard's counter goes after the "#line" directive like the
    // other definitions; its refusals count that directive as the line
    // before the author's first.
    std::string body = text;
    const std::string version = gpu::shader_source::takeVersionLine(body);
    std::string numbered = lineDirective(version) + body;
    const int directiveLine = static_cast<int>(std::count(version.begin(), version.end(), '\n'));
    if (const auto refusal = gpu::shader_source::guardLoops(numbered, directiveLine)) {
        error_ = "Shader compilation failed:\n" + *refusal;
        return false;
    }
    if (!compile(fragmentShader.get(), gpu::shader_source::rewrite(version + numbered))) return false;
    glLinkProgram(program.get());
    GLint status = GL_FALSE;
    glGetProgramiv(program.get(), GL_LINK_STATUS, &status);
    if (status != GL_TRUE) {
        char log[kLogSize] = {};
        glGetProgramInfoLog(program.get(), kLogSize, nullptr, log);
        error_ = std::string("Program linking failed:\n") + log;
        return false;
    }
    discoverUniforms();
    error_.clear();
    return true;
}

bool Shader::loadFile(const std::wstring& path) {
    if (path.empty()) return false;
    fileName_ = path;
    const std::string text = package::loadTextFile(path);
    // A loose file that cannot be opened reads as the reader's marker text,
    // which is no shader either.
    if (text.empty() || text == package::kMissingTextFile) {
        error_ = "Shader file not found or shader is empty!";
        return false;
    }
    return setSource(text);
}

bool Shader::rebuild(bool fromSource) {
    const bool created = createProgram();
    const bool loaded = fromSource ? setSource(source_) : loadFile(fileName_);
    return created && loaded;
}

bool Shader::use() {
    if (!error_.empty() || !program || !vertexShader || !fragmentShader) return false;
    glUseProgram(program.get());
    textureUnit = 0;
    return true;
}

void Shader::draw(bool flip, const std::function<bool()>& inTime) {
    // A shader without a program (the default shader) draws nothing either.
    if (!error_.empty() || !program) return;
    uploadUniforms();
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();

    const GLint top = flip ? 0 : 1;
    const GLint bottom = 1 - top;
    const auto quad = [&] {
        glBegin(GL_QUADS);
        glTexCoord2i(0, bottom);
        glVertex3i(-1, -1, 0);
        glTexCoord2i(1, bottom);
        glVertex3i(1, -1, 0);
        glTexCoord2i(1, top);
        glVertex3i(1, 1, 0);
        glTexCoord2i(0, top);
        glVertex3i(-1, 1, 0);
        glEnd();
    };
    if (!inTime) {
        glDisable(GL_SCISSOR_TEST);
        quad();
    } else {
        // The same quad each time, cut to a band by the scissor: every pixel
        // gets the fragment it gets from one draw. The GL cannot stop a
        // shader once queued, so the bands start small and double, and the
        // deadline is asked between them.
        GLint viewport[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, viewport);
        glEnable(GL_SCISSOR_TEST);
        GLint rows = kFirstBandRows;
        for (GLint y = 0; y < viewport[3] && inTime(); y += rows, rows *= 2) {
            glScissor(viewport[0], viewport[1] + y, viewport[2], std::min(rows, viewport[3] - y));
            quad();
            glFinish();
        }
        glDisable(GL_SCISSOR_TEST);
    }

    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void Shader::uploadUniforms() {
    // Values first, textures second: a texture's size uniforms are plain vec4
    // (COLOR) uniforms too, and uploading those after the textures would wipe
    // the sizes with the records' values.
    for (const Parameter& uniform : uniforms_) {
        switch (uniform.kind) {
            case LX_FLOAT:
            case LX_ANGLE: glUniform1f(uniform.location, uniform.value[0]); break;
            case LX_POINT: glUniform3fv(uniform.location, 1, uniform.value); break;
            case LX_COLOR: glUniform4fv(uniform.location, 1, uniform.value); break;
            case LX_POINT2D: glUniform2fv(uniform.location, 1, uniform.value); break;
            case LX_BOOL:
            case LX_POPUP: glUniform1i(uniform.location, static_cast<GLint>(bitsOf(uniform.value[0]))); break;
            default: break;
        }
    }
    // Samplers beyond the GL's unit count stay unbound: selecting a unit that
    // does not exist would leave the previous unit active and rebind it.
    GLint unitCount = 0;
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &unitCount);
    textureUnit = 0;  // every draw numbers its units from 0, used or not
    for (const Parameter& uniform : uniforms_) {
        if (isTextureKind(uniform.kind) && textureUnit < static_cast<uint32_t>(unitCount)) bindLayer(uniform);
    }
    // Others bind their textures on unit 0 and expect it active.
    glActiveTexture(GL_TEXTURE0);
}

void Shader::bindLayer(const Parameter& uniform) {
    glActiveTexture(GL_TEXTURE0 + textureUnit);
    glBindTexture(GL_TEXTURE_2D, bitsOf(uniform.value[0]));
    glUniform1i(uniform.location, static_cast<GLint>(textureUnit));
    GLint width = 0;
    GLint height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    const float size[4] = {w, h, 1.0f / w, 1.0f / h};
    for (const char* pattern : {"s_Texture%dParams", "Texture%dParams"}) {
        char sizeName[32];
        std::snprintf(sizeName, sizeof sizeName, pattern, static_cast<int>(textureUnit));
        const GLint location = uniformLocation(sizeName);
        if (location != -1) glUniform4fv(location, 1, size);
    }
    ++textureUnit;
}

void Shader::discoverUniforms() {
    GLint count = 0;
    glGetProgramiv(program.get(), GL_ACTIVE_UNIFORMS, &count);
    std::vector<Parameter> found;
    for (GLint index = 0; index < count; ++index) {
        char uniformName[kUniformNameSize] = {};
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program.get(), static_cast<GLuint>(index), kUniformNameSize, nullptr, &size, &type,
                           uniformName);
        if (size == 0) continue;
        Parameter record;
        record.name = uniformName;
        record.arraySize = size;
        record.kind = kindOfType(type, size);
        record.location = uniformLocation(record.name);
        found.push_back(std::move(record));
    }
    uniforms_ = std::move(found);
}

GLint Shader::uniformLocation(const std::string& uniformName) {
    auto it = locationCache.find(uniformName);
    if (it != locationCache.end()) return it->second;
    const GLint location = glGetUniformLocation(program.get(), uniformName.c_str());
    locationCache.emplace(uniformName, location);
    return location;
}

int32_t Shader::parameterIndex(const std::string& uniformName) {
    auto it = indexCache.find(uniformName);
    if (it != indexCache.end()) return it->second;
    for (size_t i = 0; i < uniforms_.size(); ++i) {
        if (uniforms_[i].name == uniformName) {
            indexCache.emplace(uniformName, static_cast<int32_t>(i));
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

Parameter& Shader::parameter(const std::string& uniformName) {
    const int32_t index = parameterIndex(uniformName);
    if (index < 0 || static_cast<size_t>(index) >= uniforms_.size()) return emptyParameter();
    return uniforms_[static_cast<size_t>(index)];
}

bool Shader::setParameterValue(const std::string& uniformName, uint32_t value) {
    const int32_t index = parameterIndex(uniformName);
    if (index < 0) return false;
    Parameter& uniform = uniforms_[static_cast<size_t>(index)];
    const bool choice = uniform.kind == LX_BOOL || uniform.kind == LX_POPUP;
    if (isTextureKind(uniform.kind) || (choice && value != kKeepValue)) setBits(uniform.value[0], value);
    return true;
}

}  // namespace gpu
