// The script heap's user data: what the engine's hooks consult so that no
// script can hurt the process that runs it. Three bounds:
//
// - Time (ExecutionBudget): checked between bytecode instructions, at every
//   native stack check (every call, every level of recursion in the
//   regular-expression matcher and compiler, JSON and the script compiler)
//   and at allocations. A spent budget makes the stack check fail and the
//   allocator refuse memory until the engine has begun to unwind, so a
//   built-in that loops without running script code ends with an error too.
// - Memory: the heap's allocation functions count every live byte and
//   refuse an allocation that would take the heap past its limit
//   (kDefaultHeapLimit unless set); the engine then collects garbage, tries
//   again and throws an Error ("alloc failed") that the script may catch.
// - Native stack: while a call runs, the stack check fails once the calling
//   thread's stack pointer is below the floor the runtime set for that
//   thread, which turns deep recursion of any kind into a RangeError
//   ("C stack depth limit") before it can overflow the stack. The script
//   compiler has no such check: each compilation (of the program, eval,
//   new Function) gets a recursion limit that fits the stack left above the
//   floor, so deep nesting in source is a RangeError ("compiler recursion
//   limit") too.
//
// Finalizers are not part of this: the runtime takes them away from scripts
// (Scripting::create), so no script code runs outside a budgeted call.
// Threads: used by the one thread running the heap.
#pragma once

#include <cstddef>

#include "duktape/duktape.h"
#include "ExecutionBudget.h"

namespace script {

class HeapGuard {
public:
    static constexpr std::size_t kDefaultHeapLimit = std::size_t{512} << 20;

    ExecutionBudget budget;

    // The heap's allocation functions; `guard` is the heap's user data.
    static void* allocate(void* guard, duk_size_t size);
    static void* reallocate(void* guard, void* block, duk_size_t size);
    static void release(void* guard, void* block);

    // Bytes the heap may hold at once, from the next allocation on.
    void setHeapLimit(std::size_t bytes);
    std::size_t heapLimit() const { return limit; }
    // Bytes the heap holds now (without the allocator's bookkeeping).
    std::size_t heapUsed() const { return used; }
    // A new heap starts counting from zero: a heap abandoned after a fatal
    // error keeps its blocks to the end and must not count against the next.
    void startHeap() {
        used = 0;
        limitReached = false;
    }
    // Bytes the heap may hold beyond the limit, from the next allocation on:
    // room to read the error of a call that filled the heap.
    void setHeadroom(std::size_t bytes);
    // Whether an allocation was refused for the limit since the last clear.
    bool heapLimitReached() const { return limitReached; }
    void clearHeapLimitReached() { limitReached = false; }

    // The lowest stack address script calls may reach on the calling
    // thread; null turns the check off (between calls).
    void setStackFloor(const char* floor) { stackFloor = floor; }

    // The native stack check: true when the call must stop, for its depth
    // or its time.
    bool nativeStackCheckFails();
    // The recursion limit of a compilation starting now: the engine's own,
    // or less where the stack left above the floor holds fewer levels.
    int compilerRecursionLimit(int engineLimit) const;

private:
    // Whether the heap may grow by `growth` bytes now.
    bool admit(std::size_t growth);

    std::size_t limit = kDefaultHeapLimit;
    std::size_t headroom = 0;
    std::size_t used = 0;
    bool limitReached = false;
    const char* stackFloor = nullptr;
};

}  // namespace script
