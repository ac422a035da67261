// The effect engine as the host glue sees it. One static object implements
// it (effectPlugin()); every operation runs under the module's entry lock.
// Per-sequence operations act on the sequence made current by setSequence
// and do nothing while no sequence is set.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "gpu/Parameter.h"
#include "package/ConfigDocument.h"  // EffectVersion

namespace script {

// What the host keeps in its sequence data: three 32-bit words, the second
// of which is the index of the instance's Sequence in the render registry.
struct SequenceHandle {
    uint32_t reserved0 = 0;
    uint32_t index = 0;
    uint32_t reserved2 = 0;
};

// uploadLayer's parameter index for the effect's own input layer. Its
// rowBytes is the host's: negative for a bottom-up world, whose pixels
// pointer is its top row.
constexpr uint32_t kInputLayerIndex = 0xFFFFFFFFu;

class IPlugin {
public:
    virtual ~IPlugin() = default;

    virtual bool init(void* moduleInstance) = 0;
    virtual bool loadScript() = 0;
    virtual void shutdown() = 0;

    virtual SequenceHandle* newSequence() = 0;
    virtual void deleteSequence(SequenceHandle* handle) = 0;
    virtual void setSequence(SequenceHandle* handle) = 0;

    // The time of the frame about to be set up or rendered, in seconds, as
    // LX_getTime gives it (render sets it too).
    virtual void setFrameTime(double seconds) = 0;
    virtual void preRender(uint32_t width, uint32_t height, uint32_t* outWidth, uint32_t* outHeight) = 0;
    // The largest output, in pixels a side, that the engine can render.
    virtual uint32_t maxOutputSide() = 0;
    // An error the host glue found in what the current instance asked for
    // (an output size it had to clamp): shown in the instance's next frame
    // like an error of its preRender.
    virtual void reportFrameError(const std::string& text) = 0;
    virtual void render(double time, uint32_t width, uint32_t height, uint32_t depth) = 0;
    virtual void updateUIFlags() = 0;

    virtual uint32_t paramCount() = 0;
    virtual const gpu::Parameter& getParam(uint32_t index) = 0;
    virtual void setParamValue(uint32_t index, const float value[4]) = 0;
    virtual void uploadLayer(uint32_t index, const void* pixels, uint32_t width, uint32_t height, uint32_t depth,
                             int32_t rowBytes) = 0;

    virtual const void* readOutput() = 0;
    virtual void releaseOutput() = 0;

    virtual void getVersion(EffectVersion* version) = 0;
    virtual uint32_t getFlags() = 0;
    virtual uint32_t getFlags2() = 0;
    virtual std::string getText(uint32_t index) = 0;
    virtual std::string getErrorText() = 0;

    virtual bool lockGL() = 0;
    virtual void unlockGL() = 0;

    virtual void setContextExtent(uint32_t width, uint32_t height, float scale) = 0;
    virtual void setInputOrigin(int32_t x, int32_t y) = 0;
};

// The module's one effect engine.
IPlugin& effectPlugin();

// An output size the script asked for, held to what the engine can render
// (maxOutputSide a side). A size held back is reported to the current
// instance as an error of its frame.
inline void holdOutputSize(IPlugin& fx, uint32_t& width, uint32_t& height) {
    const uint32_t most = std::clamp<uint32_t>(fx.maxOutputSide(), 1, INT32_MAX);
    if (width <= most && height <= most) return;
    fx.reportFrameError("The effect asked for an output of " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels; the output is clamped to at most " + std::to_string(most) + " pixels a side.\n");
    if (width > most) width = most;
    if (height > most) height = most;
}

}  // namespace script
