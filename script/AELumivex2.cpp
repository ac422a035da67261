#include "AELumivex2.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "gpu/Context.h"
#include "package/BlobReader.h"
#include "package/FileReaders.h"
#include "Program.h"

namespace script {

namespace {

constexpr const char* kProgramName = "fx.js";
constexpr const char* kLoadEntry = "fx.js (load and setup)";

// "Script error in draw() at line 12:\nTypeError: ...\n". Lines are counted
// in fx.js itself (the prelude is not the author's); errors raised by the
// entry call's own text carry no useful line.
std::string formatScriptError(const ScriptError& error, const char* entryName) {
    std::string text = std::string("Script error in ") + entryName;
    const int line = error.line - script::preludeLineCount();
    if (error.fileName == kProgramName && line > 0) text += " at line " + std::to_string(line);
    return text + ":\n" + error.message + "\n";
}

// The largest side a render target can have and be drawn and read in full:
// the GL's texture, renderbuffer and viewport limits.
uint32_t largestTargetSide() {
    GLint texture = 0, renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    GLint side = texture;
    for (GLint limit : {renderbuffer, viewport[0], viewport[1]}) {
        if (limit > 0) side = std::min(side, limit);
    }
    return side > 0 ? static_cast<uint32_t>(side) : 1024;
}

// Why a frame's output target has no storage.
std::string outputRefusal(const gpu::RenderTarget& target) {
    switch (target.storageFailure()) {
        case gpu::StorageFailure::overBudget: return gpu::gpuMemoryLimitText();
        case gpu::StorageFailure::outOfMemory: return "the GL is out of memory";
        default: return "the GL cannot make a render target of that size";
    }
}

}  // namespace

IPlugin& effectPlugin() {
    // The registry is built first so that it is destroyed after the effect
    // object, whose destructor still shuts it down.
    gpu::Context::instance();
    static AELumivex2 plugin;
    return plugin;
}

AELumivex2::~AELumivex2() {
    // Deletes the entities' GL objects while their context can still be made
    // current, then the context itself.
    try {
        shutdown();
    } catch (...) {}
    Scripting::destroy();
}

bool AELumivex2::init(void* moduleInstance) {
    package::BlobReader::instance().open(static_cast<platform::ModuleHandle>(moduleInstance));
    config = std::make_unique<package::ConfigDocument>();
    config->load();
    // A second global setup without the module being unloaded keeps the
    // context: the registry's GL objects live in it, and a new one would
    // leave the old window and context behind.
    if (!glContext) {
        auto made = std::make_unique<gpu::OpenGLContext>();
        if (made->create() != 0) return false;
        glContext = std::move(made);
    }
    if (!lockGL()) return false;
    gpu::initGLExtensions();
    maxSide = largestTargetSide();
    loadScript();
    initialized = true;
    unlockGL();
    return true;
}

bool AELumivex2::loadScript() {
    const std::string program = script::buildProgram(package::loadTextFile(L"fx.js"));
    const bool locked = glContext && lockGL();
    Scripting& scripting = Scripting::instance();
    scripting.reset();
    scripting.create();
    loadError.clear();
    loadTimedOut = false;
    instanceErrors.clear();
    if (!scripting.ctx) {
        loadError = formatScriptError({"Error: the script engine could not be started", "", 0}, kLoadEntry);
    } else if (auto error = scripting.run(program, kProgramName, timeLimits.load, timeLimits.wall)) {
        loadError = formatScriptError(*error, kLoadEntry);
        loadTimedOut = error->timedOut;
    }
    scriptReady = true;
    gpu::Context& registry = gpu::Context::instance();
    if (gpu::Sequence* current = registry.current()) current->assign(registry);
    restoreSequences();
    if (locked) unlockGL();
    return true;
}

void AELumivex2::restoreSequences() {
    gpu::Context& registry = gpu::Context::instance();
    if (!registry.isInitialized()) return;
    for (const SequenceHandle* handle : liveHandles) registry.sequenceAt(handle->index);
}

void AELumivex2::shutdown() {
    if (!initialized) return;
    const bool locked = lockGL();
    Scripting::instance().reset();
    overlay.release();
    if (locked) unlockGL();
    glContext->destroy();
    glContext.reset();
    glLockDepth = 0;
    initialized = false;
    scriptReady = false;
}

SequenceHandle* AELumivex2::newSequence() {
    auto handle = std::make_unique<SequenceHandle>();
    handle->index = gpu::Context::instance().addSequence();
    liveHandles.insert(handle.get());
    return handle.release();
}

void AELumivex2::deleteSequence(SequenceHandle* handle) {
    if (!handle) return;
    liveHandles.erase(handle);
    // Its output target and input texture go with it, so the GL is needed.
    const bool locked = lockGL();
    gpu::Context::instance().removeSequence(handle->index);
    instanceErrors.erase(handle->index);
    if (locked) unlockGL();
    // The current handle must not outlive its deletion.
    if (sequence == handle) sequence = nullptr;
    delete handle;
}

void AELumivex2::setSequence(SequenceHandle* handle) {
    sequence = handle;
    // No handle makes no sequence current, so nothing of another instance
    // is drawn or read back in its place.
    gpu::Context::instance().currentSequence = handle ? handle->index : gpu::Context::kNoSequence;
}

gpu::Sequence* AELumivex2::selectSequence() {
    if (!sequence) return nullptr;
    gpu::Context& registry = gpu::Context::instance();
    // Loads restore the sequences of live handles (restoreSequences); one
    // missing still (a registry shut down since) is made afresh.
    if (registry.isInitialized() && !registry.sequence(sequence->index)) registry.sequenceAt(sequence->index);
    registry.currentSequence = sequence->index;
    return registry.current();
}

void AELumivex2::retryTimedOutLoad() {
    if (loadTimedOut && scriptReady) loadScript();
}

AELumivex2::InstanceErrors* AELumivex2::currentErrors() {
    return sequence ? &instanceErrors[sequence->index] : nullptr;
}

std::optional<std::string> AELumivex2::callScript(const char* source, const char* entryName) {
    if (!scriptReady) return std::nullopt;
    auto error = Scripting::instance().run(source, entryName, timeLimits.call, timeLimits.wall);
    if (!error) return std::nullopt;
    return formatScriptError(*error, entryName);
}

void AELumivex2::setFrameTime(double seconds) {
    if (!sequence) return;
    if (gpu::Sequence* current = selectSequence()) current->time = seconds;
}

void AELumivex2::reportFrameError(const std::string& text) {
    if (InstanceErrors* errors = currentErrors()) errors->preRender += text;
}

void AELumivex2::preRender(uint32_t width, uint32_t height, uint32_t* outWidth, uint32_t* outHeight) {
    if (!sequence) return;
    retryTimedOutLoad();
    gpu::Sequence* current = selectSequence();
    if (current) {
        current->outputWidth = 0;
        current->outputHeight = 0;
        const std::string call = "preRender(" + std::to_string(width) + "," + std::to_string(height) + ",1);";
        currentErrors()->preRender = callScript(call.c_str(), "preRender()").value_or("");
        current = gpu::Context::instance().current();
    }
    const uint32_t w = current && current->outputWidth ? current->outputWidth : width;
    const uint32_t h = current && current->outputHeight ? current->outputHeight : height;
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
}

void AELumivex2::render(double time, uint32_t width, uint32_t height, uint32_t depth) {
    if (!sequence) return;
    retryTimedOutLoad();
    if (gpu::Sequence* current = selectSequence()) {
        current->prepareRenderTarget(gpu::FrameFormat{width, height, 0, depth}, time);
        InstanceErrors& errors = *currentErrors();
        errors.draw.clear();
        // An updateUIFlags error is shown in one frame, then draw runs again.
        if (errors.updateUIFlagsShown) errors.updateUIFlags.clear();
        errors.updateUIFlagsShown = !errors.updateUIFlags.empty();
        const std::string blocking =
            gpu::Context::instance().collectShaderErrors() + loadError + errors.preRender + errors.updateUIFlags;
        if (!current->frameTarget()) {
            // Nothing to draw into, and nothing the host can read back.
            errors.draw = "The output of " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels at depth " + std::to_string(depth) + " could not be made: " +
                          outputRefusal(gpu::Context::instance().getRenderTarget(current->renderTargetId)) + "\n";
        } else if (!blocking.empty()) {
            drawErrorFrame(*current, blocking);
        } else if (auto error = callScript("draw();", "draw()")) {
            errors.draw = *error;
            // The script may have released or replaced the sequence.
            if (gpu::Sequence* after = gpu::Context::instance().current()) drawErrorFrame(*after, *error);
        }
    }
    if (++frameCounter > 4) {
        if (glContext) glContext->swapBuffers();
        frameCounter = 0;
    }
}

void AELumivex2::drawErrorFrame(gpu::Sequence& current, const std::string& text) {
    gpu::RenderTarget* target = current.frameTarget();
    if (!target) return;
    // What the script drew before failing, or undefined storage, is not shown.
    target->clear();
    overlay.drawOverlayText(text.c_str(), target->framebufferName(), target->width(), target->height());
}

void AELumivex2::updateUIFlags() {
    if (!sequence) return;
    // The script's LX_ calls here may make or change GL objects.
    const bool locked = lockGL();
    retryTimedOutLoad();
    if (selectSequence()) {
        InstanceErrors& errors = *currentErrors();
        errors.updateUIFlags = callScript("updateUIFlags();", "updateUIFlags()").value_or("");
        errors.updateUIFlagsShown = false;
    }
    if (locked) unlockGL();
}

uint32_t AELumivex2::paramCount() { return gpu::Context::instance().count(); }

const gpu::Parameter& AELumivex2::getParam(uint32_t index) {
    gpu::Context& registry = gpu::Context::instance();
    const gpu::Parameter* declared = registry.at(index);
    if (!declared || declared->id == 0) return gpu::emptyParameter();
    return registry.getParameter(declared->id);
}

void AELumivex2::setParamValue(uint32_t index, const float value[4]) {
    if (!value) return;
    gpu::Context& registry = gpu::Context::instance();
    const gpu::Parameter* declared = registry.at(index);
    if (!declared || declared->id == 0) return;
    gpu::Parameter& record = registry.getParameter(declared->id);
    if (record.id == 0 || record.kind == LX_LAYER) return;
    std::memcpy(record.value, value, sizeof record.value);
}

void AELumivex2::uploadLayer(uint32_t index, const void* pixels, uint32_t width, uint32_t height, uint32_t depth,
                             int32_t rowBytes) {
    if (!pixels || rowBytes == 0 || !sequence) return;
    gpu::Sequence* current = selectSequence();
    if (!current) return;
    // A bottom-up world (rows going down in memory) is copied top row first
    // into rows of its own, the order of every other upload.
    std::vector<uint8_t> topDown;
    if (rowBytes < 0) {
        const size_t row = size_t(width) * 4 * gpu::bytesPerChannel(depth);
        if (row == 0 || row > size_t(-int64_t(rowBytes))) return;
        topDown.resize(row * height);
        const auto* top = static_cast<const uint8_t*>(pixels);
        for (uint32_t y = 0; y < height; ++y) std::memcpy(topDown.data() + row * y, top + int64_t(y) * rowBytes, row);
        pixels = topDown.data();
        rowBytes = static_cast<int32_t>(row);
    }
    gpu::Context& registry = gpu::Context::instance();
    if (index == kInputLayerIndex) {
        gpu::Surface layer;
        layer.assignExternal(width, height, depth, rowBytes, const_cast<void*>(pixels));
        current->uploadInputTexture(layer);
        return;
    }
    const gpu::Parameter* declared = registry.at(index);
    if (!declared || declared->id == 0) return;
    gpu::Parameter& record = registry.getParameter(declared->id);
    if (record.id == 0) return;
    gpu::Texture& texture = registry.getTexture(record.textureId);
    if (texture.glName() == 0) return;
    texture.upload(pixels, width, height, depth, rowBytes, true, true);
    // Sampler uniforms read the GL texture name from the first value slot.
    const uint32_t name = texture.glName();
    std::memcpy(&record.value[0], &name, sizeof name);
}

const void* AELumivex2::readOutput() {
    gpu::Sequence* current = gpu::Context::instance().current();
    gpu::RenderTarget* target = current ? current->frameTarget() : nullptr;
    return target ? target->beginReadback() : nullptr;
}

void AELumivex2::releaseOutput() {
    gpu::Sequence* current = gpu::Context::instance().current();
    if (gpu::RenderTarget* target = current ? current->frameTarget() : nullptr) target->endReadback();
}

void AELumivex2::getVersion(EffectVersion* version) {
    if (!version) return;
    if (config) {
        config->getVersion(version);
    } else {
        *version = 0;
    }
}

uint32_t AELumivex2::getFlags() { return config ? config->getFlags() : 0; }

uint32_t AELumivex2::getFlags2() { return config ? config->getFlags2() : 0; }

std::string AELumivex2::getText(uint32_t index) { return config ? config->getText(index) : std::string(); }

std::string AELumivex2::getErrorText() {
    const InstanceErrors* errors = currentErrors();
    return gpu::Context::instance().collectShaderErrors() + loadError + (errors ? errors->text() : std::string());
}

bool AELumivex2::lockGL() {
    if (!glContext || !glContext->lockGL()) return false;
    ++glLockDepth;
    return true;
}

void AELumivex2::unlockGL() {
    if (!glContext) return;
    // The context's release leaves no context current; a take nested in one
    // this thread still holds must leave it current for the outer one.
    const bool outerHeld = glLockDepth > 1;
    if (glLockDepth > 0) --glLockDepth;
    glContext->unlockGL();
    if (outerHeld) glContext->makeCurrent();
}

void AELumivex2::setContextExtent(uint32_t width, uint32_t height, float scale) {
    gpu::Context& registry = gpu::Context::instance();
    registry.extentWidth = width;
    registry.extentHeight = height;
    // Out of range (or NaN) is stored as 1.
    registry.extentScale = scale >= 0.01f && scale <= 4.0f ? scale : 1.0f;
}

void AELumivex2::setInputOrigin(int32_t x, int32_t y) {
    if (!sequence) return;
    if (gpu::Sequence* current = selectSequence()) {
        current->inputOriginX = x;
        current->inputOriginY = y;
    }
}

}  // namespace script
