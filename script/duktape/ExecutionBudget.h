// The time budget of one call into the script engine. The engine's
// execution-timeout check (configured in GenerateConfig.cmake) is handed the
// heap's user data, which is the runtime's ExecutionBudget; once the deadline
// has passed it keeps reporting a timeout until the call has unwound, which
// makes the engine throw a RangeError ("execution timeout") at every point
// where script code would run again.
// Threads: the budget belongs to the one thread running its heap.
#pragma once

#include <chrono>

namespace lumivex {

class ExecutionBudget {
public:
    using Clock = std::chrono::steady_clock;

    // Starts a budget of `limit` from now.
    void arm(Clock::duration limit) {
        deadline = Clock::now() + limit;
        armed = true;
    }
    // No limit: used between calls.
    void disarm() { armed = false; }
    bool expired() const { return armed && Clock::now() >= deadline; }

private:
    Clock::time_point deadline{};
    bool armed = false;
};

}  // namespace lumivex
