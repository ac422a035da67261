#include "tools/lumivex/ImageFile.h"

#include <png.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "ImageLib/Decode.h"
#include "hostsim/Error.h"
#include "tools/png/PngWrite.h"

namespace lumivex {
namespace {

using hostsim::Error;
using hostsim::Image;

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

// ---- PNG -------------------------------------------------------------------
// libpng reports errors by longjmp; the functions below keep only plain data
// alive across setjmp and translate a jump into an error text.

struct PngMemory {
    const uint8_t* data;
    size_t size;
    size_t at;
};

void pngReadMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* m = static_cast<PngMemory*>(png_get_io_ptr(png));
    if (m->size - m->at < length) png_error(png, "file is truncated");
    std::memcpy(out, m->data + m->at, length);
    m->at += length;
}

void pngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(text, 256, "%s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

struct PngPixels {
    uint32_t width = 0, height = 0, bits = 0;
    uint8_t* rgba = nullptr;  // malloc'd, 4 channels of `bits` each, native byte order
};

// Returns false with `error` filled on failure; `out.rgba` is then null.
bool decodePng(const std::vector<uint8_t>& file, PngPixels& out, char* error) {
    PngMemory memory{file.data(), file.size(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, error, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_bytep* volatile rows = nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        std::free(out.rgba);
        out.rgba = nullptr;
        std::free(rows);
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, &memory, pngReadMemory);
    png_set_user_limits(png, 1u << 15, 1u << 15);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    if (png_get_bit_depth(png, info) == 16) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    out.bits = png_get_bit_depth(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != size_t(out.width) * 4 * (out.bits / 8)) png_error(png, "unexpected row layout");
    out.rgba = static_cast<uint8_t*>(std::malloc(rowBytes * out.height));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * out.height));
    if (!out.rgba || !rows) png_error(png, "out of memory");
    for (uint32_t y = 0; y < out.height; ++y) rows[y] = out.rgba + rowBytes * y;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

Image readPng(const std::string& path, const std::vector<uint8_t>& file) {
    char error[256] = "cannot start the PNG reader";
    PngPixels pixels;
    if (!decodePng(file, pixels, error)) throw Error("cannot read image " + path + ": " + error);
    std::unique_ptr<uint8_t, void (*)(void*)> owner(pixels.rgba, std::free);
    Image image(pixels.width, pixels.height);
    size_t count = image.rgba.size();
    if (pixels.bits == 16) {
        const uint16_t* src = reinterpret_cast<const uint16_t*>(pixels.rgba);
        for (size_t i = 0; i < count; ++i) image.rgba[i] = src[i] / 65535.0f;
    } else {
        for (size_t i = 0; i < count; ++i) image.rgba[i] = pixels.rgba[i] / 255.0f;
    }
    return image;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

void writePng(const std::string& path, const Image& image, uint32_t depth) {
    int bits = depth == 8 ? 8 : 16;
    size_t count = image.rgba.size();
    size_t bytesPerChannel = size_t(bits) / 8;
    std::vector<uint8_t> data(count * bytesPerChannel);
    for (size_t i = 0; i < count; ++i) {
        float v = std::clamp(image.rgba[i], 0.0f, 1.0f);
        if (bits == 8) {
            data[i] = uint8_t(std::lround(v * 255.0f));
        } else {
            uint16_t w = uint16_t(std::lround(v * 65535.0f));
            std::memcpy(&data[i * 2], &w, 2);
        }
    }
    const std::vector<uint8_t> png = pngwrite::encodePng(data.data(), image.width, image.height,
                                                         uint64_t(image.width) * 4 * bytesPerChannel, bits, false);
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw Error("cannot write " + path + ": " + std::strerror(errno));
    if (std::fwrite(png.data(), 1, png.size(), file.get()) != png.size())
        throw Error("cannot write " + path + ": " + std::strerror(errno));
    if (std::fclose(file.release()) != 0) throw Error("cannot write " + path + ": " + std::strerror(errno));
}

// ---- OpenEXR ----------------------------------------------------------------

const char* const kExrChannels[4] = {"R", "G", "B", "A"};

Image readExr(const std::string& path) {
    try {
        Imf::InputFile file(path.c_str());
        Imath::Box2i window = file.header().dataWindow();
        int64_t width = int64_t(window.max.x) - window.min.x + 1;
        int64_t height = int64_t(window.max.y) - window.min.y + 1;
        if (width <= 0 || height <= 0 || width > (1 << 15) || height > (1 << 15))
            throw Error("cannot read image " + path + ": unsupported size " + std::to_string(width) + "x" +
                        std::to_string(height));
        Image image{uint32_t(width), uint32_t(height)};
        Imf::FrameBuffer frame;
        char* base = reinterpret_cast<char*>(image.rgba.data()) -
                     (int64_t(window.min.x) + int64_t(window.min.y) * width) * 16;
        for (int c = 0; c < 4; ++c)
            frame.insert(kExrChannels[c], Imf::Slice(Imf::FLOAT, base + c * 4, 16, size_t(width) * 16, 1, 1,
                                                     c == 3 ? 1.0 : 0.0));
        // A file with luminance only fills the colour channels from Y.
        const Imf::ChannelList& channels = file.header().channels();
        if (!channels.findChannel("R") && channels.findChannel("Y")) {
            frame.insert("Y", Imf::Slice(Imf::FLOAT, base, 16, size_t(width) * 16));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        if (!channels.findChannel("R") && channels.findChannel("Y")) {
            for (size_t i = 0; i < image.rgba.size(); i += 4) image.rgba[i + 1] = image.rgba[i + 2] = image.rgba[i];
        }
        return image;
    } catch (const Error&) {
        throw;
    } catch (const std::exception& e) {
        throw Error("cannot read image " + path + ": " + e.what());
    }
}

void writeExr(const std::string& path, const Image& image) {
    try {
        Imf::Header header(int(image.width), int(image.height));
        for (const char* name : kExrChannels) header.channels().insert(name, Imf::Channel(Imf::FLOAT));
        Imf::OutputFile file(path.c_str(), header);
        Imf::FrameBuffer frame;
        char* base = const_cast<char*>(reinterpret_cast<const char*>(image.rgba.data()));
        for (int c = 0; c < 4; ++c)
            frame.insert(kExrChannels[c], Imf::Slice(Imf::FLOAT, base + c * 4, 16, size_t(image.width) * 16));
        file.setFrameBuffer(frame);
        file.writePixels(int(image.height));
    } catch (const std::exception& e) {
        throw Error("cannot write " + path + ": " + e.what());
    }
}

// ---- the engine's decoder ----------------------------------------------------

Image readDecoded(const std::string& path, const std::vector<uint8_t>& file) {
    ImageLib::DecodedImage decoded;
    ImageLib::DecodeFailure failure = ImageLib::DecodeFailure::None;
    if (!ImageLib::decodeImage(file.data(), file.size(), decoded, &failure)) {
        throw Error("cannot read image " + path + ": " +
                    (failure == ImageLib::DecodeFailure::NotAnImage
                         ? "not a PNG, EXR, JPEG, BMP, GIF, PSD, HDR or TGA file the decoder accepts"
                         : ImageLib::describe(failure)));
    }
    Image image(decoded.width, decoded.height);
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

hostsim::Image readImage(const std::string& path) {
    std::vector<uint8_t> file = readFile(path);
    if (file.empty()) throw Error("cannot read image " + path + ": the file is empty");
    static const uint8_t kPngMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static const uint8_t kExrMagic[4] = {0x76, 0x2F, 0x31, 0x01};
    if (file.size() >= 8 && std::memcmp(file.data(), kPngMagic, 8) == 0) return readPng(path, file);
    if (file.size() >= 4 && std::memcmp(file.data(), kExrMagic, 4) == 0) return readExr(path);
    return readDecoded(path, file);
}

bool isWritableImageName(const std::string& path) {
    std::string ext = lowerExtension(path);
    return ext == ".png" || ext == ".exr";
}

void writeImage(const std::string& path, const hostsim::Image& image, uint32_t depth) {
    if (image.isEightBit()) return writeImage(path, hostsim::asFloat(image), depth);
    std::string ext = lowerExtension(path);
    if (ext == ".png") return writePng(path, image, depth);
    if (ext == ".exr") return writeExr(path, image);
    throw Error("cannot write " + path + ": unknown image type (use .png or .exr)");
}

}  // namespace lumivex
