// Still pictures: the format is known by its first bytes when reading and by
// the name's extension when writing; files and bytes in memory go through
// the same decoders and encoders.
#include "media/Still.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "ImageLib/Decode.h"
#include "media/Error.h"
#include "media/Exr.h"
#include "media/Png.h"

namespace media {
namespace {

std::string lowerExtension(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("cannot read image " + path + ": " + std::strerror(errno));
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw Error("cannot write " + path + ": " + std::strerror(errno));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw Error("cannot write " + path + ": " + std::strerror(errno));
    if (std::fclose(file.release()) != 0) throw Error("cannot write " + path + ": " + std::strerror(errno));
}

// JPEG, BMP, GIF, PSD, Radiance HDR and TGA: the engine's own decoder.
ImageLib::Picture decodeOther(const std::vector<uint8_t>& file, const std::string& name) {
    ImageLib::DecodedImage decoded;
    ImageLib::DecodeFailure failure = ImageLib::DecodeFailure::None;
    if (!ImageLib::decodeImage(file.data(), file.size(), decoded, &failure)) {
        throw Error("cannot read image " + name + ": " +
                    (failure == ImageLib::DecodeFailure::NotAnImage
                         ? "not a PNG, EXR, JPEG, BMP, GIF, PSD, HDR or TGA file the decoder accepts"
                         : ImageLib::describe(failure)));
    }
    ImageLib::Picture image(decoded.width, decoded.height);
    size_t count = image.rgba.size();
    if (decoded.depth == 32) {
        const float* src = static_cast<const float*>(decoded.pixels.get());
        std::copy(src, src + count, image.rgba.begin());
    } else {
        const uint8_t* src = static_cast<const uint8_t*>(decoded.pixels.get());
        for (size_t i = 0; i < count; ++i) image.rgba[i] = src[i] / 255.0f;
    }
    return image;
}

}  // namespace

ImageLib::Picture decodeImage(const std::vector<uint8_t>& file, const std::string& name) {
    if (file.empty()) throw Error("cannot read image " + name + ": the file is empty");
    static const uint8_t kPngMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static const uint8_t kExrMagic[4] = {0x76, 0x2F, 0x31, 0x01};
    if (file.size() >= 8 && std::memcmp(file.data(), kPngMagic, 8) == 0) return decodePng(file, name);
    if (file.size() >= 4 && std::memcmp(file.data(), kExrMagic, 4) == 0) return decodeExr(file, name);
    return decodeOther(file, name);
}

ImageLib::Picture readImage(const std::string& path) { return decodeImage(readFile(path), path); }

bool isWritableImageName(const std::string& path) {
    std::string ext = lowerExtension(path);
    return ext == ".png" || ext == ".exr";
}

std::vector<uint8_t> encodeImage(const std::string& name, const ImageLib::Picture& image, uint32_t depth) {
    if (image.isEightBit()) return encodeImage(name, ImageLib::asFloat(image), depth);
    std::string ext = lowerExtension(name);
    if (ext == ".png") return encodePng(image, depth);
    if (ext == ".exr") return encodeExr(image, name);
    throw Error("cannot write " + name + ": unknown image type (use .png or .exr)");
}

void writeImage(const std::string& path, const ImageLib::Picture& image, uint32_t depth) {
    writeFile(path, encodeImage(path, image, depth));
}

}  // namespace media
