// The effect engine behind IPlugin: owns the configuration and the GL
// context, loads the script and calls its entry points for the host glue.
//
// Errors: a script error (thrown and not caught by the script, a syntax
// error, a call over its time budget) never leaves the engine: it is kept as
// text naming the entry point, the message and the fx.js line, and drawn into
// the output frame the way shader errors are, while the engine stays usable.
// Errors are kept per effect instance and per call: an error of an
// instance's preRender shows in the frame that follows it, an error of its
// updateUIFlags in its next frame, an error of its draw in that frame; the
// next call of each entry point runs the script again, and other instances
// render as usual. An error of loading and setup() belongs to the one script
// and shows in every frame; a load stopped by its time limit is retried at
// the next per-frame call. init passes on ConfigError (a malformed
// config.xml) and OpenGLFault.
// Time limits (TimeLimits): a call may run one second of script code (five
// for loading and setup()); the native work of LX_ functions is not counted.
// A minute bounds any call in all, native work included.
// Ownership: the object owns the configuration, the GL context and the text
// overlay; the script runtime and the registry are process-wide singletons
// that it creates and resets.
// Threads: every operation runs under the host's entry lock; GL work needs
// the GL lock (lockGL/unlockGL around per-frame calls; init, loadScript and
// updateUIFlags take it themselves).
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "gpu/OpenGLContext.h"
#include "gpu/text/TextOverlay.h"
#include "package/ConfigDocument.h"
#include "script/IPlugin.h"
#include "Scripting.h"

namespace gpu {
class Sequence;
}  // namespace gpu

namespace script {

class AELumivex2 : public IPlugin {
public:
    // How long a call may run before it is stopped with an error: script
    // time of loading and setup(), script time of a per-frame or UI call,
    // and time in all of any call, native work included.
    struct TimeLimits {
        std::chrono::milliseconds load{5000};
        std::chrono::milliseconds call{1000};
        std::chrono::milliseconds wall{60000};
    };

    AELumivex2() = default;
    ~AELumivex2() override;

    bool init(void* moduleInstance) override;
    bool loadScript() override;
    void shutdown() override;

    SequenceHandle* newSequence() override;
    void deleteSequence(SequenceHandle* handle) override;
    void setSequence(SequenceHandle* handle) override;

    void setFrameTime(double seconds) override;
    void preRender(uint32_t width, uint32_t height, uint32_t* outWidth, uint32_t* outHeight) override;
    uint32_t maxOutputSide() override { return maxSide; }
    void reportFrameError(const std::string& text) override;
    void render(double time, uint32_t width, uint32_t height, uint32_t depth) override;
    void updateUIFlags() override;

    uint32_t paramCount() override;
    const gpu::Parameter& getParam(uint32_t index) override;
    void setParamValue(uint32_t index, const float value[4]) override;
    void uploadLayer(uint32_t index, const void* pixels, uint32_t width, uint32_t height, uint32_t depth,
                     int32_t rowBytes) override;

    const void* readOutput() override;
    void releaseOutput() override;

    void getVersion(EffectVersion* version) override;
    uint32_t getFlags() override;
    uint32_t getFlags2() override;
    std::string getText(uint32_t index) override;
    // Shader errors (as the render path collects them), the load error and
    // the current instance's script errors that are currently kept.
    std::string getErrorText() override;

    bool lockGL() override;
    void unlockGL() override;

    void setContextExtent(uint32_t width, uint32_t height, float scale) override;
    void setInputOrigin(int32_t x, int32_t y) override;

    // Renders since the last buffer swap (one swap every fifth render).
    uint32_t framesSinceSwap() const { return frameCounter; }
    // Replaces the time limits (tests shorten them).
    void setTimeLimits(const TimeLimits& limits) { timeLimits = limits; }
    bool isScriptReady() const { return scriptReady; }

private:
    // Script errors of one effect instance, by the call that raised them.
    struct InstanceErrors {
        std::string preRender, updateUIFlags, draw;
        bool updateUIFlagsShown = false;  // drawn into a frame already
        std::string text() const { return preRender + updateUIFlags + draw; }
    };

    // Makes the handle's Sequence current (a fresh one at its index when a
    // script reload dropped it); null without a handle.
    gpu::Sequence* selectSequence();
    // After a script load: every live instance gets a fresh Sequence at its
    // own index, so that no index a live handle names is handed out again.
    void restoreSequences();
    // Loads the script again when the last load was stopped by its time limit.
    void retryTimedOutLoad();
    // Runs one entry call; returns the error text for the overlay, if any.
    std::optional<std::string> callScript(const char* source, const char* entryName);
    // Clears the output render target and writes `text` into it in white.
    void drawErrorFrame(gpu::Sequence& sequence, const std::string& text);
    // The current instance's errors (null without a current handle).
    InstanceErrors* currentErrors();

    SequenceHandle* sequence = nullptr;
    std::set<SequenceHandle*> liveHandles;  // made by newSequence, not yet deleted
    std::unique_ptr<package::ConfigDocument> config;
    std::unique_ptr<gpu::OpenGLContext> glContext;
    gpu::text::TextOverlay overlay;  // lives in glContext; released before it
    bool initialized = false;
    bool scriptReady = false;
    TimeLimits timeLimits;
    unsigned glLockDepth = 0;  // GL lock takes held, changed only by the holder
    uint32_t frameCounter = 0;
    // The GL's limits on a render target's side, read at init (before it,
    // the smallest any GL may have: its required minimum texture size).
    uint32_t maxSide = 1024;

    std::string loadError;
    bool loadTimedOut = false;
    std::map<uint32_t, InstanceErrors> instanceErrors;  // by sequence index
};

}  // namespace script
