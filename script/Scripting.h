// The JavaScript runtime: one script-engine heap whose global object carries
// the LX_ API, and the one way the engine calls into it (run).
//
// Errors: nothing here throws to the caller. A script error (an exception the
// script does not catch, a syntax error, or a call that overruns a limit)
// ends that call and is returned as a ScriptError; the heap stays usable for
// the next call. A call that ran past its time is reported as a timeout even
// where the script caught the RangeError and returned. A fatal error of the
// engine itself abandons the heap (ctx becomes null, later runs do nothing)
// and is reported the same way.
// Limits (see script/duktape/HeapGuard.h): each call has a time budget
// (run's two limits), counted inside built-ins too; the heap holds at most
// heapLimit() bytes, past which allocations fail with an Error ("alloc
// failed") that the script may catch; recursion of any kind (script calls,
// coercions, the regular-expression matcher and compiler, nested source)
// ends with a RangeError before it comes within stackReserve() bytes of the
// end of the calling thread's stack. An error that escapes because of a
// limit names it: "RangeError: execution timeout (script time limit of
// 1000 ms)", "Error: out of memory (script heap limit of 512 MiB)",
// "RangeError: C stack depth limit", "RangeError: compiler recursion
// limit". Finalizers are not available to scripts (Duktape.fin throws a
// TypeError), so destroying the heap runs no script code.
// Ownership: the instance owns its heap. create() initialises the entity
// registry (Context) and reset() shuts it down, so every id the script was
// given dies with the heap. Engine objects never live in the heap: the script
// only holds their ids.
// Threads: one thread at a time, under the entry lock and the GL lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "duktape/duktape.h"
#include "duktape/HeapGuard.h"
#include "ustl/singleton.h"

namespace script {

struct ScriptError {
    std::string message;    // the thrown value as text, e.g. "TypeError: ..."
    std::string fileName;   // the code it came from ("fx.js", or the entry call)
    int line = 0;           // line in that code; 0 when unknown
    bool timedOut = false;  // the call was stopped by its time budget
};

class Scripting : public ustl::dynamic_singleton<Scripting> {
public:
    Scripting() = default;
    ~Scripting() override;

    // Destroys the heap (if any), then shuts the registry down.
    void reset();
    // New heap, LX_ API registered, registry initialised with a first sequence.
    void create();
    // Evaluates `source` as global code named `fileName`, drops its result and
    // (unless turned off below) runs a full garbage collection. The evaluation is stopped with a
    // RangeError once its script code has run for `scriptLimit` (native work
    // not counted) or once it has taken `wallLimit` in all. Reading the error
    // has a short budget of its own; the collection runs no script code.
    // Does nothing when there is no heap.
    std::optional<ScriptError> run(const std::string& source, const char* fileName,
                                   std::chrono::milliseconds scriptLimit,
                                   std::chrono::milliseconds wallLimit = std::chrono::seconds(30));

    // The engine collects garbage at the end of every run() and otherwise
    // only when an allocation fails. A caller that runs many short calls
    // (the script fuzzer) may turn the collection after each run off and
    // collect itself; scripts cannot tell when it happens, as they have no
    // finalizers. On by default; kept across heaps.
    void setCollectAfterRun(bool collect) { collectAfterRun = collect; }
    // A full garbage collection now (no script code runs); nothing without a
    // heap.
    void collectGarbage();

    // Brackets native work inside a call, which the script limit does not
    // count (see script::NativeWork).
    void pauseBudget() { guard.budget.pause(); }
    void resumeBudget() { guard.budget.resume(); }
    // Whether the running call has passed a limit: native work that may run
    // long (drawing) asks between its steps. During native work only the
    // wall limit counts. False between calls.
    bool overTime() { return guard.budget.expired(); }

    // The heap's size limit (script::HeapGuard::kDefaultHeapLimit unless
    // set; tests set small ones) and the bytes it holds now.
    void setHeapLimit(std::size_t bytes) { guard.setHeapLimit(bytes); }
    std::size_t heapLimit() const { return guard.heapLimit(); }
    std::size_t heapUsed() const { return guard.heapUsed(); }

    // Stack kept free below the deepest script recursion on a thread whose
    // stack has `stackSize` bytes: a quarter of it, at least 64 KiB and at
    // most 256 KiB (room for the engine to throw and for native work at
    // that depth).
    static std::size_t stackReserve(std::size_t stackSize);

    duk_context* ctx = nullptr;

private:
    void destroyHeap();
    // Sets the stack floor for the calling thread (none when its stack is
    // unknown); the returned guard clears it again.
    struct StackFloor;

    script::HeapGuard guard;
    bool collectAfterRun = true;
};

}  // namespace script
