// The render registry: every entity the effect script creates (parameters,
// shaders, render targets, textures, surfaces) by id, and one Sequence of
// render state per host effect instance.
//
// Errors: nothing here fails towards the script. Lookups of unknown or
// wrong-kind ids return a shared empty parameter record or a static
// default-constructed entity of the asked kind (GL name 0), reset to its
// default state each time it is handed out, so callers never need a null
// check and a stray write through one never reaches the next caller.
// Ownership: the Context owns its factories (which own the entities) and its
// sequences; references returned by lookups stay valid until the entity is
// released or the registry shuts down.
// Threads: nothing locks. Callers hold the module's entry lock, and the GL
// lock for anything that creates, releases or uploads GL-holding entities.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gpu/SurfaceEntity.h"
#include "gpu/Factory.h"
#include "gpu/Parameter.h"
#include "gpu/Shader.h"
#include "gpu/Texture.h"

namespace gpu {

struct Parameter::Factory : EntityFactory<Parameter, kParameterKind> {};
struct Surface::Factory : EntityFactory<Surface, kSurfaceKind> {};

// The shared empty parameter record (id 0), reset to its default on each call.
Parameter& emptyParameter();

// An ordered set of parameter records, found by index or by id.
class ParametersHolder {
public:
    ParametersHolder() = default;
    virtual ~ParametersHolder() = default;
    ParametersHolder(const ParametersHolder&) = delete;
    ParametersHolder& operator=(const ParametersHolder&) = delete;

    virtual uint32_t count();
    // The record at `index`, or the empty record when index >= count().
    virtual Parameter* at(uint32_t index);
    // The record with that id, or the empty record.
    Parameter& find(uint32_t id);
    // Replaces the records with copies of source.at(0 .. count()-1).
    void assign(ParametersHolder& source);

protected:
    std::vector<Parameter> records;
    std::map<uint32_t, Parameter*> byId;
};

class Context;

// What a frame is rendered into: its size, row bytes and bits per channel.
struct FrameFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t rowBytes = 0;
    uint32_t depth = 0;
};

// Render state of one host effect instance, with its own parameter copies.
class Sequence : public ParametersHolder {
public:
    explicit Sequence(Context* owner) : owner(owner) {}

    // Frame start: sets the time and output extent and makes sure the output
    // render target exists at the frame's size and depth, transparent black.
    // A target whose storage the GL refuses keeps its id (unusable). Until the
    // next frame start the target holds that size and depth whatever the
    // script uploads into it (Texture::holdStorage).
    void prepareRenderTarget(const FrameFormat& frame, double time);
    // The output render target when it is usable and holds exactly the
    // frame's size and depth, so that its readback is the frame; else null.
    RenderTarget* frameTarget();
    // Uploads the effect's input layer into the input texture (host 16-bit
    // values widened). Does nothing for a surface without pixels. A texture
    // whose storage the GL refuses keeps its id (GL name 0).
    void uploadInputTexture(const Surface& surface);

    Context* owner;
    FrameFormat frame;  // of the last frame start
    uint32_t renderTargetId = 0;
    uint32_t textureId = 0;
    double time = 0;
    uint32_t outputWidth = 0;
    uint32_t outputHeight = 0;
    int32_t inputOriginX = 0;
    int32_t inputOriginY = 0;
};

class Context : public ParametersHolder {
public:
    // The one registry of the process, built on first use.
    static Context& instance();

    Context() = default;
    ~Context() override;

    // The declared parameters in declaration order. A released parameter
    // keeps its position as an empty record, so positions never shift.
    uint32_t count() override;
    Parameter* at(uint32_t index) override;

    // Registers the five factories and a first sequence.
    void initialize();
    // Destroys every sequence and entity (freeing their GL objects).
    void shutdown();
    bool isInitialized() const { return initialized; }

    // A new entity of kind (id & 0xFF000000); 0 when the kind has no factory
    // or its serials are used up.
    uint32_t createEntity(uint32_t kind);
    // Destroys the entity; unknown ids and kinds are ignored. A sequence whose
    // output target or input texture it was holds 0 there afterwards.
    void releaseEntity(uint32_t id);

    uint32_t createParameter(const std::string& name, uint32_t kind, const std::string& displayName);
    // The current sequence's copy, else the declared record, else the empty one.
    Parameter& getParameter(uint32_t id);

    // The shader is created even when its source fails; the error stays in it.
    uint32_t createShader(const std::string& name, const std::string& source);
    Shader& getShader(uint32_t id);

    uint32_t createRenderTarget(uint32_t width, uint32_t height, uint32_t depth);
    RenderTarget& getRenderTarget(uint32_t id);

    uint32_t createTexture(uint32_t width, uint32_t height, uint32_t depth);
    // The id is returned even when loading fails (the texture has GL name 0).
    uint32_t createTextureFromFile(const std::string& fileName);
    Texture& getTexture(uint32_t id);

    Surface& getSurface(uint32_t id);

    // The entity of kind T (Texture, RenderTarget, Shader, ...) with that id,
    // or null.
    template <class T>
    T* entity(uint32_t id) {
        auto* entities = factory<typename T::Factory>();
        return entities ? entities->find(id) : nullptr;
    }

    // GL objects the entities hold: textures, framebuffers, readback
    // buffers and programs. What leak checks and soak runs count.
    uint32_t glObjectCount();

    // The registered factory of a nested factory type (e.g. Texture::Factory),
    // or null before initialize.
    template <class F>
    F* factory() {
        auto it = factories.find(F::tag);
        return it == factories.end() ? nullptr : static_cast<F*>(it->second.get());
    }

    // For every shader with an error, ascending id:
    // Shader "<name>"\n<error>\n
    std::string collectShaderErrors();

    // Index of a new sequence holding copies of the declared parameters.
    uint32_t addSequence();
    // The sequence at index, made there (with copies of the declared
    // parameters) when the slot is free; the slots below it that do not
    // exist yet are left free.
    Sequence& sequenceAt(uint32_t index);
    // Deletes the sequence and releases its output target (with its readback
    // buffer) and input texture. Callers hold the GL lock.
    void removeSequence(uint32_t index);
    // The sequence at index, or null.
    Sequence* sequence(uint32_t index);
    // The sequence named by currentSequence, or null.
    Sequence* current() { return sequence(currentSequence); }

    // currentSequence naming no sequence.
    static constexpr uint32_t kNoSequence = 0xFFFFFFFFu;
    uint32_t currentSequence = 0;
    uint32_t extentWidth = 0;
    uint32_t extentHeight = 0;
    float extentScale = 1.0f;

private:
    template <class T>
    T& lookup(uint32_t id);

    std::map<uint32_t, std::unique_ptr<Factory>> factories;
    std::vector<std::unique_ptr<Sequence>> sequences;
    std::vector<uint32_t> declared;  // parameter ids by position; 0 once released
    bool initialized = false;
};

}  // namespace gpu
