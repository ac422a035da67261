#include "script/Scripting.h"

#include <cstdlib>
#include <exception>

#include "gpu/Context.h"
#include "script/Bindings.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

void* heapAlloc(void*, duk_size_t size) { return std::malloc(size); }
void* heapRealloc(void*, void* pointer, duk_size_t size) { return std::realloc(pointer, size); }
void heapFree(void*, void* pointer) { std::free(pointer); }

// The engine's fatal errors are raised as C++ exceptions (it is built with
// them, and a null handler selects that behaviour); they leave every
// protected call of the engine and are caught in Scripting::run.

// Turns the thrown value on top of the stack into a ScriptError. Runs as a
// safe call because reading an error's properties or converting it to text
// may run script code (getters, toString), which may throw in turn.
// Stack: [ ... error ] -> [ ... error ]
struct ErrorReader {
    ScriptError* out;
};

duk_ret_t readError(duk_context* ctx, void* udata) {
    ScriptError& out = *static_cast<ErrorReader*>(udata)->out;
    if (duk_is_error(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "lineNumber");
        out.line = duk_is_number(ctx, -1) ? duk_get_int(ctx, -1) : 0;
        duk_pop(ctx);
        duk_get_prop_string(ctx, -1, "fileName");
        if (duk_is_string(ctx, -1)) out.fileName = duk_get_string(ctx, -1);
        duk_pop(ctx);
    }
    out.message = duk_safe_to_string(ctx, -1);
    return 0;
}

ScriptError describeError(duk_context* ctx, const char* fileName) {
    ScriptError error;
    error.fileName = fileName;
    ErrorReader reader{&error};
    duk_dup_top(ctx);
    duk_safe_call(ctx, readError, &reader, 1, 1);
    duk_pop(ctx);
    if (error.message.empty()) error.message = "Error (the thrown value could not be read)";
    return error;
}

}  // namespace

Scripting::~Scripting() { destroyHeap(); }

void Scripting::destroyHeap() {
    if (ctx) duk_destroy_heap(ctx);
    ctx = nullptr;
}

void Scripting::reset() {
    destroyHeap();
    Context::instance().shutdown();
}

void Scripting::create() {
    budget.disarm();
    ctx = duk_create_heap(heapAlloc, heapRealloc, heapFree, &budget, nullptr);
    if (ctx) {
        // Registration allocates; an out-of-memory error there must not be
        // raised outside a protected call.
        duk_safe_call(
            ctx, [](duk_context* c, void*) -> duk_ret_t {
                registerScriptApi(c);
                return 0;
            },
            nullptr, 0, 1);
        duk_pop(ctx);
    }
    Context::instance().initialize();
}

std::optional<ScriptError> Scripting::run(const std::string& source, const char* fileName,
                                          std::chrono::milliseconds scriptLimit,
                                          std::chrono::milliseconds wallLimit) {
    if (!ctx) return std::nullopt;
    std::optional<ScriptError> error;
    const duk_idx_t top = duk_get_top(ctx);
    budget.arm(scriptLimit, wallLimit);
    try {
        // [ ... ] -> [ ... fileName ] -> [ ... function | error ] -> [ ... result | error ]
        duk_push_string(ctx, fileName);
        if (duk_pcompile_lstring_filename(ctx, 0, source.data(), source.size()) == 0 &&
            duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS) {
            duk_pop(ctx);
        } else {
            error = describeError(ctx, fileName);
            error->timedOut = budget.expired();
            duk_pop(ctx);
        }
        duk_gc(ctx, 0);
        duk_set_top(ctx, top);
    } catch (const std::exception& fatal) {
        // The heap's state is unknown after a fatal error, so it is neither
        // used nor destroyed again; it stays allocated until the process ends.
#if defined(__SANITIZE_ADDRESS__)
        __lsan_ignore_object(ctx);
#endif
        ctx = nullptr;
        error = ScriptError{std::string("Fatal script engine error: ") + fatal.what(), fileName, 0};
    }
    budget.disarm();
    return error;
}
