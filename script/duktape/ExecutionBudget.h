// The time budget of one call into the script engine. The engine's
// execution-timeout check (configured in GenerateConfig.cmake) is handed the
// heap's user data, which is the runtime's ExecutionBudget; once the budget
// is spent it keeps reporting a timeout until the call has unwound, which
// makes the engine throw a RangeError ("execution timeout") at every point
// where script code would run again.
//
// Two limits: the script limit counts only the time the script itself runs
// (native work of the LX_ functions is bracketed by pause/resume and not
// counted), so a heavy frame of quick script code is never stopped; the wall
// limit counts everything and stops a loop that spends its time in native
// calls. The check runs only while script code runs, so a call is stopped at
// the first script instruction after a limit has passed.
// Threads: the budget belongs to the one thread running its heap.
#pragma once

#include <chrono>

namespace lumivex {

class ExecutionBudget {
public:
    using Clock = std::chrono::steady_clock;

    // Starts a budget of `scriptLimit` of script time and `wallLimit` of
    // time in all, from now.
    void arm(Clock::duration scriptLimit, Clock::duration wallLimit) {
        const Clock::time_point now = Clock::now();
        deadline = now + scriptLimit;
        wallDeadline = now + wallLimit;
        pauses = 0;
        spent = false;
        armed = true;
    }
    // No limit: used between calls.
    void disarm() { armed = false; }

    // Native work starts and ends; nested pairs count once. The time between
    // the outermost pause and its resume moves the script deadline on.
    void pause() {
        if (pauses++ == 0) pausedAt = Clock::now();
    }
    void resume() {
        if (pauses > 0 && --pauses == 0) deadline += Clock::now() - pausedAt;
    }

    // True once a limit has passed, and from then on until the next arm.
    bool expired() {
        if (!armed) return false;
        if (!spent) {
            const Clock::time_point now = Clock::now();
            spent = now >= wallDeadline || (pauses == 0 && now >= deadline);
        }
        return spent;
    }

private:
    Clock::time_point deadline{};
    Clock::time_point wallDeadline{};
    Clock::time_point pausedAt{};
    unsigned pauses = 0;
    bool spent = false;
    bool armed = false;
};

}  // namespace lumivex
