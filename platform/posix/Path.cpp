#include "platform/Path.h"

namespace platform {

const char* pathFindFileName(const char* path) {
    if (!path) return path;
    const char* last = path;
    for (const char* p = path; *p; ++p) {
        if ((*p == '\\' || *p == '/') && p[1] != '\0') last = p + 1;
    }
    return last;
}

}  // namespace platform
