#include "Scripting.h"

#include <algorithm>
#include <exception>

#include "gpu/Context.h"
#include "platform/StackBounds.h"
#include "Bindings.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace script {

namespace {

// Reading a failed call's error may run script code (toString, getters):
// it gets this much time of its own, whatever the call had left, and this
// much memory beyond the heap limit, which the call may have reached.
constexpr std::chrono::milliseconds kDescribeLimit{250};
constexpr std::size_t kDescribeHeadroom = std::size_t{1} << 20;

// Finalizers would run script code where no call's budget applies: when the
// heap is destroyed (at a reload or when the process ends, with the host's
// lock held) and in every collection. Effect scripts have no use for them.
duk_ret_t finalizersUnavailable(duk_context* ctx) {
    return duk_type_error(ctx, "finalizers are not available to effect scripts");
}

// Replaces Duktape.fin, the only way for script code to set a finalizer.
// Stack: [ ... ] -> [ ... ]
void removeFinalizers(duk_context* ctx) {
    if (duk_get_global_string(ctx, "Duktape") && duk_is_object(ctx, -1)) {
        duk_push_string(ctx, "fin");
        duk_push_c_function(ctx, finalizersUnavailable, DUK_VARARGS);
        duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
    }
    duk_pop(ctx);
}

std::string sizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    return std::to_string(bytes) + " bytes";
}

// The engine's error for an allocation that failed, or the fixed error it
// throws when it cannot even allocate that one.
bool isAllocationFailure(const std::string& message) {
    return message.find("alloc failed") != std::string::npos || message.find("DoubleError") != std::string::npos;
}

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

// Sets the heap's stack floor for the calling thread while it lives.
struct Scripting::StackFloor {
    explicit StackFloor(script::HeapGuard& guard) : guard(guard) {
        if (const auto stack = platform::currentThreadStack())
            guard.setStackFloor(stack->low + stackReserve(stack->size()));
    }
    ~StackFloor() { guard.setStackFloor(nullptr); }
    StackFloor(const StackFloor&) = delete;
    StackFloor& operator=(const StackFloor&) = delete;

    script::HeapGuard& guard;
};

std::size_t Scripting::stackReserve(std::size_t stackSize) {
    return std::clamp<std::size_t>(stackSize / 4, std::size_t{64} << 10, std::size_t{256} << 10);
}

Scripting::~Scripting() { destroyHeap(); }

void Scripting::destroyHeap() {
    if (ctx) duk_destroy_heap(ctx);
    ctx = nullptr;
}

void Scripting::reset() {
    destroyHeap();
    gpu::Context::instance().shutdown();
}

void Scripting::collectGarbage() {
    if (ctx) duk_gc(ctx, 0);
}

void Scripting::create() {
    guard.budget.disarm();
    guard.startHeap();
    ctx = duk_create_heap(script::HeapGuard::allocate, script::HeapGuard::reallocate, script::HeapGuard::release,
                          &guard, nullptr);
    if (ctx) {
        // Registration allocates; an out-of-memory error there must not be
        // raised outside a protected call.
        const StackFloor floor(guard);
        duk_safe_call(
            ctx,
            [](duk_context* c, void*) -> duk_ret_t {
                removeFinalizers(c);
                registerScriptApi(c);
                return 0;
            },
            nullptr, 0, 1);
        duk_pop(ctx);
    }
    gpu::Context::instance().initialize();
}

std::optional<ScriptError> Scripting::run(const std::string& source, const char* fileName,
                                          std::chrono::milliseconds scriptLimit, std::chrono::milliseconds wallLimit) {
    if (!ctx) return std::nullopt;
    std::optional<ScriptError> error;
    const duk_idx_t top = duk_get_top(ctx);
    const StackFloor floor(guard);
    guard.clearHeapLimitReached();
    guard.budget.arm(scriptLimit, wallLimit);
    try {
        // [ ... ] -> [ ... fileName ] -> [ ... function | error ] -> [ ... result | error ]
        duk_push_string(ctx, fileName);
        const bool done = duk_pcompile_lstring_filename(ctx, 0, source.data(), source.size()) == 0 &&
                          duk_pcall(ctx, 0) == DUK_EXEC_SUCCESS;
        const bool timedOut = guard.budget.isSpent();
        const bool heapFull = guard.heapLimitReached();
        const std::string spentLimit = timedOut ? guard.budget.spentLimit() : std::string();
        guard.budget.arm(kDescribeLimit, kDescribeLimit);
        guard.setHeadroom(kDescribeHeadroom);
        if (timedOut) {
            // A spent budget ended the call, whatever the unwinding threw
            // last. The script may have caught the error and returned before
            // the next check threw again: it still overran, and the call
            // ends as a timeout all the same (the place is then unknown).
            error = done ? ScriptError{std::string(), fileName} : describeError(ctx, fileName);
            error->message = "RangeError: execution timeout (" + spentLimit + ")";
            error->timedOut = true;
        } else if (!done) {
            error = describeError(ctx, fileName);
            // An allocation that failed with the heap full is the heap limit.
            if (heapFull && isAllocationFailure(error->message))
                error->message = "Error: out of memory (script heap limit of " + sizeText(guard.heapLimit()) + ")";
        }
        duk_pop(ctx);
        if (collectAfterRun) duk_gc(ctx, 0);
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
    guard.budget.disarm();
    guard.setHeadroom(0);
    return error;
}

}  // namespace script
