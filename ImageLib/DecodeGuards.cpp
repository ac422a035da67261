// Pre-decode checks. Each walks the bytes the way the decoder will, reading
// zero past the end as the decoder does, and looks only for the one pattern
// that breaks it; everything else is left for the decoder to accept or refuse.
#include "DecodeGuards.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include <zlib.h>

namespace ImageLib::detail {
namespace {

// Reads as the decoder does, zero past the end, and remembers whether a read
// went past the end.
struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
    bool overran = false;
    bool atEnd() const { return p >= end; }
    int get8() {
        if (p < end) return *p++;
        overran = true;
        return 0;
    }
    int get16be() {
        const int hi = get8();
        return (hi << 8) | get8();
    }
    void skip(size_t n) {
        overran = overran || size_t(end - p) < n;
        p = size_t(end - p) < n ? end : p + n;
    }
};

// One header line as the decoder reads it: up to a newline or the end, at
// most 1023 characters kept. The decoder then treats the line as a C string,
// so it is cut at its first NUL: a line that starts with one ends the header.
std::string headerLine(Cursor& c) {
    std::string line;
    int ch = c.get8();
    while (!c.atEnd() && ch != '\n') {
        line.push_back(char(ch));
        if (line.size() == 1023) {
            while (!c.atEnd() && c.get8() != '\n') {}
            break;
        }
        ch = c.get8();
    }
    line.resize(std::strlen(line.c_str()));
    return line;
}

}  // namespace

namespace {

struct HdrScan {
    bool runsAdvance = true;
    bool complete = true;
};

// Walks a Radiance HDR file's scanlines as the decoder will. A scanline that
// does not start a run-length record sends the decoder back to pixel 1 of
// row 0 reading flat 4-byte pixels, so from its start the whole image must
// follow flat.
HdrScan scanHdr(const uint8_t* data, size_t size) {
    HdrScan scan;
    Cursor c{data, data + size};
    if (headerLine(c).rfind("#?", 0) != 0) return scan;  // not HDR: decoder refuses
    while (!headerLine(c).empty()) {}
    const std::string res = headerLine(c);
    if (res.compare(0, 3, "-Y ") != 0) return scan;
    char* tail = nullptr;
    // Narrowed to int as the decoder narrows them.
    const long height = int(std::strtol(res.c_str() + 3, &tail, 10));
    while (*tail == ' ') ++tail;
    if (std::strncmp(tail, "+X ", 3) != 0) return scan;
    const long width = int(std::strtol(tail + 3, nullptr, 10));
    if (width <= 0 || height <= 0) return scan;  // decoder refuses
    const auto flatFromHere = [&] {
        scan.complete = uint64_t(c.end - c.p) >= uint64_t(width) * uint64_t(height) * 4;
        return scan;
    };
    if (width < 8 || width >= 32768) return flatFromHere();

    for (long y = 0; y < height; ++y) {
        const uint8_t* start = c.p;
        const int c1 = c.get8(), c2 = c.get8(), lenHi = c.get8();
        if (c1 != 2 || c2 != 2 || (lenHi & 0x80)) {
            c.p = start;
            return flatFromHere();
        }
        if (((lenHi << 8) | c.get8()) != width) return scan;  // decoder refuses
        for (int channel = 0; channel < 4; ++channel) {
            long x = 0;
            while (x < width) {
                if (c.atEnd()) {  // counts would read as zero forever
                    scan.runsAdvance = scan.complete = false;
                    return scan;
                }
                int count = c.get8();
                if (count > 128) {
                    count -= 128;
                    c.get8();
                } else {
                    if (count == 0) {
                        scan.runsAdvance = false;
                        return scan;
                    }
                    c.skip(size_t(count));
                }
                if (count > width - x) return scan;  // decoder refuses
                x += count;
            }
        }
    }
    scan.complete = !c.overran;
    return scan;
}

}  // namespace

bool hdrRunsAdvance(const uint8_t* data, size_t size) { return scanHdr(data, size).runsAdvance; }

namespace {

// A marker as the decoder reads one: 0xFF, fill bytes, the code; 0 when the
// next byte is not 0xFF.
int readMarker(Cursor& c) {
    int x = c.get8();
    if (x != 0xFF) return 0;
    while (x == 0xFF) x = c.get8();
    return x;
}

// What the segments read so far have defined, as the decoder keeps it.
struct JpegState {
    bool huffman[2][4] = {};  // by class (0 DC, 1 AC) and number
    bool quantization[4] = {};
    bool progressive = false;
    int components = 0;  // of the frame; 0 before its header
    int ids[4] = {};
    int quantizationTable[4] = {};
    bool covered[4] = {};  // a scan has set every block of the component
};

bool huffmanSegmentFits(Cursor& c, JpegState& jpeg) {
    int left = c.get16be() - 2;
    while (left > 0) {
        const int classAndNumber = c.get8();
        if ((classAndNumber >> 4) <= 1 && (classAndNumber & 15) <= 3)
            jpeg.huffman[classAndNumber >> 4][classAndNumber & 15] = true;  // others: decoder refuses
        int codes = 0;
        for (int i = 0; i < 16; ++i) codes += c.get8();
        if (codes > 256) return false;
        c.skip(size_t(codes));
        left -= 17 + codes;
    }
    return true;
}

void readQuantizationSegment(Cursor& c, JpegState& jpeg) {
    int left = c.get16be() - 2;
    while (left > 0 && !c.atEnd()) {
        const int precisionAndNumber = c.get8();
        const int bytes = (precisionAndNumber >> 4) ? 128 : 64;
        if ((precisionAndNumber & 15) <= 3) jpeg.quantization[precisionAndNumber & 15] = true;
        c.skip(size_t(bytes));
        left -= 1 + bytes;
    }
}

void readFrameHeader(Cursor& c, JpegState& jpeg, int marker) {
    const uint8_t* start = c.p;
    const int length = c.get16be();
    c.skip(5);  // precision, height, width
    const int components = c.get8();
    jpeg.components = std::min(components, 4);
    for (int i = 0; i < jpeg.components; ++i) {
        jpeg.ids[i] = c.get8();
        c.get8();  // sampling factors
        jpeg.quantizationTable[i] = c.get8() & 3;
        jpeg.covered[i] = false;
    }
    jpeg.progressive = marker == 0xC2;
    c.p = start;
    c.skip(size_t(length));
}

// A scan header: false when a component of the scan decodes with a table no
// segment has defined. Baseline scans use both Huffman tables and the
// quantization table and set every block; in progressive mode a first DC
// scan uses the DC table and sets every block, AC scans use the AC table,
// and the quantization tables are applied at the end.
bool scanTablesDefined(Cursor& c, JpegState& jpeg) {
    Cursor header = c;
    const int length = c.get16be();
    c.skip(length >= 2 ? size_t(length - 2) : 0);
    header.get16be();
    const int components = header.get8();
    if (components < 1 || components > 4 || length != 6 + 2 * components) return true;  // decoder refuses
    int ids[4] = {}, selectors[4] = {};
    for (int i = 0; i < components; ++i) {
        ids[i] = header.get8();
        selectors[i] = header.get8();
    }
    const int spectralStart = header.get8();
    header.get8();  // spectral end
    const int approximationHigh = header.get8() >> 4;
    const bool firstDc = spectralStart == 0 && approximationHigh == 0;
    for (int i = 0; i < components; ++i) {
        const int dc = selectors[i] >> 4, ac = selectors[i] & 15;
        const int* found = std::find(jpeg.ids, jpeg.ids + jpeg.components, ids[i]);
        if (dc > 3 || ac > 3 || found == jpeg.ids + jpeg.components) return true;  // decoder refuses
        const size_t component = size_t(found - jpeg.ids);
        const bool needsDc = jpeg.progressive ? firstDc : true;
        const bool needsAc = jpeg.progressive ? spectralStart > 0 : true;
        if ((needsDc && !jpeg.huffman[0][dc]) || (needsAc && !jpeg.huffman[1][ac])) return false;
        if (!jpeg.progressive && !jpeg.quantization[jpeg.quantizationTable[component]]) return false;
        if (!jpeg.progressive || firstDc) jpeg.covered[component] = true;
    }
    return true;
}

// At the end of the image: every component of the frame was set by a scan
// (and, progressive, has its quantization table).
bool everyComponentSet(const JpegState& jpeg) {
    for (int i = 0; i < jpeg.components; ++i) {
        if (!jpeg.covered[i]) return false;
        if (jpeg.progressive && !jpeg.quantization[jpeg.quantizationTable[i]]) return false;
    }
    return true;
}

// Moves past entropy-coded data to the next marker that is neither a stuffed
// zero nor a restart, leaving the cursor on its 0xFF.
void skipEntropyData(Cursor& c) {
    while (!c.atEnd()) {
        if (*c.p != 0xFF) {
            ++c.p;
            continue;
        }
        const uint8_t* marker = c.p;
        while (!c.atEnd() && *c.p == 0xFF) ++c.p;
        if (c.atEnd()) return;
        const uint8_t code = *c.p;
        if (code == 0x00 || (code >= 0xD0 && code <= 0xD7)) {
            ++c.p;
            continue;
        }
        c.p = marker;
        return;
    }
}

}  // namespace

bool jpegSegmentsSound(const uint8_t* data, size_t size) {
    Cursor c{data, data + size};
    if (readMarker(c) != 0xD8) return true;  // not JPEG
    JpegState jpeg;
    while (!c.atEnd()) {
        const int m = readMarker(c);
        if (m == 0) continue;  // padding between segments: scan on
        if (m == 0xD9) return everyComponentSet(jpeg);
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7) || m == 0xD8) continue;  // no length
        if (m == 0xC4) {
            if (!huffmanSegmentFits(c, jpeg)) return false;
        } else if (m == 0xDB) {
            readQuantizationSegment(c, jpeg);
        } else if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
            readFrameHeader(c, jpeg, m);
        } else if (m == 0xDA) {
            if (!scanTablesDefined(c, jpeg)) return false;
            skipEntropyData(c);
        } else {
            const int length = c.get16be();
            c.skip(length >= 2 ? size_t(length - 2) : 0);
        }
    }
    return true;  // no end marker: the decoder refuses
}

namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

// TGA as the decoder takes it (its own format test, and its own reading: the
// colour-map start is skipped as a byte count). False when the data is short.
bool tgaComplete(const uint8_t* data, size_t size) {
    uint8_t h[18] = {};
    std::memcpy(h, data, std::min<size_t>(size, sizeof h));
    const uint32_t mapType = h[1], type = h[2], mapStart = le16(h + 3), mapLength = le16(h + 5);
    const uint32_t mapBits = h[7], width = le16(h + 12), height = le16(h + 14), bits = h[16];
    const auto oneOf = [](uint32_t v, std::initializer_list<uint32_t> set) {
        return std::find(set.begin(), set.end(), v) != set.end();
    };
    const bool indexed = mapType == 1;
    if (mapType > 1 || width == 0 || height == 0 || !oneOf(bits, {8, 15, 16, 24, 32})) return true;  // no TGA
    if (indexed ? !oneOf(type, {1, 9}) || !oneOf(mapBits, {8, 15, 16, 24, 32}) || !oneOf(bits, {8, 16})
                : !oneOf(type, {2, 3, 10, 11}))
        return true;
    if (size < 18) return false;

    // 15 and 16-bit colours (not 16-bit grey) are read as 2 bytes each.
    const auto colourBytes = [](uint32_t colourBits, bool grey) -> uint64_t {
        return colourBits == 15 || (colourBits == 16 && !grey) ? 2 : colourBits / 8;
    };
    uint64_t at = 18 + uint64_t(h[0]);
    if (indexed) at += mapStart + uint64_t(mapLength) * colourBytes(mapBits, false);
    const uint64_t pixelBytes = indexed ? bits / 8 : colourBytes(bits, type == 3 || type == 11);
    uint64_t pixels = uint64_t(width) * height;
    if (type < 8) return at + pixels * pixelBytes <= size;
    // Run-length packets: a header byte, then one pixel for a repeat or up
    // to 128 for a literal run.
    while (pixels > 0) {
        if (at >= size) return false;
        const uint8_t packet = data[at++];
        const uint64_t count = std::min<uint64_t>(1 + (packet & 127), pixels);
        at += (packet & 128) ? pixelBytes : count * pixelBytes;
        pixels -= count;
    }
    return at <= size;
}

// A BMP header as the decoder reads it.
struct BmpLayout {
    bool valid = false;  // a BMP the decoder goes on to decode
    uint32_t headerSize = 0;
    int64_t offset = 0;  // of the pixel rows
    uint64_t width = 0, height = 0, bits = 0;
    uint64_t rowBytes = 0;  // padded to 4 bytes
};

BmpLayout bmpLayout(const uint8_t* data, size_t size) {
    BmpLayout bmp;
    if (size < 18 || data[0] != 'B' || data[1] != 'M') return bmp;
    bmp.headerSize = le32(data + 14);
    if (bmp.headerSize != 12 && bmp.headerSize != 40 && bmp.headerSize != 56 && bmp.headerSize != 108 &&
        bmp.headerSize != 124)
        return bmp;  // no BMP
    uint8_t h[34] = {};
    std::memcpy(h, data, std::min<size_t>(size, sizeof h));
    bmp.offset = int32_t(le32(h + 10));
    if (bmp.headerSize == 12) {
        bmp.width = le16(h + 18), bmp.height = le16(h + 20), bmp.bits = le16(h + 24);
    } else {
        const int32_t w = int32_t(le32(h + 18)), hh = int32_t(le32(h + 22));
        const uint32_t compression = le32(h + 30);
        if (compression == 1 || compression == 2 || w <= 0 || hh == 0 || hh == INT32_MIN) return bmp;  // refused
        bmp.width = uint64_t(w), bmp.height = uint64_t(hh < 0 ? -int64_t(hh) : hh), bmp.bits = le16(h + 28);
    }
    bmp.rowBytes = (bmp.width * bmp.bits + 31) / 32 * 4;
    bmp.valid = bmp.width > 0 && bmp.height > 0 && bmp.bits > 0 && bmp.offset >= 0;
    return bmp;
}

// BMP: the pixel rows from the data offset on, the last row allowed to lack
// its padding. Run-length BMPs, which the decoder refuses, are not checked.
bool bmpComplete(const uint8_t* data, size_t size) {
    const BmpLayout bmp = bmpLayout(data, size);
    if (!bmp.valid) return true;
    const uint64_t start = std::max<uint64_t>(uint64_t(bmp.offset), 14 + uint64_t(bmp.headerSize));
    return start + bmp.rowBytes * (bmp.height - 1) + (bmp.width * bmp.bits + 7) / 8 <= size;
}

}  // namespace

bool bmpIndicesInPalette(const uint8_t* data, size_t size) {
    const BmpLayout bmp = bmpLayout(data, size);
    if (!bmp.valid || (bmp.bits != 1 && bmp.bits != 4 && bmp.bits != 8) || !bmpComplete(data, size)) return true;
    // The palette fills the space between the header and the pixel rows,
    // counted the decoder's way.
    const int64_t space = bmp.headerSize == 12 ? bmp.offset - 38 : bmp.offset - 14 - int64_t(bmp.headerSize);
    if (space < 0) return bmp.headerSize == 12 && space > -3;  // no entries: refused; fewer: unset
    const int64_t entries = bmp.headerSize == 12 ? space / 3 : space / 4;
    if (entries == 0 || entries > 256) return true;  // decoder refuses
    for (uint64_t y = 0; y < bmp.height; ++y) {
        const uint8_t* row = data + bmp.offset + y * bmp.rowBytes;
        for (uint64_t x = 0; x < bmp.width; ++x) {
            const int index = bmp.bits == 8   ? row[x]
                              : bmp.bits == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 15
                                              : (row[x / 8] >> (7 - x % 8)) & 1;
            if (index >= entries) return false;
        }
    }
    return true;
}

namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool isPng(const uint8_t* data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return size >= 8 && std::memcmp(data, kSignature, 8) == 0;
}

// Calls visit(type, body, length) for each chunk of a PNG up to its end
// chunk; false when a chunk (with its checksum) runs past the data.
template <class Visit>
bool walkPngChunks(const uint8_t* data, size_t size, Visit visit) {
    for (size_t at = 8; size - at >= 8;) {
        const uint64_t length = be32(data + at);
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
        if (length + 12 > size - at) return false;
        visit(data + at + 4, data + at + 8, size_t(length));
        at += 12 + size_t(length);
    }
    return true;  // no end chunk: the decoder refuses
}

// PNG: every chunk up to the end chunk lies within the data. The decoder
// sizes its buffer for the compressed data by the chunk lengths before it
// finds out that the bytes are missing.
bool pngComplete(const uint8_t* data, size_t size) {
    return !isPng(data, size) || walkPngChunks(data, size, [](const uint8_t*, const uint8_t*, size_t) {});
}

// Bytes of filtered scanlines a PNG image needs (Adam7 passes when interlaced).
uint64_t pngScanlineBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel, bool interlaced) {
    if (!interlaced) return height * (1 + (width * bitsPerPixel + 7) / 8);
    static const uint64_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                          {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    uint64_t total = 0;
    for (const auto& pass : passes) {
        if (width <= pass[0] || height <= pass[1]) continue;
        const uint64_t columns = (width - pass[0] + pass[2] - 1) / pass[2];
        const uint64_t rows = (height - pass[1] + pass[3] - 1) / pass[3];
        total += rows * (1 + (columns * bitsPerPixel + 7) / 8);
    }
    return total;
}

}  // namespace

bool pngDataInflates(const uint8_t* data, size_t size) {
    if (!isPng(data, size)) return true;
    std::vector<uint8_t> compressed;
    bool headerless = false;  // the CgBI variant holds raw deflate data
    uint64_t needed = 0;
    const bool whole = walkPngChunks(data, size, [&](const uint8_t* type, const uint8_t* body, size_t length) {
        if (std::memcmp(type, "CgBI", 4) == 0) headerless = true;
        if (std::memcmp(type, "IHDR", 4) == 0 && length == 13) {
            const uint8_t colour = body[9];
            const uint64_t channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
            needed = pngScanlineBytes(be32(body), be32(body + 4), channels * body[8], body[12] == 1);
        }
        if (std::memcmp(type, "IDAT", 4) == 0) compressed.insert(compressed.end(), body, body + length);
    });
    // The zlib header (2 bytes) and trailing checksum, which the decoder does
    // not check, are left out: raw deflate data.
    const size_t skip = headerless ? 0 : 2;
    if (!whole || needed == 0 || compressed.size() <= skip) return true;  // refused elsewhere

    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) throw std::bad_alloc();
    stream.next_in = compressed.data() + skip;
    stream.avail_in = static_cast<uInt>(compressed.size() - skip);
    const uint64_t limit = 2 * needed + (1 << 20);
    uint64_t produced = 0;
    std::vector<uint8_t> out(1 << 16);
    int result = Z_OK;
    while (result == Z_OK && produced <= limit) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        result = inflate(&stream, Z_NO_FLUSH);
        produced += out.size() - stream.avail_out;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END && produced <= limit;
}

namespace {}  // namespace

bool dataCoversHeader(const uint8_t* data, size_t size) {
    return scanHdr(data, size).complete && tgaComplete(data, size) && bmpComplete(data, size) &&
           pngComplete(data, size);
}

}  // namespace ImageLib::detail
