// A shader program: the fixed pass-through vertex shader plus an effect's
// fragment shader, rewritten (gpu/ShaderSource.h), compiled and linked. After
// linking, the active uniforms are listed as parameter records so that the
// script can set them by name; every draw uploads them all, binds the
// textures of sampler uniforms to consecutive units and draws one quad over
// the bound target.
//
// Errors: compile and link failures never throw; the log is kept in error()
// under "Shader compilation failed:" or "Program linking failed:", and a
// shader with an error neither uses nor draws. A source with more than 1024
// uniform declarations (or more than the GL's fragment uniform components)
// is refused under "Shader compilation failed:" without being compiled. Unknown uniform names
// give -1, the static empty record or false.
// Ownership: the shader owns its GL shader and program objects (move-only,
// deleted by release or destruction).
// Threads: every operation needs the GL context current (the GL lock).
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gpu/Factory.h"
#include "gpu/GLName.h"
#include "gpu/Parameter.h"

namespace gpu {

class Shader {
public:
    struct Factory;

    // Value passed to setParameterValue that leaves BOOL and POPUP uniforms as
    // they are.
    static constexpr uint32_t kKeepValue = static_cast<uint32_t>(-12345678);

    Shader() = default;
    virtual ~Shader() = default;
    Shader(Shader&&) = default;
    Shader& operator=(Shader&&) = default;

    // Creates the program and compiles `source`, or when it is empty the
    // package file "\<name>.frag". Returns false on any failure.
    bool init(const std::string& name, const std::string& source);

    // New GL objects with the vertex shader compiled; false if it fails.
    virtual bool createProgram();
    // Deletes the GL objects and clears the error.
    virtual void release();
    // Rewrites, compiles and links `source`. An empty source returns false and
    // changes nothing.
    virtual bool setSource(const std::string& source);
    // Reads the fragment source from the package and sets it.
    virtual bool loadFile(const std::wstring& fileName);
    // New GL objects from the stored source (or the stored file name).
    virtual bool rebuild(bool fromSource);
    // glUseProgram; false when the shader has an error or no program.
    virtual bool use();
    // Called after every draw; nothing to do.
    virtual void finish() {}
    // Uploads the uniforms and draws a full-target quad; flip mirrors the
    // texture coordinates vertically. With `inTime`, the quad is drawn in
    // bands of rows across the viewport, 1, 2, 4, ... rows high, each
    // finished before the next; once inTime() is false no further band is
    // drawn, so a shader that runs long costs at most one band beyond the
    // caller's deadline. The pixels drawn are those of one full draw.
    virtual void draw(bool flip, const std::function<bool()>& inTime = {});

    GLint uniformLocation(const std::string& uniformName);
    int32_t parameterIndex(const std::string& uniformName);
    // The uniform record, or a static empty record for an unknown name.
    Parameter& parameter(const std::string& uniformName);
    // Sets a LAYER uniform's texture name or a BOOL/POPUP value (kKeepValue
    // leaves it). False when there is no such uniform.
    bool setParameterValue(const std::string& uniformName, uint32_t value);

    const std::wstring& name() const { return name_; }
    const std::wstring& fileName() const { return fileName_; }
    const std::string& error() const { return error_; }
    const std::string& source() const { return source_; }
    const std::vector<Parameter>& uniforms() const { return uniforms_; }
    GLuint programName() const { return program.get(); }

private:
    bool compile(GLuint shader, const std::string& text);
    void discoverUniforms();
    void uploadUniforms();
    void bindLayer(const Parameter& uniform);

    std::wstring name_;
    std::wstring fileName_;
    std::string error_;
    std::string source_;
    gpu::ShaderName vertexShader;
    gpu::ShaderName fragmentShader;
    gpu::ProgramName program;
    uint32_t textureUnit = 0;
    std::vector<Parameter> uniforms_;
    std::map<std::string, GLint> locationCache;
    std::map<std::string, int32_t> indexCache;
};

struct Shader::Factory : EntityFactory<Shader, kShaderKind> {};

}  // namespace gpu
