// Image files for the lumivex command. Reading accepts PNG (8 and 16 bits,
// any colour type), OpenEXR (any channel type, read as float) and every
// format the engine's image decoder reads (JPEG, BMP, GIF, PSD, Radiance
// HDR, TGA). Writing picks the format from the extension: ".png" stores 8
// or 16 bits, ".exr" 32-bit float RGBA. Failures throw hostsim::Error with
// the file name and the cause.
#pragma once

#include <cstdint>
#include <string>

#include "hostsim/Image.h"

namespace lumivex {

hostsim::Image readImage(const std::string& path);

// depth is 8 or 16 for PNG; EXR files are always float.
void writeImage(const std::string& path, const hostsim::Image& image, uint32_t depth);

// True when writeImage knows the extension of `path`.
bool isWritableImageName(const std::string& path);

}  // namespace lumivex
