// Path helpers: PathFindFileNameA on Windows, the same rule elsewhere.
#pragma once

#include <string>

namespace platform {

// The final component of a path: what follows the last '\' or '/', or the
// whole text when there is no separator. Returns a pointer into `path`.
const char* pathFindFileName(const char* path);

}  // namespace platform
