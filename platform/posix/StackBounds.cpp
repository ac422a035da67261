#include "platform/StackBounds.h"

#include <pthread.h>

namespace platform {

std::optional<StackBounds> currentThreadStack() {
    // For the main thread glibc derives the size from the stack resource
    // limit and the mappings below the stack; for other threads it is the
    // size the thread was created with (its guard page excluded).
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return std::nullopt;
    void* address = nullptr;
    size_t size = 0;
    const int failed = pthread_attr_getstack(&attributes, &address, &size);
    pthread_attr_destroy(&attributes);
    if (failed || !address || size == 0) return std::nullopt;
    StackBounds bounds;
    bounds.low = static_cast<const char*>(address);
    bounds.high = bounds.low + size;
    return bounds;
}

}  // namespace platform
