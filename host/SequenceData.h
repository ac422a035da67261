// The per-instance block the host keeps for each application of the effect
// (8192 bytes, zero-filled when made), and the 8-byte global and frame data.
// The host owns the blocks; the module reads and writes them during a
// command only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "script/IPlugin.h"
#include "sdk/PF_Effect.h"

namespace host {

constexpr uint32_t kSequenceDataSize = 8192;

struct SequenceData {
    uint8_t reserved0[12];
    uint32_t compWidth;  // composition size, refreshed before each frame
    uint32_t compHeight;
    uint8_t reserved1[12];
    script::SequenceHandle* handle;  // the instance's Sequence in the engine
    float compPixelAspect;
    uint8_t reserved2[kSequenceDataSize - 44];
};
static_assert(sizeof(SequenceData) == kSequenceDataSize, "SequenceData size");
static_assert(offsetof(SequenceData, compWidth) == 12, "SequenceData.compWidth");
static_assert(offsetof(SequenceData, compHeight) == 16, "SequenceData.compHeight");
static_assert(offsetof(SequenceData, handle) == 32, "SequenceData.handle");
static_assert(offsetof(SequenceData, compPixelAspect) == 40, "SequenceData.compPixelAspect");

struct GlobalData {
    uint8_t initialised;  // 1 once global setup ran
    uint8_t reserved[3];
    AEGP_PluginID pluginId;  // from the AEGP registration (compositing host)
};
static_assert(sizeof(GlobalData) == 8, "GlobalData size");

// The editing host's output size fixed at frame setup.
struct FrameData {
    uint32_t width;
    uint32_t height;
};
static_assert(sizeof(FrameData) == 8, "FrameData size");

// The block behind in_data->sequence_data (the host keeps it locked during a
// call), or null when there is none.
inline SequenceData* sequenceDataOf(const PF_InData* in_data) {
    if (!in_data->sequence_data) return nullptr;
    return static_cast<SequenceData*>(*in_data->sequence_data);
}

}  // namespace host
