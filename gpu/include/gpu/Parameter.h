// The parameter record: what the script declared about one effect parameter,
// how the host shows it and its current value. Shader uniforms are described
// by the same record.
#pragma once

#include <cstdint>
#include <string>

// Parameter kinds, as the script sees them in LX_Type.
enum LX_Type : uint32_t {
    LX_UNKNOWN = 0,
    LX_FLOAT = 1,
    LX_POINT = 2,
    LX_COLOR = 3,
    LX_LAYER = 4,
    LX_POINT2D = 5,
    LX_TEXTURE = 6,
    LX_PATH = 7,
    LX_BOOL = 8,
    LX_POPUP = 9,
    LX_GROUP_START = 10,
    LX_GROUP_END = 11,
    LX_ANGLE = 12,
};

// Bits of Parameter::flags that the script sets through LX_ParamFlags.
enum LX_ParamFlags : uint32_t {
    LX_PF_NONE = 0,
    LX_PF_ScaleByWidth = 8,
    LX_PF_ScaleByHeight = 16,
    LX_PF_RemoveScale = 32,
};

namespace gpu {

// Other bits of the flags word.
constexpr uint32_t kParamFlagSkipHostUpdate = 1;  // left out of host UI updates
constexpr uint32_t kParamFlagDisabled = 2;        // greyed out in the host UI
constexpr uint32_t kParamPrecisionShift = 24;     // top byte: display precision
constexpr uint32_t kParamPrecisionMask = 0xFF000000u;

// The kind a value is held and uploaded as: an ANGLE like a FLOAT, a TEXTURE
// like a LAYER (a sampler's texture), a POPUP like a BOOL (one integer). A
// parameter's value reaches a uniform when both have the same value kind.
inline uint32_t valueKind(uint32_t kind) {
    switch (kind) {
        case LX_ANGLE: return LX_FLOAT;
        case LX_TEXTURE: return LX_LAYER;
        case LX_POPUP: return LX_BOOL;
        default: return kind;
    }
}

struct Parameter {
    std::string name;         // identifier; uniforms are matched against it
    std::string displayName;  // shown by the host
    uint32_t kind = 0;        // an LX_Type value
    int32_t arraySize = 0;    // uniform records only: GLSL array size
    uint32_t id = 0;          // entity id (0x01xxxxxx); 0 marks the empty record
    uint32_t flags = 0;
    int32_t location = 0;           // uniform records only: GL uniform location
    float value[4] = {0, 0, 0, 0};  // BOOL and POPUP keep an unsigned in value[0]
    float minimum[4] = {0, 0, 0, 0};
    float maximum[4] = {0, 0, 0, 0};
    uint32_t textureId = 0;  // LAYER and TEXTURE
    std::string choices;     // entries separated by '|'
    uint32_t choiceCount = 0;

    struct Factory;  // the registry's factory of parameter entities
};

}  // namespace gpu
