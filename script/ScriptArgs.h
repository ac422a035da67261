// Helpers shared by the LX_ natives (script/Bindings*.cpp).
//
// Reading arguments follows the ECMAScript conversions: ToNumber, ToBoolean,
// ToString, ToUint32. A conversion may run script code (valueOf, toString,
// getters) and may throw a script error; the engine is built with C++
// exceptions, so such an error unwinds through a native like any exception
// and runs its destructors. A native therefore reads all its arguments before
// it looks anything up in the registry, and never holds a reference into the
// registry across a call that may run script code.
//
// Engine work runs inside `shielded`: it makes no script-engine calls, any
// C++ exception it throws becomes the native's failure result instead of
// unwinding into the script engine's frames, and its time does not count
// against the script's time limit.
#pragma once

#include <cstdint>
#include <string>

#include "duktape/duktape.h"

namespace script::args {

// True when the call passed an argument at `index`.
inline bool present(duk_context* ctx, duk_idx_t index) { return index < duk_get_top(ctx); }

// ToNumber of the argument; a missing one counts as undefined (NaN).
double number(duk_context* ctx, duk_idx_t index);

// A number as a 32-bit integer: truncated toward zero, NaN as 0, clamped to
// the signed 32-bit range.
int32_t toInteger(double value);

// ToNumber of the argument as an integer (toInteger).
inline int32_t integer(duk_context* ctx, duk_idx_t index) { return toInteger(number(ctx, index)); }

// An entity id: the integer rule, seen as unsigned.
inline uint32_t id(duk_context* ctx, duk_idx_t index) { return static_cast<uint32_t>(integer(ctx, index)); }

// ToBoolean; a missing argument is false.
bool boolean(duk_context* ctx, duk_idx_t index);

// ToString; a missing argument is "undefined".
std::string text(duk_context* ctx, duk_idx_t index);

// When the argument is an array: ToNumber of its elements 0 .. count-1
// (missing elements give NaN), as floats. Returns false, writing nothing,
// for any other value.
bool floats(duk_context* ctx, duk_idx_t index, float* out, int count);

// A value converted for a parameter or uniform kind (an LX_Type): FLOAT and
// ANGLE take ToNumber, POINT, COLOR and POINT2D the first 3, 4 or 2 array
// elements (a non-array gives none), LAYER, TEXTURE, BOOL and POPUP an
// integer; other kinds convert nothing.
struct KindValue {
    float values[4] = {0, 0, 0, 0};
    int count = 0;  // value slots to write
    uint32_t integer = 0;
};
KindValue valueForKind(duk_context* ctx, duk_idx_t index, uint32_t kind);

}  // namespace script::args

namespace script {

// While it lives, the running script call's time budget is paused
// (Scripting::pauseBudget): native work is not script time.
class NativeWork {
public:
    NativeWork();
    ~NativeWork();
    NativeWork(const NativeWork&) = delete;
    NativeWork& operator=(const NativeWork&) = delete;
};

// Runs engine work that must not unwind into the script engine.
template <class Result, class Work>
Result shielded(Result failure, Work&& work) noexcept {
    const NativeWork paused;
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

// Pushes a new array of numbers. Stack: [ ... ] -> [ ... array ]
void pushNumbers(duk_context* ctx, const double* values, int count);

}  // namespace script
