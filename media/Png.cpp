// PNG files through libpng, both ways.
#include "Png.h"

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

// The palette index of each pixel, rows tightly packed, or false when the
// image has more than 256 colours.
bool indexRows(const uint8_t* pixels, uint32_t width, uint32_t height, uint64_t stride, ColourTable& table,
               std::vector<uint8_t>& raw) {
    raw.resize(size_t(width) * height);
    uint8_t* out = raw.data();
    uint32_t previous = 0;
    int previousIndex = -1;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + y * stride;
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

// libpng writes into the vector at its io pointer; memory running out
// becomes a libpng error, since no exception may pass through libpng.
void pngWriteMemory(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    bool grown = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) png_error(png, "out of memory");
}

void pngFlush(png_structp) {}

// What one PNG file holds: rows of `bits`-bit samples, colour type 3 with
// `palette` (`colours` entries; `alphas` for a tRNS chunk, or null), else
// RGBA in host byte order, alpha first with `alphaFirst`.
struct PngRows {
    const uint8_t* pixels;
    uint64_t stride;
    uint32_t width, height;
    int bits;
    bool alphaFirst;
    const png_color* palette;
    const png_byte* alphas;
    int colours;
};

// Every row through the Sub filter, compressed at zlib level 1: one cheap
// filter makes rendered frames and photographs compress faster and smaller
// than unfiltered rows do, and several times faster than libpng's adaptive
// filters at level 6. Returns false with `error` filled on failure.
bool writeRows(const PngRows& rows, std::vector<uint8_t>& out, char* error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, pngError, pngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &out, pngWriteMemory, pngFlush);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_IHDR(png, info, rows.width, rows.height, rows.bits,
                 rows.palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (rows.palette) {
        png_set_PLTE(png, info, rows.palette, rows.colours);
        if (rows.alphas) png_set_tRNS(png, info, rows.alphas, rows.colours, nullptr);
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 1);
    png_set_compression_buffer_size(png, 1 << 20);
    png_write_info(png, info);
    const uint16_t one = 1;
    if (rows.bits == 16 && *reinterpret_cast<const uint8_t*>(&one) == 1) png_set_swap(png);
    if (rows.alphaFirst && !rows.palette) png_set_swap_alpha(png);
    for (uint32_t y = 0; y < rows.height; ++y) png_write_row(png, rows.pixels + y * rows.stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::vector<uint8_t> encodePng(const uint8_t* pixels, uint32_t width, uint32_t height, uint64_t stride, int bits,
                               bool palette, bool alphaFirst) {
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        throw std::length_error("a PNG image needs sides of 1 to 2^31 - 1 pixels");
    PngRows rows{pixels, stride, width, height, bits, alphaFirst, nullptr, nullptr, 0};
    std::vector<uint8_t> indices;
    auto table = std::make_unique<ColourTable>();
    png_color colours[256];
    png_byte alphas[256];
    if (palette && bits == 8 && indexRows(pixels, width, height, stride, *table, indices)) {
        bool opaque = true;
        for (uint32_t i = 0; i < table->count; ++i) {
            const auto* c = reinterpret_cast<const uint8_t*>(&table->colours[i]);
            const uint8_t* rgb = alphaFirst ? c + 1 : c;
            colours[i] = {rgb[0], rgb[1], rgb[2]};
            alphas[i] = alphaFirst ? c[0] : c[3];
            opaque = opaque && alphas[i] == 255;
        }
        rows = {indices.data(), width, width, height, 8, false, colours, opaque ? nullptr : alphas, int(table->count)};
    }
    std::vector<uint8_t> out;
    char error[256] = "out of memory";
    if (!writeRows(rows, out, error)) {
        if (std::strcmp(error, "out of memory") == 0) throw std::bad_alloc();
        throw std::runtime_error(std::string("cannot encode a PNG image: ") + error);
    }
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

Still decodePng(const std::vector<uint8_t>& file, const std::string& name, bool eightBit) {
    char error[256] = "cannot start the PNG reader";
    PngPixels pixels;
    if (!readRows(file, pixels, error)) throw Error("cannot read image " + name + ": " + error);
    std::unique_ptr<uint8_t, void (*)(void*)> owner(pixels.rgba, std::free);
    Still still;
    still.bits = pixels.bits;
    ImageLib::Picture& image = still.image;
    if (eightBit && pixels.bits == 8) {
        image.shapeEightBit(pixels.width, pixels.height);
        std::memcpy(image.rgba8.data(), pixels.rgba, image.pixelBytes());
        return still;
    }
    image = ImageLib::Picture(pixels.width, pixels.height);
    size_t count = image.rgba.size();
    if (pixels.bits == 16) {
        const uint16_t* src = reinterpret_cast<const uint16_t*>(pixels.rgba);
        for (size_t i = 0; i < count; ++i) image.rgba[i] = src[i] / 65535.0f;
    } else {
        for (size_t i = 0; i < count; ++i) image.rgba[i] = pixels.rgba[i] / 255.0f;
    }
    return still;
}

}  // namespace media
