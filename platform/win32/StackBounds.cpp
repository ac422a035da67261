#include "platform/StackBounds.h"

#include <windows.h>

namespace platform {

std::optional<StackBounds> currentThreadStack() {
    // The whole reservation, its guard pages included: callers keep a margin
    // above `low`.
    ULONG_PTR low = 0, high = 0;
    GetCurrentThreadStackLimits(&low, &high);
    if (low == 0 || high <= low) return std::nullopt;
    StackBounds bounds;
    bounds.low = reinterpret_cast<const char*>(low);
    bounds.high = reinterpret_cast<const char*>(high);
    return bounds;
}

}  // namespace platform
