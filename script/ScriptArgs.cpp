#include "ScriptArgs.h"

#include "gpu/Parameter.h"
#include "Scripting.h"

#include <cmath>
#include <limits>

namespace script::args {

double number(duk_context* ctx, duk_idx_t index) {
    if (!present(ctx, index)) return std::numeric_limits<double>::quiet_NaN();
    return duk_to_number(ctx, index);
}

int32_t toInteger(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

bool boolean(duk_context* ctx, duk_idx_t index) { return present(ctx, index) && duk_to_boolean(ctx, index); }

std::string text(duk_context* ctx, duk_idx_t index) {
    if (!present(ctx, index)) return "undefined";
    duk_size_t length = 0;
    const char* chars = duk_to_lstring(ctx, index, &length);
    return std::string(chars, length);
}

bool floats(duk_context* ctx, duk_idx_t index, float* out, int count) {
    if (!present(ctx, index) || !duk_is_array(ctx, index)) return false;
    float read[4];
    for (int i = 0; i < count; ++i) {
        // [ ... ] -> [ ... element ] -> [ ... ]
        duk_get_prop_index(ctx, index, static_cast<duk_uarridx_t>(i));
        read[i] = static_cast<float>(duk_to_number(ctx, -1));
        duk_pop(ctx);
    }
    for (int i = 0; i < count; ++i) out[i] = read[i];
    return true;
}

KindValue valueForKind(duk_context* ctx, duk_idx_t index, uint32_t kind) {
    KindValue value;
    switch (kind) {
        case LX_FLOAT:
        case LX_ANGLE:
            value.values[0] = static_cast<float>(number(ctx, index));
            value.count = 1;
            break;
        case LX_POINT: value.count = floats(ctx, index, value.values, 3) ? 3 : 0; break;
        case LX_COLOR: value.count = floats(ctx, index, value.values, 4) ? 4 : 0; break;
        case LX_POINT2D: value.count = floats(ctx, index, value.values, 2) ? 2 : 0; break;
        case LX_LAYER:
        case LX_TEXTURE:
        case LX_BOOL:
        case LX_POPUP: value.integer = id(ctx, index); break;
        default: break;
    }
    return value;
}

}  // namespace script::args

namespace script {

void pushNumbers(duk_context* ctx, const double* values, int count) {
    // Defined as own data properties, so no setter on Array.prototype runs.
    duk_push_array(ctx);
    for (int i = 0; i < count; ++i) {
        duk_push_uint(ctx, static_cast<duk_uint_t>(i));
        duk_push_number(ctx, values[i]);
        duk_def_prop(ctx, -3,
                     DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE |
                         DUK_DEFPROP_SET_CONFIGURABLE);
    }
}

}  // namespace script

namespace script {

NativeWork::NativeWork() {
    if (Scripting::exists()) Scripting::instance().pauseBudget();
}

NativeWork::~NativeWork() {
    if (Scripting::exists()) Scripting::instance().resumeBudget();
}

}  // namespace script
