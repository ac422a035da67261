// Parameters between frei0r and the engine: which script parameters frei0r
// shows, and their values both ways.
// The API's header has no C++ guards of its own.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Frei0rGlue.h"
#include "script/IPlugin.h"

namespace frei0r {

namespace {

constexpr uint32_t kSkipHost = gpu::kParamFlagSkipHostUpdate;

// BOOL and POPUP keep a 32-bit integer in the first value slot.
int32_t intSlot(const float value[4]) {
    int32_t v;
    std::memcpy(&v, &value[0], sizeof v);
    return v;
}
void setIntSlot(float value[4], int32_t v) { std::memcpy(&value[0], &v, sizeof v); }

double held(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

// The number of popup entries, at least one.
uint32_t entries(const gpu::Parameter& param) { return std::max<uint32_t>(param.choiceCount, 1); }

// A declared colour component as the host keeps it: truncated to an
// integer, low eight bits.
double colourByte(float v) {
    const double t = std::isnan(v) ? 0.0 : std::trunc(std::clamp<double>(v, INT32_MIN, INT32_MAX));
    return static_cast<double>(static_cast<int64_t>(t) & 0xFF);
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

std::string explain(const gpu::Parameter& param) {
    std::string name = param.displayName.empty() ? param.name : param.displayName;
    switch (param.kind) {
        case LX_FLOAT: return name + ": 0 to 1 is " + number(param.minimum[0]) + " to " + number(param.maximum[0]);
        case LX_ANGLE: return name + ": 0 to 1 is 0 to 360 degrees";
        case LX_COLOR: return name + ": red, green and blue from 0 to 1";
        case LX_POINT2D: return name + ": x and y as fractions of the frame's width and height, from its top left";
        case LX_BOOL: return name + ": on at 0.5 and above";
        case LX_POPUP:
        case LX_TEXTURE: {
            std::string text = name + ": 0 to 1 picks one of " + std::to_string(entries(param)) + " entries";
            if (!param.choices.empty()) text += " (" + param.choices + ")";
            return text + ", 0 the first, 1 the last";
        }
        case LX_POINT: return name + ": three numbers x,y,z";
        default: return name;
    }
}

}  // namespace

int frei0rType(uint32_t kind) {
    switch (kind) {
        case LX_FLOAT:
        case LX_ANGLE:
        case LX_POPUP:
        case LX_TEXTURE: return F0R_PARAM_DOUBLE;
        case LX_COLOR: return F0R_PARAM_COLOR;
        case LX_POINT2D: return F0R_PARAM_POSITION;
        case LX_BOOL: return F0R_PARAM_BOOL;
        case LX_POINT: return F0R_PARAM_STRING;
        default: return -1;  // layers, paths, groups and unknown kinds
    }
}

std::vector<Slot> exposedParams(script::IPlugin& fx) {
    std::vector<Slot> slots;
    const uint32_t count = fx.paramCount();
    for (uint32_t p = 0; p < count; ++p) {
        const gpu::Parameter& param = fx.getParam(p);
        const int type = frei0rType(param.kind);
        if (param.id == 0 || (param.flags & kSkipHost) || type < 0) continue;
        Slot slot;
        slot.position = p;
        slot.type = type;
        slot.name = param.displayName.empty() ? param.name : param.displayName;
        slot.explanation = explain(param);
        slots.push_back(std::move(slot));
    }
    return slots;
}

void toEngine(const gpu::Parameter& param, const Value& value, uint32_t width, uint32_t height, float out[4]) {
    std::fill(out, out + 4, 0.0f);
    switch (param.kind) {
        case LX_FLOAT: {
            const double lo = param.minimum[0];
            const double hi = param.maximum[0];
            out[0] = static_cast<float>(hi > lo ? lo + held(value.x) * (hi - lo) : lo);
            break;
        }
        case LX_ANGLE: out[0] = static_cast<float>(std::isnan(value.x) ? 0.0 : value.x * 360.0); break;
        case LX_COLOR:
            out[0] = static_cast<float>(held(value.x));
            out[1] = static_cast<float>(held(value.y));
            out[2] = static_cast<float>(held(value.z));
            out[3] = 1.0f;
            break;
        case LX_POINT2D:
            out[0] = static_cast<float>(std::isnan(value.x) ? 0.0 : value.x * width);
            out[1] = static_cast<float>(std::isnan(value.y) ? 0.0 : value.y * height);
            break;
        case LX_BOOL: setIntSlot(out, value.x >= 0.5 ? 1 : 0); break;
        case LX_POPUP:
        case LX_TEXTURE:
            setIntSlot(out, 1 + static_cast<int32_t>(std::lround(held(value.x) * (entries(param) - 1))));
            break;
        case LX_POINT: {
            // Up to three numbers; a component not given is 0.
            const char* at = value.text.c_str();
            for (int i = 0; i < 3 && *at; ++i) {
                char* end = nullptr;
                const double v = std::strtod(at, &end);
                if (end == at) break;
                out[i] = std::isfinite(v) ? static_cast<float>(v) : 0.0f;
                at = end;
                while (*at == ',' || *at == ' ' || *at == '\t') ++at;
            }
            break;
        }
        default: break;
    }
}

Value fromEngine(const gpu::Parameter& param, const float value[4], uint32_t width, uint32_t height) {
    Value v;
    switch (param.kind) {
        case LX_FLOAT: {
            const double lo = param.minimum[0];
            const double hi = param.maximum[0];
            v.x = hi > lo ? held((value[0] - lo) / (hi - lo)) : 0.0;
            break;
        }
        case LX_ANGLE: v.x = value[0] / 360.0; break;
        case LX_COLOR:
            v.x = held(value[0]);
            v.y = held(value[1]);
            v.z = held(value[2]);
            break;
        case LX_POINT2D:
            v.x = width ? value[0] / double(width) : 0.0;
            v.y = height ? value[1] / double(height) : 0.0;
            break;
        case LX_BOOL: v.x = intSlot(value) ? 1.0 : 0.0; break;
        case LX_POPUP:
        case LX_TEXTURE: {
            const uint32_t n = entries(param);
            v.x = n > 1 ? held((intSlot(value) - 1) / double(n - 1)) : 0.0;
            break;
        }
        case LX_POINT: v.text = number(value[0]) + "," + number(value[1]) + "," + number(value[2]); break;
        default: break;
    }
    return v;
}

Value defaultValue(const gpu::Parameter& param, uint32_t width, uint32_t height) {
    float value[4];
    std::memcpy(value, param.value, sizeof value);
    switch (param.kind) {
        case LX_COLOR:
            // Declared in the host's bytes; the host shows the colour opaque.
            for (int i = 0; i < 3; ++i) value[i] = static_cast<float>(colourByte(value[i]) / 255.0);
            value[3] = 1.0f;
            break;
        case LX_POPUP:
            // The host keeps a popup's entry in 16 bits.
            setIntSlot(value, static_cast<int16_t>(intSlot(value) & 0xFFFF));
            break;
        case LX_TEXTURE:
            setIntSlot(value, 1);  // the first entry
            break;
        default: break;
    }
    return fromEngine(param, value, width, height);
}

}  // namespace frei0r
