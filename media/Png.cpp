// Decoding through libpng; encoding as a PNG container (signature, IHDR,
// PLTE, tRNS, IDAT, IEND) around one deflate stream from libdeflate.
#include "media/Png.h"

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "media/Error.h"

namespace media {
namespace {

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

void put32(std::vector<uint8_t>& out, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    out.insert(out.end(), b, b + 4);
}

void chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t n) {
    put32(out, uint32_t(n));
    const size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    if (n) out.insert(out.end(), data, data + n);
    put32(out, libdeflate_crc32(0, out.data() + at, n + 4));
}

// Up to 256 colours seen so far, in an open-addressed table of 1024 slots
// keyed by the packed pixel.
struct ColourTable {
    uint32_t key[1024];
    int16_t index[1024];
    uint32_t colours[256];
    uint32_t count = 0;

    ColourTable() { std::memset(index, -1, sizeof index); }

    // The colour's palette index, or -1 when it would be the 257th.
    int find(uint32_t c) {
        for (uint32_t h = (c * 0x9E3779B1u) >> 22;; h = (h + 1) & 1023) {
            if (index[h] < 0) {
                if (count == 256) return -1;
                key[h] = c;
                colours[count] = c;
                index[h] = int16_t(count++);
                return index[h];
            }
            if (key[h] == c) return index[h];
        }
    }
};

// Filter byte 0 and the palette index of each pixel, or false when the
// image has more than 256 colours.
bool indexRows(const uint8_t* pixels, uint32_t width, uint32_t height, uint64_t stride, ColourTable& table,
               std::vector<uint8_t>& raw) {
    raw.resize((size_t(width) + 1) * height);
    uint8_t* out = raw.data();
    uint32_t previous = 0;
    int previousIndex = -1;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + y * stride;
        *out++ = 0;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t c;
            std::memcpy(&c, row + 4 * size_t(x), 4);
            if (c != previous || previousIndex < 0) {
                previousIndex = table.find(c);
                if (previousIndex < 0) return false;
                previous = c;
            }
            *out++ = uint8_t(previousIndex);
        }
    }
    return true;
}

void directRows(const uint8_t* pixels, uint32_t width, uint32_t height, uint64_t stride, int bits, bool alphaFirst,
                std::vector<uint8_t>& raw) {
    const size_t sample = size_t(bits / 8), rowBytes = size_t(width) * 4 * sample;
    raw.resize((rowBytes + 1) * height);
    uint8_t* out = raw.data();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + y * stride;
        *out++ = 0;
        if (alphaFirst) {
            // Alpha moves from the first sample of each pixel to the last.
            for (size_t i = 0; i < rowBytes; i += 4 * sample) {
                for (size_t k = 0; k < 4; ++k) {
                    const uint8_t* from = row + i + ((k + 1) & 3) * sample;
                    uint8_t* to = out + i + k * sample;
                    if (bits == 8) {
                        *to = *from;
                    } else {
                        uint16_t v;
                        std::memcpy(&v, from, 2);
                        to[0] = uint8_t(v >> 8), to[1] = uint8_t(v);
                    }
                }
            }
        } else if (bits == 8) {
            std::memcpy(out, row, rowBytes);
        } else {
            for (size_t i = 0; i < rowBytes; i += 2) {
                uint16_t v;
                std::memcpy(&v, row + i, 2);
                out[i] = uint8_t(v >> 8), out[i + 1] = uint8_t(v);
            }
        }
        out += rowBytes;
    }
}

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
bool readRows(const std::vector<uint8_t>& file, PngPixels& out, char* error) {
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

}  // namespace

std::vector<uint8_t> encodePng(const uint8_t* pixels, uint32_t width, uint32_t height, uint64_t stride, int bits,
                               bool palette, bool alphaFirst) {
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        throw std::length_error("a PNG image needs sides of 1 to 2^31 - 1 pixels");
    std::vector<uint8_t> raw;
    auto table = std::make_unique<ColourTable>();
    const bool indexed = palette && bits == 8 && indexRows(pixels, width, height, stride, *table, raw);
    if (!indexed) directRows(pixels, width, height, stride, bits, alphaFirst, raw);

    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(libdeflate_alloc_compressor(1));
    if (!compressor) throw std::bad_alloc();
    std::vector<uint8_t> z(libdeflate_zlib_compress_bound(compressor.get(), raw.size()));
    z.resize(libdeflate_zlib_compress(compressor.get(), raw.data(), raw.size(), z.data(), z.size()));
    if (z.empty()) throw std::bad_alloc();
    std::vector<uint8_t>().swap(raw);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.reserve(z.size() + 2048);
    std::vector<uint8_t> header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {uint8_t(bits), uint8_t(indexed ? 3 : 6), 0, 0, 0});
    chunk(out, "IHDR", header.data(), header.size());
    if (indexed) {
        std::vector<uint8_t> plte, trns;
        bool opaque = true;
        for (uint32_t i = 0; i < table->count; ++i) {
            const auto* c = reinterpret_cast<const uint8_t*>(&table->colours[i]);
            const uint8_t* rgb = alphaFirst ? c + 1 : c;
            const uint8_t alpha = alphaFirst ? c[0] : c[3];
            plte.insert(plte.end(), rgb, rgb + 3);
            trns.push_back(alpha);
            opaque = opaque && alpha == 255;
        }
        chunk(out, "PLTE", plte.data(), plte.size());
        if (!opaque) chunk(out, "tRNS", trns.data(), trns.size());
    }
    // Chunks hold at most 2^31 - 1 bytes.
    constexpr size_t kMaxChunk = size_t(1) << 30;
    for (size_t at = 0; at < z.size(); at += kMaxChunk)
        chunk(out, "IDAT", z.data() + at, std::min(kMaxChunk, z.size() - at));
    chunk(out, "IEND", nullptr, 0);
    return out;
}

std::vector<uint8_t> encodePng(const ImageLib::Picture& image, uint32_t depth) {
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
    return encodePng(data.data(), image.width, image.height, uint64_t(image.width) * 4 * bytesPerChannel, bits, false);
}

ImageLib::Picture decodePng(const std::vector<uint8_t>& file, const std::string& name) {
    char error[256] = "cannot start the PNG reader";
    PngPixels pixels;
    if (!readRows(file, pixels, error)) throw Error("cannot read image " + name + ": " + error);
    std::unique_ptr<uint8_t, void (*)(void*)> owner(pixels.rgba, std::free);
    ImageLib::Picture image(pixels.width, pixels.height);
    size_t count = image.rgba.size();
    if (pixels.bits == 16) {
        const uint16_t* src = reinterpret_cast<const uint16_t*>(pixels.rgba);
        for (size_t i = 0; i < count; ++i) image.rgba[i] = src[i] / 65535.0f;
    } else {
        for (size_t i = 0; i < count; ++i) image.rgba[i] = pixels.rgba[i] / 255.0f;
    }
    return image;
}

}  // namespace media
