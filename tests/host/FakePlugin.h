// A scriptable stand-in for the effect engine, so the host glue can be
// tested without GL or a script. It records every call the glue makes.
// One instance per test process (tests run in their own processes).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "script/IPlugin.h"

struct FakePlugin : script::IPlugin {
    struct Upload {
        uint32_t index, width, height, depth, rowBytes;
        std::vector<uint8_t> bytes;  // height rows of width pixels, tightly packed
    };
    struct RenderCall {
        double time;
        uint32_t width, height, depth;
    };

    // Configuration
    bool initResult = true;
    EffectVersion version = 0;
    uint32_t flags = 0, flags2 = 0;
    std::vector<std::string> texts{"About this effect", "Fx", "Registration"};
    std::vector<gpu::Parameter> params;
    uint32_t outWidth = 0, outHeight = 0;  // preRender result; 0 keeps the input size
    bool lockResult = true;
    std::vector<uint8_t> readback;    // empty: readOutput gives null
    std::function<void()> onGetText;  // runs inside getText (tests throw or sleep here)
    std::function<void()> onUpdateUIFlags;

    // Record
    void* initInstance = nullptr;
    std::vector<std::unique_ptr<script::SequenceHandle>> sequences;
    int deleted = 0;
    script::SequenceHandle* current = nullptr;
    int setSequenceCalls = 0;
    std::vector<std::array<float, 4>> values;  // by position, last setParamValue
    std::vector<int> valueWrites;              // by position
    std::vector<Upload> uploads;
    std::vector<RenderCall> renders;
    std::vector<std::array<uint32_t, 2>> preRenders;
    std::vector<double> frameTimes;        // setFrameTime, in order
    double timeAtPreRender = -1;           // the frame time the last preRender saw
    uint32_t maxSide = 16384;              // maxOutputSide
    std::vector<std::string> frameErrors;  // reportFrameError
    int locks = 0, unlocks = 0, releasedOutputs = 0;
    uint32_t extentW = 0, extentH = 0;
    float extentScale = 0;
    int32_t originX = 0, originY = 0;

    void addParam(uint32_t kind, const std::string& displayName, std::array<float, 4> value = {0, 0, 0, 0},
                  uint32_t flags = 0);

    bool init(void* instance) override;
    bool loadScript() override { return true; }
    void shutdown() override {}
    script::SequenceHandle* newSequence() override;
    void deleteSequence(script::SequenceHandle* handle) override;
    void setSequence(script::SequenceHandle* handle) override;
    void setFrameTime(double seconds) override { frameTimes.push_back(seconds); }
    void preRender(uint32_t width, uint32_t height, uint32_t* outW, uint32_t* outH) override;
    uint32_t maxOutputSide() override { return maxSide; }
    void reportFrameError(const std::string& text) override { frameErrors.push_back(text); }
    void render(double time, uint32_t width, uint32_t height, uint32_t depth) override;
    void updateUIFlags() override;
    uint32_t paramCount() override { return static_cast<uint32_t>(params.size()); }
    const gpu::Parameter& getParam(uint32_t index) override { return params.at(index); }
    void setParamValue(uint32_t index, const float value[4]) override;
    void uploadLayer(uint32_t index, const void* pixels, uint32_t width, uint32_t height, uint32_t depth,
                     int32_t rowBytes) override;
    const void* readOutput() override { return readback.empty() ? nullptr : readback.data(); }
    void releaseOutput() override { ++releasedOutputs; }
    void getVersion(EffectVersion* v) override { *v = version; }
    uint32_t getFlags() override { return flags; }
    uint32_t getFlags2() override { return flags2; }
    std::string getText(uint32_t index) override;
    std::string getErrorText() override { return {}; }
    bool lockGL() override;
    void unlockGL() override { ++unlocks; }
    void setContextExtent(uint32_t width, uint32_t height, float scale) override;
    void setInputOrigin(int32_t x, int32_t y) override;
    int liveSequences() const { return static_cast<int>(sequences.size()) - deleted; }
};

// The process's fake engine (the same object effectPlugin() returns).
FakePlugin& fakePlugin();

// The engine's packed version word.
EffectVersion packVersion(uint32_t major, uint32_t minor, uint32_t stage, uint32_t build);

// Integer value slots as BOOL and POPUP parameters keep them.
float intAsSlot(int32_t v);
int32_t slotAsInt(float v);
