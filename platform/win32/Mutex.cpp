#include "platform/Mutex.h"

#include <windows.h>

namespace platform {

// An unnamed Win32 mutex, not initially owned; closed with the object.
struct Mutex::State {
    HANDLE handle = CreateMutexW(nullptr, FALSE, nullptr);
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (handle) CloseHandle(handle);
    }
};

Mutex::Mutex() : state(std::make_unique<State>()) {}
Mutex::~Mutex() = default;

// An abandoned mutex (its owner thread ended holding it) is owned by the
// caller all the same, who must release it.
bool Mutex::wait() {
    if (!state->handle) return false;
    const DWORD result = WaitForSingleObject(state->handle, INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

// ReleaseMutex fails for a thread that does not own the mutex; that is the
// documented no-op.
void Mutex::release() {
    if (state->handle) ReleaseMutex(state->handle);
}

}  // namespace platform
