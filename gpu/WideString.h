// The engine's narrow strings are UTF-8; wide strings are the platform's
// (platform/Utf8.h has the rules).
#pragma once

#include "platform/Utf8.h"

namespace gpu {

using platform::narrow;
using platform::widen;

}  // namespace gpu
