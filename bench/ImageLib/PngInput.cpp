#include "bench/ImageLib/PngInput.h"

#include "ImageLib/Decode.h"

#include <libdeflate.h>
#include <spng.h>

#include <emmintrin.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace benchimage {
namespace {

struct SpngFree {
    void operator()(spng_ctx* c) const { spng_ctx_free(c); }
};

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// The Paeth filter undone a pixel (up to 8 bytes) at a time in 16-bit lanes:
// the pixels depend on each other in a chain, its bytes do not. Rows must be
// readable 8 bytes past their end.
void paeth(uint8_t* row, const uint8_t* prior, size_t n, size_t bpp) {
    const __m128i zero = _mm_setzero_si128();
    const auto load = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    const auto absolute = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    __m128i a = zero, c = zero, filtered = load(row);
    for (size_t i = 0; i < n; i += bpp) {
        const __m128i b = load(prior + i);
        const __m128i pa = absolute(_mm_sub_epi16(b, c)), pb = absolute(_mm_sub_epi16(a, c));
        const __m128i pc = absolute(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
        // a where pa <= pb and pa <= pc, else b where pb <= pc, else c.
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i bOrC =
            _mm_or_si128(_mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), b), _mm_and_si128(_mm_cmpgt_epi16(pb, pc), c));
        const __m128i predicted = _mm_or_si128(_mm_andnot_si128(notA, a), _mm_and_si128(notA, bOrC));
        a = _mm_and_si128(_mm_add_epi16(filtered, predicted), _mm_set1_epi16(0xFF));
        c = b;
        // A whole 4 or 8-byte word is stored, spilling into the next pixel
        // only, whose bytes are read first; the row's last pixel stores just
        // its own.
        const __m128i bytes = _mm_packus_epi16(a, zero);
        if (i + bpp < n) {
            filtered = load(row + i + bpp);
            if (bpp > 4) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(row + i), bytes);
            } else {
                const int32_t word = _mm_cvtsi128_si32(bytes);
                std::memcpy(row + i, &word, 4);
            }
        } else {
            uint8_t last[16];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(last), bytes);
            std::memcpy(row + i, last, bpp);
        }
    }
}

// Undoes one row's filter in place; `prior` is the row above, unfiltered
// (zeros for the first row). Returns false for an unknown filter type.
bool unfilter(uint8_t type, uint8_t* row, const uint8_t* prior, size_t n, size_t bpp) {
    switch (type) {
        case 0: return true;
        case 1:
            for (size_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - bpp]);
            return true;
        case 2:
            for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prior[i]);
            return true;
        case 3:
            for (size_t i = 0; i < bpp; ++i) row[i] = uint8_t(row[i] + (prior[i] >> 1));
            for (size_t i = bpp; i < n; ++i) row[i] = uint8_t(row[i] + ((row[i - bpp] + prior[i]) >> 1));
            return true;
        case 4:
            if (bpp <= 8) {
                paeth(row, prior, n, bpp);
                return true;
            }
            for (size_t i = 0; i < bpp; ++i) row[i] = uint8_t(row[i] + prior[i]);
            for (size_t i = bpp; i < n; ++i) {
                const int a = row[i - bpp], b = prior[i], c = prior[i - bpp];
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                row[i] = uint8_t(row[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
            }
            return true;
    }
    return false;
}

// The common photograph layouts (8 or 16-bit RGB or RGBA, not interlaced, no
// transparency chunk) decoded directly: the image data inflated in one call
// by libdeflate and unfiltered here, several times faster than the general
// reader on a large 16-bit frame. Returns false, touching nothing, for any
// other file, which then takes the general path; a damaged file of this kind
// sets `error`. The image data is gathered in place at the front of `file`.
bool decodeCommonPng(std::vector<uint8_t>& file, const std::string& name, Order order, Rgba8& out, std::string& error) {
    const uint8_t* p = file.data() + 8;
    const uint8_t* end = file.data() + file.size();
    if (end - p < 25 || be32(p) != 13 || std::memcmp(p + 4, "IHDR", 4) != 0) return false;
    const uint32_t width = be32(p + 8), height = be32(p + 12);
    const int depth = p[16], type = p[17];
    if ((depth != 8 && depth != 16) || (type != 2 && type != 6) || p[18] != 0 || p[19] != 0 || p[20] != 0 ||
        width == 0 || height == 0 || width > (1u << 16) || height > (1u << 16))
        return false;
    uint8_t* const compressed = file.data();
    size_t compressedSize = 0;
    bool ended = false;
    for (p += 25; !ended && end - p >= 12;) {
        const uint32_t length = be32(p);
        if (length > size_t(end - p) - 12) break;
        const uint8_t* data = p + 8;
        if (libdeflate_crc32(0, p + 4, length + 4) != be32(data + length)) {
            error = name + ": a chunk's checksum does not match";
            return false;
        }
        if (std::memcmp(p + 4, "tRNS", 4) == 0) return false;
        ended = std::memcmp(p + 4, "IEND", 4) == 0;
        if (std::memcmp(p + 4, "IDAT", 4) == 0) {
            // Never ahead of the chunk it comes from: the file is read first.
            std::memmove(compressed + compressedSize, data, length);
            compressedSize += length;
        }
        p = data + length + 4;
    }
    const size_t bpp = size_t(type == 6 ? 4 : 3) * (depth / 8);
    const size_t rowBytes = bpp * width;
    // Eight spare bytes: the Paeth filter reads a whole 8-byte word per pixel.
    std::vector<uint8_t> raw((rowBytes + 1) * height + 8);
    const std::unique_ptr<libdeflate_decompressor, DecompressorFree> inflater(libdeflate_alloc_decompressor());
    size_t produced = 0;
    if (!ended || !inflater ||
        libdeflate_zlib_decompress(inflater.get(), compressed, compressedSize, raw.data(), raw.size() - 8, &produced) !=
            LIBDEFLATE_SUCCESS ||
        produced != raw.size() - 8) {
        error = name + ": the image data is damaged or incomplete";
        return true;
    }
    // Each row is converted once the row below no longer needs it unfiltered.
    // With at least 4 bytes a pixel the result fits in place, each row at or
    // before the raw bytes it comes from.
    const bool inPlace = bpp >= 4;
    std::vector<uint8_t> separate(inPlace ? 0 : size_t(width) * height * 4);
    uint8_t* const pixels = inPlace ? raw.data() : separate.data();
    const auto convert = [&](uint32_t y) {
        // 16-bit samples keep their high byte, the first of each pair.
        const uint8_t* src = raw.data() + y * (rowBytes + 1) + 1;
        uint8_t* dst = pixels + size_t(y) * width * 4;
        const size_t step = depth / 8;
        const size_t first = order == Order::Argb ? 1 : 0, alpha = order == Order::Argb ? 0 : 3;
        for (uint32_t x = 0; x < width; ++x, src += bpp, dst += 4) {
            const uint8_t r = src[0], g = src[step], b = src[2 * step];
            dst[alpha] = type == 6 ? src[3 * step] : 255;
            dst[first] = r, dst[first + 1] = g, dst[first + 2] = b;
        }
    };
    const std::vector<uint8_t> zeros(rowBytes + 8);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = raw.data() + y * (rowBytes + 1);
        if (!unfilter(row[0], row + 1, y ? row - rowBytes : zeros.data(), rowBytes, bpp)) {
            error = name + ": a row has an unknown filter type";
            return true;
        }
        if (y) convert(y - 1);
    }
    convert(height - 1);
    out.pixels = inPlace ? std::move(raw) : std::move(separate);
    out.pixels.resize(size_t(width) * height * 4);
    out.width = width, out.height = height;
    return true;
}

bool decodePng(const std::vector<uint8_t>& file, const std::string& name, Rgba8& out, std::string& error) {
    const std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
    if (!ctx) {
        error = name + ": cannot start the PNG reader";
        return false;
    }
    spng_ihdr header{};
    size_t size = 0;
    int e = spng_set_png_buffer(ctx.get(), file.data(), file.size());
    if (e == 0) e = spng_get_ihdr(ctx.get(), &header);
    if (e == 0) e = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size);
    if (e == 0 && size != size_t(header.width) * header.height * 4) e = SPNG_EOVERFLOW;
    if (e == 0) {
        out.pixels.resize(size);
        e = spng_decode_image(ctx.get(), out.pixels.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
    }
    if (e != 0) {
        out.pixels.clear();
        error = name + ": " + spng_strerror(e);
        return false;
    }
    out.width = header.width, out.height = header.height;
    return true;
}

// Moves alpha from the last byte of each pixel to the first.
void alphaToFront(Rgba8& img) {
    for (size_t i = 0; i < img.pixels.size(); i += 4) {
        uint32_t w;
        std::memcpy(&w, &img.pixels[i], 4);
        w = (w << 8) | (w >> 24);  // bytes r g b a, as a little-endian word
        std::memcpy(&img.pixels[i], &w, 4);
    }
}

bool decodeOwned(std::vector<uint8_t>& file, const std::string& name, Order order, Rgba8& out, std::string& error) {
    static const uint8_t kPngMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    bool decoded = false;
    if (file.size() >= 8 && std::memcmp(file.data(), kPngMagic, 8) == 0) {
        error.clear();
        if (decodeCommonPng(file, name, order, out, error)) return error.empty();
        if (!error.empty()) return false;
        decoded = decodePng(file, name, out, error);
    } else {
        ImageLib::DecodedImage img;
        if (!ImageLib::decodeImage(file.data(), file.size(), img) || img.depth != 8) {
            error = name + ": cannot decode an 8-bit image";
            return false;
        }
        out.width = img.width, out.height = img.height;
        const auto* px = static_cast<const uint8_t*>(img.pixels.get());
        out.pixels.assign(px, px + size_t(img.width) * img.height * 4);
        decoded = true;
    }
    if (decoded && order == Order::Argb) alphaToFront(out);
    return decoded;
}

}  // namespace

bool decodeRgba8(const std::vector<uint8_t>& file, const std::string& name, Rgba8& out, std::string& error,
                 Order order) {
    std::vector<uint8_t> copy(file);
    return decodeOwned(copy, name, order, out, error);
}

bool readRgba8(const std::string& path, Rgba8& out, std::string& error, Order order) {
    // One read of the whole file: a byte-wise stream iterator costs more
    // than decoding a large image.
    std::FILE* in = std::fopen(path.c_str(), "rb");
    std::vector<uint8_t> file;
    bool read = in != nullptr && std::fseek(in, 0, SEEK_END) == 0;
    const long size = read ? std::ftell(in) : -1;
    read = read && size >= 0 && std::fseek(in, 0, SEEK_SET) == 0;
    if (read) {
        file.resize(size_t(size));
        read = std::fread(file.data(), 1, file.size(), in) == file.size();
    }
    if (in) std::fclose(in);
    if (!read) {
        error = path + ": cannot read";
        return false;
    }
    return decodeOwned(file, path, order, out, error);
}

}  // namespace benchimage
