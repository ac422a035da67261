#include "script/duktape/ExecutionBudget.h"

// Called by the script engine from its interrupt handler (every few hundred
// thousand bytecode instructions) with the heap's user data.
bool lumivexScriptTimedOut(void* heapUserData) {
    auto* budget = static_cast<lumivex::ExecutionBudget*>(heapUserData);
    return budget != nullptr && budget->expired();
}
