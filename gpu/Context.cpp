#include "gpu/Context.h"

#include "WideString.h"

namespace gpu {

Parameter& emptyParameter() {
    static Parameter empty;
    empty = Parameter();
    return empty;
}

// ---- ParametersHolder ----

uint32_t ParametersHolder::count() { return static_cast<uint32_t>(records.size()); }

Parameter* ParametersHolder::at(uint32_t index) { return index < records.size() ? &records[index] : &emptyParameter(); }

Parameter& ParametersHolder::find(uint32_t id) {
    auto it = byId.find(id);
    return it == byId.end() ? emptyParameter() : *it->second;
}

void ParametersHolder::assign(ParametersHolder& source) {
    records.clear();
    byId.clear();
    const uint32_t total = source.count();
    records.reserve(total);
    for (uint32_t i = 0; i < total; ++i) records.push_back(*source.at(i));
    for (Parameter& record : records) byId[record.id] = &record;
}

// ---- Sequence ----

void Sequence::prepareRenderTarget(const FrameFormat& format, double frameTime) {
    time = frameTime;
    frame = format;
    outputWidth = format.width;
    outputHeight = format.height;
    RenderTarget* target = owner->entity<RenderTarget>(renderTargetId);
    if (!target) {
        // None yet, or released by the script: a new one.
        renderTargetId = owner->createRenderTarget(outputWidth, outputHeight, format.depth);
        target = owner->entity<RenderTarget>(renderTargetId);
    } else {
        target->holdStorage(false);
        // Storage of an unchanged size and depth is kept; either way the frame
        // starts transparent black. Otherwise its GL objects are gone or the
        // new size was refused: made again under the same id, so a size the
        // GL refuses costs no entity per frame.
        if (target->usable() &&
            target->upload(nullptr, outputWidth, outputHeight, format.depth, format.rowBytes, true, true)) {
            target->clear();
        } else {
            target->createTarget(outputWidth, outputHeight, format.depth);
        }
    }
    // The host reads the frame's size and depth back, whatever the script
    // copies into the target meanwhile.
    if (target) target->holdStorage(true);
}

RenderTarget* Sequence::frameTarget() {
    RenderTarget* target = owner->entity<RenderTarget>(renderTargetId);
    if (!target || !target->usable()) return nullptr;
    const bool holdsFrame =
        target->width() == frame.width && target->height() == frame.height && target->depth() == frame.depth;
    return holdsFrame ? target : nullptr;
}

void Sequence::uploadInputTexture(const Surface& surface) {
    const uint8_t* source = surface.pixels();
    if (!source) return;
    Texture* texture = owner->entity<Texture>(textureId);
    if (!texture) {
        textureId = owner->createTexture(surface.width, surface.height, surface.depth);
        texture = owner->entity<Texture>(textureId);
    } else if (texture->glName() == 0) {
        texture->create(surface.width, surface.height, surface.depth, true);
    }
    if (texture) texture->upload(source, surface.width, surface.height, surface.depth, surface.stride, true, true);
}

// ---- Context ----

Context& Context::instance() {
    static Context context;
    return context;
}

Context::~Context() { shutdown(); }

uint32_t Context::count() { return static_cast<uint32_t>(declared.size()); }

Parameter* Context::at(uint32_t index) {
    auto* parameters = factory<Parameter::Factory>();
    Parameter* record = parameters && index < declared.size() ? parameters->find(declared[index]) : nullptr;
    return record ? record : &emptyParameter();
}

void Context::initialize() {
    factories[kParameterKind] = std::make_unique<Parameter::Factory>();
    factories[kRenderTargetKind] = std::make_unique<RenderTarget::Factory>();
    factories[kTextureKind] = std::make_unique<Texture::Factory>();
    factories[kShaderKind] = std::make_unique<Shader::Factory>();
    factories[kSurfaceKind] = std::make_unique<Surface::Factory>();
    currentSequence = 0;
    addSequence();
    if (Sequence* first = current()) {
        first->renderTargetId = 0;
        first->textureId = 0;
        first->time = 0;
    }
    initialized = true;
}

void Context::shutdown() {
    if (!initialized) return;
    sequences.clear();
    factories.clear();
    declared.clear();
    initialized = false;
}

uint32_t Context::createEntity(uint32_t kind) {
    auto it = factories.find(kind & kKindMask);
    return it == factories.end() ? 0 : it->second->create();
}

void Context::releaseEntity(uint32_t id) {
    auto it = factories.find(id & kKindMask);
    if (it == factories.end()) return;
    it->second->release(id);
    // A sequence forgets a target or texture released under it, so that it
    // never names (or releases) whatever entity takes the id next.
    for (auto& sequence : sequences) {
        if (!sequence) continue;
        if (sequence->renderTargetId == id) sequence->renderTargetId = 0;
        if (sequence->textureId == id) sequence->textureId = 0;
    }
    if ((id & kKindMask) != kParameterKind) return;
    // The position stays, empty, so the later ones keep theirs; the copies
    // go too, so that a parameter given the id later is not shadowed by them.
    for (uint32_t& entry : declared) {
        if (entry == id) entry = 0;
    }
    for (const auto& sequence : sequences) {
        if (!sequence) continue;
        Parameter& copy = sequence->find(id);
        if (copy.id == id) copy = Parameter();
    }
}

template <class T>
T& Context::lookup(uint32_t id) {
    if (T* found = entity<T>(id)) return *found;
    // Handed out reset, so nothing done to it by an earlier caller shows.
    static T fallback;
    fallback = T();
    return fallback;
}

uint32_t Context::createParameter(const std::string& name, uint32_t kind, const std::string& displayName) {
    if (declared.size() >= kindLimit(kParameterKind)) return 0;
    const uint32_t id = createEntity(kParameterKind);
    if (id == 0) return 0;
    Parameter& record = factory<Parameter::Factory>()->entities.at(id);
    record.name = name;
    record.kind = kind;
    record.displayName = displayName;
    record.id = id;
    record.minimum[0] = -100.0f;
    record.maximum[0] = 100.0f;
    record.choices = "0|1|2|3|4|5|6|7|8|9";
    record.choiceCount = 10;
    declared.push_back(id);
    return id;
}

Parameter& Context::getParameter(uint32_t id) {
    if (Sequence* sequence = current()) {
        Parameter& copy = sequence->find(id);
        if (copy.id != 0) return copy;
    }
    if (auto* parameters = factory<Parameter::Factory>()) {
        if (Parameter* declared = parameters->find(id)) return *declared;
    }
    return emptyParameter();
}

uint32_t Context::createShader(const std::string& name, const std::string& source) {
    const uint32_t id = createEntity(kShaderKind);
    if (id != 0) factory<Shader::Factory>()->entities.at(id).init(name, source);
    return id;
}

Shader& Context::getShader(uint32_t id) { return lookup<Shader>(id); }

uint32_t Context::createRenderTarget(uint32_t width, uint32_t height, uint32_t depth) {
    const uint32_t id = createEntity(kRenderTargetKind);
    if (id != 0) factory<RenderTarget::Factory>()->entities.at(id).createTarget(width, height, depth);
    return id;
}

RenderTarget& Context::getRenderTarget(uint32_t id) { return lookup<RenderTarget>(id); }

uint32_t Context::createTexture(uint32_t width, uint32_t height, uint32_t depth) {
    const uint32_t id = createEntity(kTextureKind);
    if (id != 0) factory<Texture::Factory>()->entities.at(id).create(width, height, depth, true);
    return id;
}

uint32_t Context::createTextureFromFile(const std::string& fileName) {
    const uint32_t id = createEntity(kTextureKind);
    if (id != 0) factory<Texture::Factory>()->entities.at(id).loadFile(fileName);
    return id;
}

Texture& Context::getTexture(uint32_t id) { return lookup<Texture>(id); }

Surface& Context::getSurface(uint32_t id) {
    if (auto* surfaces = factory<Surface::Factory>()) {
        if (Surface* surface = surfaces->find(id)) return *surface;
    }
    // Surfaces cannot be reassigned; emptying drops any pixels and sizes.
    static Surface fallback;
    fallback.assignCopy(0, 0, 0, nullptr);
    fallback.flag = 0;
    return fallback;
}

uint32_t Context::glObjectCount() {
    uint32_t count = 0;
    if (auto* textures = factory<Texture::Factory>()) {
        for (const auto& [id, texture] : textures->entities) count += texture.glName() != 0;
    }
    if (auto* targets = factory<RenderTarget::Factory>()) {
        for (const auto& [id, target] : targets->entities)
            count += (target.glName() != 0) + (target.framebufferName() != 0) + (target.readbackBufferName() != 0);
    }
    if (auto* shaders = factory<Shader::Factory>()) {
        for (const auto& [id, shader] : shaders->entities) count += shader.programName() != 0;
    }
    return count;
}

namespace {

// A name as the error text shows it: control characters (a NUL the script
// put in, a newline) as \xNN, so the text is not cut or broken where they are.
std::string printable(const std::string& name) {
    std::string out;
    for (const unsigned char c : name) {
        if (c >= 0x20 && c != 0x7F) {
            out += char(c);
            continue;
        }
        static const char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

}  // namespace

std::string Context::collectShaderErrors() {
    std::string text;
    auto* shaders = factory<Shader::Factory>();
    if (!shaders) return text;
    for (const auto& [id, shader] : shaders->entities) {
        if (shader.error().empty()) continue;
        text += "Shader \"" + printable(gpu::narrow(shader.name())) + "\"\n" + shader.error() + "\n";
    }
    return text;
}

uint32_t Context::addSequence() {
    auto sequence = std::make_unique<Sequence>(this);
    sequence->assign(*this);
    for (size_t i = 0; i < sequences.size(); ++i) {
        if (!sequences[i]) {
            sequences[i] = std::move(sequence);
            return static_cast<uint32_t>(i);
        }
    }
    sequences.push_back(std::move(sequence));
    return static_cast<uint32_t>(sequences.size() - 1);
}

Sequence& Context::sequenceAt(uint32_t index) {
    if (index >= sequences.size()) sequences.resize(size_t{index} + 1);
    if (!sequences[index]) {
        sequences[index] = std::make_unique<Sequence>(this);
        sequences[index]->assign(*this);
    }
    return *sequences[index];
}

void Context::removeSequence(uint32_t index) {
    if (index >= sequences.size() || !sequences[index]) return;
    releaseEntity(sequences[index]->renderTargetId);
    releaseEntity(sequences[index]->textureId);
    sequences[index].reset();
}

Sequence* Context::sequence(uint32_t index) { return index < sequences.size() ? sequences[index].get() : nullptr; }

}  // namespace gpu
