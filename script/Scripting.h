// The JavaScript runtime: one script-engine heap whose global object carries
// the LX_ API, and the one way the engine calls into it (run).
//
// Errors: nothing here throws to the caller. A script error (an exception the
// script does not catch, a syntax error, or a call that overruns its time
// budget) ends that call and is returned as a ScriptError; the heap stays
// usable for the next call. A fatal error of the engine itself abandons the
// heap (ctx becomes null, later runs do nothing) and is reported the same way.
// Ownership: the instance owns its heap. create() initialises the entity
// registry (Context) and reset() shuts it down, so every id the script was
// given dies with the heap. Engine objects never live in the heap: the script
// only holds their ids.
// Threads: one thread at a time, under the entry lock and the GL lock.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "duktape/duktape.h"
#include "script/duktape/ExecutionBudget.h"
#include "ustl/singleton.h"

struct ScriptError {
    std::string message;   // the thrown value as text, e.g. "TypeError: ..."
    std::string fileName;  // the code it came from ("fx.js", or the entry call)
    int line = 0;          // line in that code; 0 when unknown
    bool timedOut = false; // the call was stopped by its time budget
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
    // runs a full garbage collection. The call (collection included) is
    // stopped with a RangeError once its script code has run for
    // `scriptLimit` (native work not counted) or once it has taken
    // `wallLimit` in all. Does nothing when there is no heap.
    std::optional<ScriptError> run(const std::string& source, const char* fileName,
                                   std::chrono::milliseconds scriptLimit,
                                   std::chrono::milliseconds wallLimit = std::chrono::seconds(30));

    // Brackets native work inside a call, which the script limit does not
    // count (see lumivex::NativeWork).
    void pauseBudget() { budget.pause(); }
    void resumeBudget() { budget.resume(); }

    duk_context* ctx = nullptr;

private:
    void destroyHeap();

    lumivex::ExecutionBudget budget;
};
