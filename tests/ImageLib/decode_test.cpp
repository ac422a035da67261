#include "ImageLib/Decode.h"
#include "ImageLib/DecodeGuards.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

using ImageLib::DecodedImage;
using ImageLib::decodeImage;

namespace {

using Bytes = std::vector<uint8_t>;

void append(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

Bytes png(int w, int h, int comp, const Bytes& px) {
    Bytes out;
    stbi_write_png_to_func(append, &out, w, h, comp, px.data(), w * comp);
    return out;
}

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const uint8_t* rgba(const DecodedImage& img) { return static_cast<const uint8_t*>(img.pixels.get()); }

// A BMP header (54 bytes) for a 24-bit image of the given size, no pixels.
Bytes bmpHeader(int32_t w, int32_t h) {
    Bytes b(54, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    b[26] = 1;
    b[28] = 24;
    return b;
}

const std::string kHdrHeader = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 8\n";

}  // namespace

TEST(Decode, PngWithAlphaKeepsItsAlpha) {
    const Bytes px = {10, 20, 30, 40, 50, 60, 70, 80};
    DecodedImage img;
    ASSERT_TRUE(decodeImage(png(2, 1, 4, px).data(), png(2, 1, 4, px).size(), img));
    EXPECT_EQ(img.width, 2u);
    EXPECT_EQ(img.height, 1u);
    EXPECT_EQ(img.depth, 8u);
    EXPECT_EQ(Bytes(rgba(img), rgba(img) + 8), px);
}

TEST(Decode, GrayscalePngExpandsToFourChannels) {
    const Bytes file = png(2, 1, 1, {0, 200});
    DecodedImage img;
    ASSERT_TRUE(decodeImage(file.data(), file.size(), img));
    EXPECT_EQ(Bytes(rgba(img), rgba(img) + 8), (Bytes{0, 0, 0, 255, 200, 200, 200, 255}));
}

TEST(Decode, JpegHasOpaqueAlphaAndPassesTheTableCheck) {
    Bytes px(8 * 8 * 3, 90);
    Bytes file;
    stbi_write_jpg_to_func(append, &file, 8, 8, 3, px.data(), 90);
    EXPECT_TRUE(ImageLib::detail::jpegSegmentsSound(file.data(), file.size()));
    DecodedImage img;
    ASSERT_TRUE(decodeImage(file.data(), file.size(), img));
    ASSERT_EQ(img.width * img.height, 64u);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(rgba(img)[4 * i + 3], 255);
        EXPECT_NEAR(rgba(img)[4 * i], 90, 3);
    }
}

TEST(Decode, BmpAndTgaDecodeAndPnmIsNotCompiledIn) {
    const Bytes px = {1, 2, 3, 4, 5, 6};
    for (auto writer : {stbi_write_bmp_to_func, stbi_write_tga_to_func}) {
        Bytes file;
        writer(append, &file, 2, 1, 3, px.data());
        DecodedImage img;
        ASSERT_TRUE(decodeImage(file.data(), file.size(), img));
        EXPECT_EQ(Bytes(rgba(img), rgba(img) + 8), (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
    }
    const Bytes pnm = bytes("P6\n1 1\n255\n\x01\x02\x03");
    DecodedImage img;
    EXPECT_FALSE(decodeImage(pnm.data(), pnm.size(), img));
}

TEST(Decode, RadianceHdrDecodesToFloatAboveOne) {
    std::vector<float> px(8 * 2 * 3, 0.25f);
    px[0] = 4.0f;  // width 8 is written run-length encoded
    Bytes file;
    stbi_write_hdr_to_func(append, &file, 8, 2, 3, px.data());
    EXPECT_TRUE(ImageLib::detail::hdrRunsAdvance(file.data(), file.size()));
    DecodedImage img;
    ASSERT_TRUE(decodeImage(file.data(), file.size(), img));
    EXPECT_EQ(img.depth, 32u);
    const float* f = static_cast<const float*>(img.pixels.get());
    EXPECT_FLOAT_EQ(f[0], 4.0f);
    EXPECT_FLOAT_EQ(f[3], 1.0f);
    EXPECT_FLOAT_EQ(f[4], 0.25f);
}

TEST(Decode, EmptyAndGarbageInputFail) {
    DecodedImage img;
    EXPECT_FALSE(decodeImage(nullptr, 0, img));
    const uint8_t one = 0;
    EXPECT_FALSE(decodeImage(&one, 0, img));
    const Bytes junk = bytes("not an image at all");
    EXPECT_FALSE(decodeImage(junk.data(), junk.size(), img));
    EXPECT_EQ(img.pixels, nullptr);
    EXPECT_EQ(img.width, 0u);
}

// A zero-length run (or counts running off the end, which read as zero)
// would keep the decoder looping forever.
TEST(Decode, HdrRunThatDoesNotAdvanceIsRejected) {
    const Bytes zeroRun = bytes(kHdrHeader + std::string("\x02\x02\x00\x08\x00", 5));
    const Bytes truncated = bytes(kHdrHeader + std::string("\x02\x02\x00\x08\x85\x10", 6));
    // A header line starting with NUL ends the header for the decoder.
    const Bytes nulEndsHeader = bytes(std::string("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\0x\n-Y 1 +X 8\n", 47) +
                                      std::string("\x02\x02\x00\x08\x00", 5));
    for (const Bytes& file : {zeroRun, truncated, nulEndsHeader}) {
        EXPECT_FALSE(ImageLib::detail::hdrRunsAdvance(file.data(), file.size()));
        DecodedImage img;
        EXPECT_FALSE(decodeImage(file.data(), file.size(), img));
    }
}

// 16 code lengths of 32 codes each declare 512 codes in one table.
TEST(Decode, JpegHuffmanTableOver256CodesIsRejected) {
    Bytes file = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x13, 0x00};
    file.insert(file.end(), 16, 0x20);
    file.resize(file.size() + 600, 0x11);
    EXPECT_FALSE(ImageLib::detail::jpegSegmentsSound(file.data(), file.size()));
    DecodedImage img;
    EXPECT_FALSE(decodeImage(file.data(), file.size(), img));

    // The same table after a scan is found too.
    Bytes later = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0x12, 0xFF, 0x00,
                   0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xC4, 0x00, 0x13, 0x10};
    later.insert(later.end(), 16, 0x20);
    EXPECT_FALSE(ImageLib::detail::jpegSegmentsSound(later.data(), later.size()));
}

// The decoder keeps its tables and component pixels in memory it never
// clears: a scan using a table no segment defined, or a frame component that
// no scan sets, would decode from leftovers.
TEST(Decode, JpegUsingUndefinedTablesOrMissingScansIsRejected) {
    Bytes px(8 * 8 * 3, 90);
    Bytes file;
    stbi_write_jpg_to_func(append, &file, 8, 8, 3, px.data(), 90);
    const auto segment = [&](uint8_t marker) {
        size_t at = 0;
        while (at + 1 < file.size() && !(file[at] == 0xFF && file[at + 1] == marker)) ++at;
        return at;
    };
    const size_t huffman = segment(0xC4), frame = segment(0xC0), scan = segment(0xDA);
    ASSERT_LT(std::max({huffman, frame, scan}) + 1, file.size());

    // The writer's one table segment defines DC 0, AC 0, DC 1, AC 1 in that
    // order: AC 0 becomes AC 3.
    Bytes undefinedHuffman = file;
    size_t table = huffman + 4;  // after the marker and the length
    size_t codes = 0;
    for (size_t i = 1; i <= 16; ++i) codes += file[table + i];
    table += 17 + codes;
    ASSERT_EQ(file[table], 0x10);
    undefinedHuffman[table] = 0x13;

    // The first component's quantization table (after marker, length,
    // precision, height, width, count, id and sampling) becomes table 3.
    Bytes undefinedQuantization = file;
    ASSERT_EQ(file[frame + 10], 1);  // first component id
    undefinedQuantization[frame + 12] = 3;

    // The scan lists only the first of the three components.
    Bytes missingScan(file.begin(), file.begin() + long(scan));
    const Bytes oneComponent = {0xFF, 0xDA, 0x00, 0x08, 0x01, file[scan + 5], file[scan + 6], 0x00, 0x3F, 0x00};
    missingScan.insert(missingScan.end(), oneComponent.begin(), oneComponent.end());
    missingScan.insert(missingScan.end(), file.begin() + long(scan + 14), file.end());

    for (const Bytes& broken : {undefinedHuffman, undefinedQuantization, missingScan}) {
        EXPECT_FALSE(ImageLib::detail::jpegSegmentsSound(broken.data(), broken.size()));
        DecodedImage img;
        EXPECT_FALSE(decodeImage(broken.data(), broken.size(), img));
    }
}

// The decoder would reserve the claimed 2 GiB for the compressed data before
// finding the bytes missing; the file is refused as short before that.
TEST(Decode, PngChunkRunningPastTheEndIsRefusedAsShort) {
    Bytes file = png(2, 2, 4, Bytes(16, 200));
    size_t at = 8;
    while (at + 8 <= file.size() && std::memcmp(&file[at + 4], "IDAT", 4) != 0)
        at += 12 + (size_t(file[at]) << 24 | size_t(file[at + 1]) << 16 | size_t(file[at + 2]) << 8 | file[at + 3]);
    ASSERT_LE(at + 8, file.size());
    file[at] = 0x7F, file[at + 1] = 0xFF, file[at + 2] = 0xFF, file[at + 3] = 0xF0;
    DecodedImage img;
    ImageLib::DecodeFailure failure = ImageLib::DecodeFailure::None;
    EXPECT_FALSE(decodeImage(file.data(), file.size(), img, &failure));
    EXPECT_EQ(failure, ImageLib::DecodeFailure::Truncated);
}

// An 8-bit BMP of one row: `entries` palette colours (entry i is grey 10 i),
// the pixels after them; the offset field is `offsetShift` bytes off.
Bytes paletteBmp(uint32_t entries, const Bytes& indices, int offsetShift = 0) {
    Bytes b = bmpHeader(int32_t(indices.size()), 1);
    b[28] = 8;
    const uint32_t offset = uint32_t(54 + 4 * entries + offsetShift);
    std::memcpy(&b[10], &offset, 4);
    for (uint32_t i = 0; i < entries; ++i) b.insert(b.end(), {uint8_t(10 * i), uint8_t(10 * i), uint8_t(10 * i), 0});
    b.resize(std::max<size_t>(offset, b.size()));
    b.insert(b.end(), indices.begin(), indices.end());
    b.resize(b.size() + (4 - indices.size() % 4) % 4);
    return b;
}

// The decoder's palette lives in memory it never clears: a pixel naming an
// entry the file does not give, or a pixel offset inside the header (a
// negative palette), would read leftovers.
TEST(Decode, BmpPixelsOutsideTheirPaletteAreRejected) {
    const Bytes good = paletteBmp(2, {0, 1, 1});
    DecodedImage img;
    ASSERT_TRUE(decodeImage(good.data(), good.size(), img));
    EXPECT_EQ(Bytes(rgba(img), rgba(img) + 8), (Bytes{0, 0, 0, 255, 10, 10, 10, 255}));
    for (const Bytes& bad : {paletteBmp(2, {0, 5, 1}), paletteBmp(0, {0, 0, 0}, -4)}) {
        EXPECT_FALSE(ImageLib::detail::bmpIndicesInPalette(bad.data(), bad.size()));
        ImageLib::DecodeFailure failure = ImageLib::DecodeFailure::None;
        EXPECT_FALSE(decodeImage(bad.data(), bad.size(), img, &failure));
        EXPECT_EQ(failure, ImageLib::DecodeFailure::Damaged);
    }
}

// A 1x1 PNG whose one fixed-code deflate block holds the filter byte, then a
// copy of 4 bytes with distance code 30 (no such distance; the decoder
// copies the bytes it has not written yet), then the end of the block.
TEST(Decode, PngWithAnInvalidDistanceCodeIsRejected) {
    Bytes deflate;
    uint32_t bits = 0, count = 0;
    const auto put = [&](uint32_t value, uint32_t n, bool huffman) {
        for (uint32_t i = 0; i < n; ++i) {
            bits |= ((huffman ? value >> (n - 1 - i) : value >> i) & 1) << count;
            if (++count == 8) deflate.push_back(uint8_t(bits)), bits = count = 0;
        }
    };
    put(1, 1, false);    // last block
    put(1, 2, false);    // fixed codes
    put(0x30, 8, true);  // literal 0
    put(2, 7, true);     // length 4 (symbol 258)
    put(30, 5, true);    // distance code 30
    put(0, 7, true);     // end of block
    if (count) deflate.push_back(uint8_t(bits));
    const auto chunk = [](const char* type, const Bytes& body) {
        Bytes c(8, 0);
        c[2] = uint8_t(body.size() >> 8), c[3] = uint8_t(body.size());
        std::memcpy(&c[4], type, 4);
        c.insert(c.end(), body.begin(), body.end());
        c.resize(c.size() + 4);  // checksum, unchecked
        return c;
    };
    const Bytes file = Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A} +
                       chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0}) +
                       chunk("IDAT", Bytes{0x78, 0x01} + deflate + Bytes(4, 0)) + chunk("IEND", {});
    EXPECT_FALSE(ImageLib::detail::pngDataInflates(file.data(), file.size()));
    DecodedImage img;
    ImageLib::DecodeFailure failure = ImageLib::DecodeFailure::None;
    EXPECT_FALSE(decodeImage(file.data(), file.size(), img, &failure));
    EXPECT_EQ(failure, ImageLib::DecodeFailure::Damaged);
}

TEST(Decode, OversizedOrEmptyDimensionsAreRejected) {
    for (auto [w, h] : {std::pair{16384, 16384}, {20000, 1}, {1, 20000}, {0, 4}, {4, 0}, {8192, 8192}}) {
        const Bytes file = bmpHeader(w, h);
        DecodedImage img;
        EXPECT_FALSE(decodeImage(file.data(), file.size(), img)) << w << "x" << h;
    }
}

namespace {

// An 18-byte TGA header: image type, size, bits per pixel and, for
// colour-mapped images, the map's length and entry bits.
Bytes tgaHeader(uint8_t type, uint16_t w, uint16_t h, uint8_t bits, uint16_t mapLength = 0, uint8_t mapBits = 0) {
    Bytes b(18, 0);
    b[1] = mapLength ? 1 : 0;
    b[2] = type;
    b[5] = uint8_t(mapLength), b[6] = uint8_t(mapLength >> 8), b[7] = mapBits;
    b[12] = uint8_t(w), b[13] = uint8_t(w >> 8), b[14] = uint8_t(h), b[15] = uint8_t(h >> 8);
    b[16] = bits;
    return b;
}

}  // namespace

// Each file decodes whole; without its last byte it is refused as short
// rather than decoded from memory the decoder never wrote.
TEST(Decode, FilesShorterThanTheirHeaderRequiresAreRefused) {
    const Bytes rle8x1 = {0x88, 0x40};  // one run of 8 for each channel
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"TGA 32-bit 2x1", tgaHeader(2, 2, 1, 32) + Bytes(8, 7)},
        {"TGA 16-bit 1x1", tgaHeader(2, 1, 1, 16) + Bytes{0xFF, 0x7F}},
        {"TGA run-length 3x1: two literal pixels, one repeated",
         tgaHeader(10, 3, 1, 24) + Bytes{0x01, 1, 2, 3, 4, 5, 6, 0x80, 7, 8, 9}},
        {"TGA colour-mapped 2x1: 2 entries of 3 bytes, 2 indices",
         tgaHeader(1, 2, 1, 8, 2, 24) + Bytes{1, 2, 3, 4, 5, 6} + Bytes{0, 1}},
        {"HDR flat 1x2", bytes("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 1\n") + Bytes(8, 0x80)},
        {"HDR run-length 8x2", bytes("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 8\n") +
                                   (Bytes{2, 2, 0, 8} + rle8x1 + rle8x1 + rle8x1 + rle8x1) +
                                   (Bytes{2, 2, 0, 8} + rle8x1 + rle8x1 + rle8x1 + rle8x1)},
        // Rows of 2 x 3 bytes padded to 8; the last row may lack its padding.
        {"BMP 24-bit 2x2", bmpHeader(2, 2) + Bytes(8 + 6, 9)},
    };
    for (const auto& [what, whole] : files) {
        DecodedImage img;
        EXPECT_TRUE(decodeImage(whole.data(), whole.size(), img)) << what;
        const Bytes shortened(whole.begin(), whole.end() - 1);
        ImageLib::DecodeFailure failure = ImageLib::DecodeFailure::None;
        EXPECT_FALSE(decodeImage(shortened.data(), shortened.size(), img, &failure)) << what;
        EXPECT_EQ(failure, ImageLib::DecodeFailure::Truncated) << what;
        EXPECT_EQ(img.pixels, nullptr);
    }
    // A bare header that announces 5792 x 5792 pixels of 32 bits.
    const Bytes header = tgaHeader(2, 5792, 5792, 32);
    DecodedImage img;
    EXPECT_FALSE(decodeImage(header.data(), header.size(), img));
}
