// Still pictures, from and to files or bytes in memory. Reading accepts PNG
// (8 and 16 bits, any colour type), OpenEXR (any channel type, read as
// float) and every format the engine's image decoder reads (JPEG, BMP, GIF,
// PSD, Radiance HDR, TGA). Writing picks the format from the name's
// extension: ".png" stores 8 or 16 bits, ".exr" 32-bit float RGBA.
// Pictures come back as floats; 8-bit pictures are written as their floats.
// Errors: throw media::Error whose message names the file and the cause
// ("cannot read image NAME: ...", "cannot write NAME: ..."). No shared state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageLib/Picture.h"
#include "media/Error.h"

namespace media {

ImageLib::Picture readImage(const std::string& path);
// A file's bytes; `name` stands for the file in messages.
ImageLib::Picture decodeImage(const std::vector<uint8_t>& file, const std::string& name);

// depth is 8 or 16 for PNG; EXR files are always float.
void writeImage(const std::string& path, const ImageLib::Picture& image, uint32_t depth);
// The bytes writeImage stores for a file called `name`.
std::vector<uint8_t> encodeImage(const std::string& name, const ImageLib::Picture& image, uint32_t depth);

// True when writeImage knows the extension of `path`.
bool isWritableImageName(const std::string& path);

}  // namespace media
