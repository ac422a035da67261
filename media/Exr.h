// OpenEXR files: any channel type read as float (a luminance-only file
// fills red, green and blue from Y; a missing alpha is 1), written as
// 32-bit float red, green, blue, alpha.
// Errors: throw media::Error naming `name` with OpenEXR's own text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageLib/Picture.h"

namespace media {

ImageLib::Picture decodeExr(const std::vector<uint8_t>& file, const std::string& name);
// `image` holds floats.
std::vector<uint8_t> encodeExr(const ImageLib::Picture& image, const std::string& name);

}  // namespace media
