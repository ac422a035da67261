// LX_ parameter functions. Ids are parameter ids when their top byte is
// 0x01; lookups act on the current sequence's copy, else the declared record.
#include <cstring>
#include <optional>

#include "gpu/Context.h"
#include "Lookup.h"
#include "Natives.h"
#include "ScriptArgs.h"

namespace script::natives {
namespace {

// The record for a parameter id, or null for another kind or an unknown id.
gpu::Parameter* findParameter(uint32_t id) {
    if ((id & gpu::kKindMask) != gpu::kParameterKind) return nullptr;
    gpu::Parameter& record = gpu::Context::instance().getParameter(id);
    return record.id != 0 ? &record : nullptr;
}

std::optional<uint32_t> parameterKind(uint32_t id) {
    return shielded(std::optional<uint32_t>(), [&]() -> std::optional<uint32_t> {
        const gpu::Parameter* record = findParameter(id);
        if (!record) return std::nullopt;
        return record->kind;
    });
}

// Runs `change` on the record if the id names one; the native's result.
template <class Change>
bool changeParameter(uint32_t id, Change&& change) {
    return shielded(false, [&] {
        gpu::Parameter* record = findParameter(id);
        if (!record) return false;
        change(*record);
        return true;
    });
}

void storeUnsigned(float& slot, uint32_t value) { std::memcpy(&slot, &value, sizeof value); }

uint32_t loadUnsigned(const float& slot) {
    uint32_t value;
    std::memcpy(&value, &slot, sizeof value);
    return value;
}

uint32_t choiceCount(const std::string& choices) {
    uint32_t bars = 0;
    for (char c : choices) bars += c == '|';
    return bars == 0 ? 0 : bars + 1;
}

}  // namespace

// LX_initParam(name, kind[, displayName]) -> id, or 0 with fewer than two
// arguments. A LAYER parameter gets a 2x2 placeholder texture for the layer.
duk_ret_t initParam(duk_context* ctx) {
    if (duk_get_top(ctx) < 2) {
        duk_push_uint(ctx, 0);
        return 1;
    }
    const std::string name = args::text(ctx, 0);
    const uint32_t kind = args::id(ctx, 1);
    const std::string displayName = args::present(ctx, 2) ? args::text(ctx, 2) : std::string();
    lookup::requireRoom(ctx, "LX_initParam", gpu::kParameterKind);
    if (kind == LX_LAYER) lookup::requireRoom(ctx, "LX_initParam", gpu::kTextureKind);
    const uint32_t id = shielded(0u, [&] {
        gpu::Context& registry = gpu::Context::instance();
        const uint32_t created = registry.createParameter(name, kind, displayName);
        if (created == 0) return 0u;
        const uint32_t texture = kind == LX_LAYER ? registry.createTexture(2, 2, 8) : 0u;
        auto* parameters = registry.factory<gpu::Parameter::Factory>();
        gpu::Parameter* record = parameters ? parameters->find(created) : nullptr;
        if (!record) return 0u;
        if (kind == LX_LAYER) record->textureId = texture;
        record->id = created;
        return created;
    });
    duk_push_uint(ctx, id);
    return 1;
}

// LX_getParamValue(id) -> number, array or texture id by kind; false when not
// found; the id itself (as a number) for kinds without a value. A TEXTURE
// parameter gives the host's popup choice (from 1): the script answers it by
// assigning the chosen texture with LX_setParamValue.
duk_ret_t getParamValue(duk_context* ctx) {
    const double idNumber = args::number(ctx, 0);
    const uint32_t id = static_cast<uint32_t>(args::toInteger(idNumber));
    struct Read {
        bool found = false;
        uint32_t kind = 0;
        double values[4] = {};
    };
    const Read read = shielded(Read{}, [&] {
        Read out;
        const gpu::Parameter* record = findParameter(id);
        if (!record) return out;
        out.found = true;
        out.kind = record->kind;
        for (int i = 0; i < 4; ++i) out.values[i] = record->value[i];
        if (record->kind == LX_LAYER) out.values[0] = record->textureId;
        if (record->kind == LX_BOOL || record->kind == LX_POPUP || record->kind == LX_TEXTURE) {
            out.values[0] = loadUnsigned(record->value[0]);
        }
        return out;
    });
    if (!read.found) {
        duk_push_false(ctx);
        return 1;
    }
    switch (read.kind) {
        case LX_FLOAT:
        case LX_ANGLE:
        case LX_LAYER:
        case LX_TEXTURE:
        case LX_BOOL:
        case LX_POPUP: duk_push_number(ctx, read.values[0]); break;
        case LX_POINT: pushNumbers(ctx, read.values, 3); break;
        case LX_COLOR: pushNumbers(ctx, read.values, 4); break;
        case LX_POINT2D: pushNumbers(ctx, read.values, 2); break;
        default: duk_push_number(ctx, idNumber); break;
    }
    return 1;
}

// LX_setParamValue(id, value) -> true if found. The value is converted by the
// parameter's kind; an array kind given a non-array changes nothing.
duk_ret_t setParamValue(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const std::optional<uint32_t> kind = parameterKind(id);
    if (!kind) {
        duk_push_false(ctx);
        return 1;
    }
    const args::KindValue value = args::valueForKind(ctx, 1, *kind);
    // The conversions may have run script code: look the record up again.
    const bool found = changeParameter(id, [&](gpu::Parameter& record) {
        if (record.kind != *kind) return;
        for (int i = 0; i < value.count; ++i) record.value[i] = value.values[i];
        if (*kind == LX_LAYER || *kind == LX_TEXTURE) record.textureId = value.integer;
        if (*kind == LX_BOOL || *kind == LX_POPUP) storeUnsigned(record.value[0], value.integer);
    });
    duk_push_boolean(ctx, found);
    return 1;
}

// LX_setParamMinMax(id, min, max) -> true if found; only FLOAT takes the range.
duk_ret_t setParamMinMax(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const float minimum = static_cast<float>(args::number(ctx, 1));
    const float maximum = static_cast<float>(args::number(ctx, 2));
    duk_push_boolean(ctx, changeParameter(id, [&](gpu::Parameter& record) {
                         if (record.kind != LX_FLOAT) return;
                         record.minimum[0] = minimum;
                         record.maximum[0] = maximum;
                     }));
    return 1;
}

// LX_setParamChoices(id, text) -> true if found. Entries are separated by '|';
// a text without any '|' counts 0 entries.
duk_ret_t setParamChoices(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const std::string choices = args::text(ctx, 1);
    duk_push_boolean(ctx, changeParameter(id, [&](gpu::Parameter& record) {
                         record.choices = choices;
                         record.choiceCount = choiceCount(choices);
                     }));
    return 1;
}

// LX_setParamPrecision(id, precision) -> true if found; the low 8 bits go to
// the top byte of the flags word.
duk_ret_t setParamPrecision(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const uint32_t precision = args::id(ctx, 1);
    duk_push_boolean(ctx, changeParameter(id, [&](gpu::Parameter& record) {
                         record.flags =
                             (record.flags & ~gpu::kParamPrecisionMask) | (precision << gpu::kParamPrecisionShift);
                     }));
    return 1;
}

// LX_setParamEnabled(id, enabled) -> true if found; an enabled of 0 (or a
// missing or non-numeric one) disables.
duk_ret_t setParamEnabled(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const bool enabled = args::integer(ctx, 1) != 0;
    duk_push_boolean(ctx, changeParameter(id, [&](gpu::Parameter& record) {
                         record.flags &= ~gpu::kParamFlagDisabled;
                         if (!enabled) record.flags |= gpu::kParamFlagDisabled;
                     }));
    return 1;
}

// LX_setParamFlags(id, flags) -> true if found; replaces the whole word.
duk_ret_t setParamFlags(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const uint32_t flags = args::present(ctx, 1) ? duk_to_uint32(ctx, 1) : 0;
    duk_push_boolean(ctx, changeParameter(id, [&](gpu::Parameter& record) { record.flags = flags; }));
    return 1;
}

// LX_getParamFlags(id) -> the flags word as a signed number; false if not found.
duk_ret_t getParamFlags(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    const std::optional<uint32_t> flags = shielded(std::optional<uint32_t>(), [&]() -> std::optional<uint32_t> {
        const gpu::Parameter* record = findParameter(id);
        if (!record) return std::nullopt;
        return record->flags;
    });
    if (flags) {
        duk_push_int(ctx, static_cast<int32_t>(*flags));
    } else {
        duk_push_false(ctx);
    }
    return 1;
}

}  // namespace script::natives
