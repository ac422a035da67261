#include "platform/Path.h"

#include <windows.h>
#include <shlwapi.h>

namespace platform {

const char* pathFindFileName(const char* path) {
    if (!path) return path;
    return PathFindFileNameA(path);
}

}  // namespace platform
