#include "platform/Mutex.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

// A recursive mutex that tolerates release() from a non-owner, which
// std::recursive_mutex does not.
struct Mutex::State {
    std::mutex guard;
    std::condition_variable freed;
    std::thread::id owner;
    unsigned depth = 0;
};

Mutex::Mutex() : state(std::make_unique<State>()) {}
Mutex::~Mutex() = default;

bool Mutex::wait() {
    std::unique_lock<std::mutex> lock(state->guard);
    const auto self = std::this_thread::get_id();
    if (state->depth > 0 && state->owner == self) {
        ++state->depth;
        return true;
    }
    state->freed.wait(lock, [this] { return state->depth == 0; });
    state->owner = self;
    state->depth = 1;
    return true;
}

void Mutex::release() {
    std::unique_lock<std::mutex> lock(state->guard);
    if (state->depth == 0 || state->owner != std::this_thread::get_id()) return;
    if (--state->depth == 0) {
        state->owner = std::thread::id();
        lock.unlock();
        state->freed.notify_one();
    }
}

}  // namespace platform
