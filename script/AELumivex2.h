// The effect engine behind IPlugin: owns the configuration and the GL
// context, loads the script and calls its entry points for the host glue.
//
// Errors: a script error (thrown and not caught by the script, a syntax
// error, a call over its time budget) never leaves the engine: it is kept as
// text naming the entry point, the message and the fx.js line, and drawn into
// the output frame the way shader errors are, while the engine stays usable
// and the next call runs the script again. Errors of loading and setup(), of
// preRender and of updateUIFlags replace draw() until that entry point runs
// cleanly again; an error of draw() is shown in its own frame. init passes
// on ConfigError (a malformed config.xml) and OpenGLFault.
// Ownership: the object owns the configuration, the GL context and the text
// overlay; the script runtime and the registry are process-wide singletons
// that it creates and resets.
// Threads: every operation runs under the host's entry lock; GL work needs
// the GL lock (lockGL/unlockGL around per-frame calls; init and loadScript
// take it themselves).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "gpu/OpenGLContext.h"
#include "gpu/text/TextOverlay.h"
#include "package/ConfigDocument.h"
#include "script/IPlugin.h"
#include "script/Scripting.h"

class Sequence;

class AELumivex2 : public IPlugin {
public:
    // Time a script call may run before it is stopped with an error.
    static constexpr std::chrono::milliseconds kLoadTimeLimit{5000};
    static constexpr std::chrono::milliseconds kCallTimeLimit{1000};

    AELumivex2() = default;
    ~AELumivex2() override;

    bool init(void* moduleInstance) override;
    bool loadScript() override;
    void shutdown() override;

    SequenceHandle* newSequence() override;
    void deleteSequence(SequenceHandle* handle) override;
    void setSequence(SequenceHandle* handle) override;

    void preRender(uint32_t width, uint32_t height, uint32_t* outWidth, uint32_t* outHeight) override;
    void render(double time, uint32_t width, uint32_t height, uint32_t depth) override;
    void updateUIFlags() override;

    uint32_t paramCount() override;
    const Parameter& getParam(uint32_t index) override;
    void setParamValue(uint32_t index, const float value[4]) override;
    void uploadLayer(uint32_t index, const void* pixels, uint32_t width, uint32_t height, uint32_t depth,
                     int32_t rowBytes) override;

    const void* readOutput() override;
    void releaseOutput() override;

    void getVersion(EffectVersion* version) override;
    uint32_t getFlags() override;
    uint32_t getFlags2() override;
    std::string getText(uint32_t index) override;
    // Shader errors (as the render path collects them) followed by the
    // script errors that are currently kept.
    std::string getErrorText() override;

    bool lockGL() override;
    void unlockGL() override;

    void setContextExtent(uint32_t width, uint32_t height, float scale) override;
    void setInputOrigin(int32_t x, int32_t y) override;

    // Renders since the last buffer swap (one swap every fifth render).
    uint32_t framesSinceSwap() const { return frameCounter; }
    bool isScriptReady() const { return scriptReady; }

private:
    // Makes the handle's Sequence current; null when it names none.
    Sequence* selectSequence();
    // Runs one entry call; returns the error text for the overlay, if any.
    std::optional<std::string> callScript(const char* source, const char* entryName);
    // Clears the output render target and writes `text` into it in white.
    void drawErrorFrame(Sequence& sequence, const std::string& text);
    std::string blockingScriptErrors() const;

    SequenceHandle* sequence = nullptr;
    std::unique_ptr<package::ConfigDocument> config;
    std::unique_ptr<OpenGLContext> glContext;
    gpu::text::TextOverlay overlay;  // lives in glContext; released before it
    bool initialized = false;
    bool scriptReady = false;
    uint32_t frameCounter = 0;

    struct ScriptErrors {
        std::string load, preRender, updateUIFlags, draw;
    } scriptErrors;
};
