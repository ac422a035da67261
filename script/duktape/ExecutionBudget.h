// The time budget of one call into the script engine. The engine's hooks
// (HeapGuard) ask it whether the running call is over its time: the
// interrupt between bytecode instructions, the native stack check at every
// call and every step of recursion inside built-ins (the regular-expression
// matcher and compiler, JSON, the script compiler), and the allocator, which
// built-ins that loop without calls still reach. Once the budget is spent it
// stays spent until the call has unwound, which makes the engine throw at
// every point where script code would run again.
//
// Two limits: the script limit counts only the time the script itself runs
// (native work of the LX_ functions is bracketed by pause/resume and not
// counted), so a heavy frame of quick script code is never stopped; the wall
// limit counts everything and stops a loop that spends its time in native
// calls. Native work itself is never interrupted: a call is stopped at the
// first check after a limit has passed.
// Threads: the budget belongs to the one thread running its heap.
#pragma once

#include <chrono>
#include <string>

namespace script {

class ExecutionBudget {
public:
    using Clock = std::chrono::steady_clock;

    // Starts a budget of `scriptLimit` of script time and `wallLimit` of
    // time in all, from now.
    void arm(Clock::duration scriptLimit, Clock::duration wallLimit) {
        const Clock::time_point now = Clock::now();
        scriptAllowance = scriptLimit;
        wallAllowance = wallLimit;
        deadline = now + scriptLimit;
        wallDeadline = now + wallLimit;
        pauses = 0;
        untilClockRead = 0;
        spent = false;
        wallSpent = false;
        stopping = false;
        armed = true;
    }
    // No limit: used between calls.
    void disarm() { armed = false; }

    // Native work starts and ends; nested pairs count once. The time between
    // the outermost pause and its resume moves the script deadline on, and
    // the next poll reads the clock: native work may have taken long.
    void pause() {
        if (pauses++ == 0) pausedAt = Clock::now();
    }
    void resume() {
        if (pauses > 0 && --pauses == 0) {
            deadline += Clock::now() - pausedAt;
            untilClockRead = 0;
        }
    }

    // True once a limit has passed, and from then on until the next arm.
    bool expired() {
        if (!armed) return false;
        if (!spent) {
            const Clock::time_point now = Clock::now();
            wallSpent = now >= wallDeadline;
            spent = wallSpent || (pauses == 0 && now >= deadline);
        }
        return spent;
    }
    // Whether a check has found a limit passed since the last arm.
    bool isSpent() const { return armed && spent; }
    // expired() for hooks that run very often: reads the clock on every
    // kPollInterval-th poll and on the first poll after native work.
    bool poll() {
        if (!armed || spent) return spent && armed;
        if (untilClockRead > 0) {
            --untilClockRead;
            return false;
        }
        untilClockRead = kPollInterval;
        return expired();
    }

    // The hooks that throw (interrupt, stack check) note that the engine is
    // now unwinding with an error: from then on the allocator lets the
    // error and the unwinding allocate (see HeapGuard).
    void noteStopping() { stopping = true; }
    bool isStopping() const { return stopping; }

    // Which limit a spent budget ran past, for the error message:
    // "script time limit of 1000 ms" or "time limit of 60000 ms in all".
    std::string spentLimit() const;

private:
    static constexpr unsigned kPollInterval = 64;

    Clock::duration scriptAllowance{};
    Clock::duration wallAllowance{};
    Clock::time_point deadline{};
    Clock::time_point wallDeadline{};
    Clock::time_point pausedAt{};
    unsigned pauses = 0;
    unsigned untilClockRead = 0;
    bool spent = false;
    bool wallSpent = false;
    bool stopping = false;
    bool armed = false;
};

}  // namespace script
