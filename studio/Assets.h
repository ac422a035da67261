// The page's files, embedded at build time (studio/Embed.cmake): the route
// each is served at, its bytes and its content type.
#pragma once

#include <cstddef>

namespace studio {

struct Asset {
    const char* route;
    const unsigned char* data;
    size_t size;
    const char* type;
};

extern const Asset kAssets[];
extern const size_t kAssetCount;

}  // namespace studio
