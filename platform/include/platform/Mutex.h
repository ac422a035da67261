// An unnamed, process-private mutex with the semantics of a Win32 mutex:
// wait() blocks without a time-out, the owning thread may wait again (each
// wait needs its own release), release() by a thread that does not own it
// does nothing. Used for the entry lock and the GL lock.
#pragma once

#include <memory>

namespace platform {

class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Returns true once the calling thread owns the mutex.
    bool wait();
    // Gives up one level of ownership; ignored when the caller is not the owner.
    void release();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace platform
