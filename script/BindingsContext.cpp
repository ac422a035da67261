// LX_ functions for the frame's time and extents and for releasing entities.
#include "gpu/Context.h"
#include "Natives.h"
#include "ScriptArgs.h"

namespace script::natives {

// LX_getTime() -> the current sequence's frame time in seconds.
duk_ret_t getTime(duk_context* ctx) {
    duk_push_number(ctx, shielded(0.0, [] {
                        const gpu::Sequence* sequence = gpu::Context::instance().current();
                        return sequence ? sequence->time : 0.0;
                    }));
    return 1;
}

// LX_release(id) -> true. Destroys the entity of any kind; unknown ids and
// kinds are ignored.
duk_ret_t release(duk_context* ctx) {
    const uint32_t id = args::id(ctx, 0);
    shielded(false, [&] {
        gpu::Context::instance().releaseEntity(id);
        return true;
    });
    duk_push_true(ctx);
    return 1;
}

// LX_setOutputExtent(width, height) -> true. Meant for preRender: a nonzero
// size replaces the input size of the frame in that dimension. A negative
// size is taken as 0 (keep the input size) rather than as a huge unsigned one.
duk_ret_t setOutputExtent(duk_context* ctx) {
    const int32_t width = args::integer(ctx, 0);
    const int32_t height = args::integer(ctx, 1);
    shielded(false, [&] {
        gpu::Sequence* sequence = gpu::Context::instance().current();
        if (!sequence) return false;
        sequence->outputWidth = width > 0 ? static_cast<uint32_t>(width) : 0;
        sequence->outputHeight = height > 0 ? static_cast<uint32_t>(height) : 0;
        return true;
    });
    duk_push_true(ctx);
    return 1;
}

// LX_getContextExtent() -> [width, height, scale] of the host's composition.
duk_ret_t getContextExtent(duk_context* ctx) {
    const gpu::Context& registry = gpu::Context::instance();
    const double values[3] = {double(registry.extentWidth), double(registry.extentHeight),
                              double(registry.extentScale)};
    pushNumbers(ctx, values, 3);
    return 1;
}

// LX_getInputOrigin() -> [x, y] of the input layer in the current sequence.
duk_ret_t getInputOrigin(duk_context* ctx) {
    struct Origin {
        double values[2] = {0, 0};
    };
    const Origin origin = shielded(Origin{}, [] {
        Origin out;
        if (const gpu::Sequence* sequence = gpu::Context::instance().current()) {
            out.values[0] = sequence->inputOriginX;
            out.values[1] = sequence->inputOriginY;
        }
        return out;
    });
    pushNumbers(ctx, origin.values, 2);
    return 1;
}

}  // namespace script::natives
