// Still pictures: the format is known by its first bytes when reading and by
// the name's extension when writing; files and bytes in memory go through
// the same decoders and encoders.
#include "media/Still.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ImageLib/Decode.h"
#include "media/Error.h"
#include "Exr.h"
#include "Png.h"

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

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// The whole file, in one read where its size is known (a stream read byte
// by byte costs more than decoding a large picture); a pipe is read to its
// end.
std::vector<uint8_t> readFile(const std::string& path) {
    const auto fail = [&] { return Error("cannot read image " + path + ": " + std::strerror(errno)); };
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) throw fail();
    long size = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        size = std::ftell(file.get());
        std::rewind(file.get());
    }
    // A byte more than the size found, to see the end.
    std::vector<uint8_t> bytes(size >= 0 ? size_t(size) + 1 : size_t(1) << 16);
    size_t got = 0;
    while (true) {
        got += std::fread(bytes.data() + got, 1, bytes.size() - got, file.get());
        if (std::ferror(file.get())) throw fail();
        if (got < bytes.size()) break;
        bytes.resize(bytes.size() * 2);
    }
    bytes.resize(got);
    return bytes;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw Error("cannot write " + path + ": " + std::strerror(errno));
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw Error("cannot write " + path + ": " + std::strerror(errno));
    if (std::fclose(file.release()) != 0) throw Error("cannot write " + path + ": " + std::strerror(errno));
}

// JPEG, BMP, GIF, PSD, Radiance HDR and TGA: the engine's own decoder.
Still decodeOther(const std::vector<uint8_t>& file, const std::string& name, bool eightBit) {
    ImageLib::DecodedImage decoded;
    ImageLib::DecodeFailure failure = ImageLib::DecodeFailure::None;
    if (!ImageLib::decodeImage(file.data(), file.size(), decoded, &failure)) {
        throw Error("cannot read image " + name + ": " +
                    (failure == ImageLib::DecodeFailure::NotAnImage
                         ? "not a PNG, EXR, JPEG, BMP, GIF, PSD, HDR or TGA file the decoder accepts"
                         : ImageLib::describe(failure)));
    }
    Still still;
    still.bits = decoded.depth == 32 ? 32 : 8;
    ImageLib::Picture& image = still.image;
    if (eightBit && decoded.depth == 8) {
        image.shapeEightBit(decoded.width, decoded.height);
        std::memcpy(image.rgba8.data(), decoded.pixels.get(), image.pixelBytes());
        return still;
    }
    image = ImageLib::Picture(decoded.width, decoded.height);
    size_t count = image.rgba.size();
    if (decoded.depth == 32) {
        const float* src = static_cast<const float*>(decoded.pixels.get());
        std::copy(src, src + count, image.rgba.begin());
    } else {
        const uint8_t* src = static_cast<const uint8_t*>(decoded.pixels.get());
        for (size_t i = 0; i < count; ++i) image.rgba[i] = src[i] / 255.0f;
    }
    return still;
}

}  // namespace

Still decodeStill(const std::vector<uint8_t>& file, const std::string& name, bool eightBit) {
    if (file.empty()) throw Error("cannot read image " + name + ": the file is empty");
    static const uint8_t kPngMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static const uint8_t kExrMagic[4] = {0x76, 0x2F, 0x31, 0x01};
    if (file.size() >= 8 && std::memcmp(file.data(), kPngMagic, 8) == 0) return decodePng(file, name, eightBit);
    if (file.size() >= 4 && std::memcmp(file.data(), kExrMagic, 4) == 0) return {decodeExr(file, name), 32};
    return decodeOther(file, name, eightBit);
}

Still readStill(const std::string& path, bool eightBit) { return decodeStill(readFile(path), path, eightBit); }

ImageLib::Picture decodeImage(const std::vector<uint8_t>& file, const std::string& name) {
    return decodeStill(file, name, false).image;
}

ImageLib::Picture readImage(const std::string& path) { return readStill(path, false).image; }

bool isStillName(const std::string& path) {
    const std::string ext = lowerExtension(path);
    for (const char* known : {".png", ".exr", ".jpg", ".jpeg", ".bmp", ".psd", ".hdr", ".tga"})
        if (ext == known) return true;
    return false;
}

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
