#include "tests/host/FakePlugin.h"

#include <cstring>

FakePlugin& fakePlugin() {
    static FakePlugin plugin;
    return plugin;
}

script::IPlugin& script::effectPlugin() { return fakePlugin(); }

EffectVersion packVersion(uint32_t major, uint32_t minor, uint32_t stage, uint32_t build) {
    return (major & 0x3F) | ((minor & 0xFF) << 6) | ((build & 0xFFFF) << 14) | ((stage & 3u) << 30);
}

float intAsSlot(int32_t v) {
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
}

int32_t slotAsInt(float v) {
    int32_t i;
    std::memcpy(&i, &v, sizeof i);
    return i;
}

void FakePlugin::addParam(uint32_t kind, const std::string& displayName, std::array<float, 4> value,
                          uint32_t paramFlags) {
    gpu::Parameter p;
    p.name = displayName;
    p.displayName = displayName;
    p.kind = kind;
    p.flags = paramFlags;
    for (int i = 0; i < 4; ++i) p.value[i] = value[i];
    p.id = 0x01000000u + static_cast<uint32_t>(params.size()) + 1;
    params.push_back(p);
}

bool FakePlugin::init(void* instance) {
    initInstance = instance;
    return initResult;
}

script::SequenceHandle* FakePlugin::newSequence() {
    sequences.push_back(std::make_unique<script::SequenceHandle>());
    sequences.back()->index = static_cast<uint32_t>(sequences.size());
    return sequences.back().get();
}

void FakePlugin::deleteSequence(script::SequenceHandle* handle) {
    if (handle) ++deleted;
    if (current == handle) current = nullptr;
}

void FakePlugin::setSequence(script::SequenceHandle* handle) {
    ++setSequenceCalls;
    current = handle;
}

void FakePlugin::preRender(uint32_t width, uint32_t height, uint32_t* outW, uint32_t* outH) {
    preRenders.push_back({width, height});
    timeAtPreRender = frameTimes.empty() ? -1 : frameTimes.back();
    *outW = outWidth ? outWidth : width;
    *outH = outHeight ? outHeight : height;
}

void FakePlugin::render(double time, uint32_t width, uint32_t height, uint32_t depth) {
    renders.push_back({time, width, height, depth});
}

void FakePlugin::updateUIFlags() {
    if (onUpdateUIFlags) onUpdateUIFlags();
}

void FakePlugin::setParamValue(uint32_t index, const float value[4]) {
    if (values.size() <= index) {
        values.resize(index + 1, {0, 0, 0, 0});
        valueWrites.resize(index + 1, 0);
    }
    values[index] = {value[0], value[1], value[2], value[3]};
    ++valueWrites[index];
}

void FakePlugin::uploadLayer(uint32_t index, const void* pixels, uint32_t width, uint32_t height, uint32_t depth,
                             int32_t rowBytes) {
    Upload up{index, width, height, depth, static_cast<uint32_t>(rowBytes), {}};
    const size_t row = size_t(width) * depth / 2;
    const auto* src = static_cast<const uint8_t*>(pixels);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* from = src + int64_t(y) * rowBytes;
        up.bytes.insert(up.bytes.end(), from, from + row);
    }
    uploads.push_back(std::move(up));
}

std::string FakePlugin::getText(uint32_t index) {
    if (onGetText) onGetText();
    return index < texts.size() ? texts[index] : std::string();
}

bool FakePlugin::lockGL() {
    ++locks;
    return lockResult;
}

void FakePlugin::setContextExtent(uint32_t width, uint32_t height, float scale) {
    extentW = width;
    extentH = height;
    extentScale = scale;
}

void FakePlugin::setInputOrigin(int32_t x, int32_t y) {
    originX = x;
    originY = y;
}
