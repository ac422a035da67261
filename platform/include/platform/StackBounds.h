// The calling thread's stack as the system reserved it, for code that must
// stop deep recursion before it runs off the end of the stack (the script
// engine's native stack check). Stacks grow down on every target we build
// for: `low` is the end that recursion approaches.
// Threads: answers for the calling thread only; the bounds stay valid while
// that thread lives.
#pragma once

#include <cstddef>
#include <optional>

namespace platform {

struct StackBounds {
    const char* low = nullptr;   // lowest usable address
    const char* high = nullptr;  // one past the highest address (the base)
    std::size_t size() const { return static_cast<std::size_t>(high - low); }
};

// The calling thread's stack; nothing when the system does not tell.
std::optional<StackBounds> currentThreadStack();

}  // namespace platform
