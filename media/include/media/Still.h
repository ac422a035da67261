// Still pictures, from and to files or bytes in memory. Reading accepts PNG
// (8 and 16 bits, any colour type), OpenEXR (any channel type, read as
// float) and every format the engine's image decoder reads (JPEG, BMP, GIF,
// PSD, Radiance HDR, TGA). Writing picks the format from the name's
// extension: ".png" stores 8 or 16 bits, ".exr" 32-bit float RGBA.
// Pictures come back as floats, or for a caller that asks, as 8-bit
// pictures where the file holds 8-bit samples; 8-bit pictures are written as
// their floats. Numbered sequences of these formats are read file by file
// through the same decoders (media/Media.h).
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

// A picture with the depth of its file's samples: 8 or 16 bits, or 32 for
// float files (EXR, Radiance HDR).
struct Still {
    ImageLib::Picture image;
    uint32_t bits = 8;
};
// With `eightBit`, a file of 8-bit samples gives an 8-bit picture
// (ImageLib::Picture::isEightBit); deeper ones still give floats.
Still readStill(const std::string& path, bool eightBit);
Still decodeStill(const std::vector<uint8_t>& file, const std::string& name, bool eightBit);

// True when `path` ends in the extension of a format read here: .png, .exr,
// .jpg, .jpeg, .bmp, .psd, .hdr, .tga. (A .gif may hold many pictures and is
// read as a clip.)
bool isStillName(const std::string& path);

// depth is 8 or 16 for PNG; EXR files are always float.
void writeImage(const std::string& path, const ImageLib::Picture& image, uint32_t depth);
// The bytes writeImage stores for a file called `name`.
std::vector<uint8_t> encodeImage(const std::string& name, const ImageLib::Picture& image, uint32_t depth);

// True when writeImage knows the extension of `path`.
bool isWritableImageName(const std::string& path);

}  // namespace media
