// Pre-decode checks. Each walks the bytes the way the decoder will, reading
// zero past the end as the decoder does, and looks only for the one pattern
// that breaks it; everything else is left for the decoder to accept or refuse.
#include "ImageLib/DecodeGuards.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace ImageLib::detail {
namespace {

struct Cursor {
    const uint8_t* p;
    const uint8_t* end;
    bool atEnd() const { return p >= end; }
    int get8() { return p < end ? *p++ : 0; }
    int get16be() {
        const int hi = get8();
        return (hi << 8) | get8();
    }
    void skip(size_t n) { p = size_t(end - p) < n ? end : p + n; }
};

// One header line as the decoder reads it: up to a newline or the end, at
// most 1023 characters kept.
std::string headerLine(Cursor& c) {
    std::string line;
    int ch = c.get8();
    while (!c.atEnd() && ch != '\n') {
        line.push_back(char(ch));
        if (line.size() == 1023) {
            while (!c.atEnd() && c.get8() != '\n') {
            }
            break;
        }
        ch = c.get8();
    }
    return line;
}

}  // namespace

bool hdrRunsAdvance(const uint8_t* data, size_t size) {
    Cursor c{data, data + size};
    if (headerLine(c).rfind("#?", 0) != 0) return true;  // not HDR: decoder refuses
    while (!headerLine(c).empty()) {
    }
    const std::string res = headerLine(c);
    if (res.compare(0, 3, "-Y ") != 0) return true;
    char* tail = nullptr;
    const long height = std::strtol(res.c_str() + 3, &tail, 10);
    while (*tail == ' ') ++tail;
    if (std::strncmp(tail, "+X ", 3) != 0) return true;
    const long width = std::strtol(tail + 3, nullptr, 10);
    if (width < 8 || width >= 32768) return true;  // flat data, no runs

    for (long y = 0; y < height; ++y) {
        const int c1 = c.get8(), c2 = c.get8(), lenHi = c.get8();
        if (c1 != 2 || c2 != 2 || (lenHi & 0x80)) return true;  // flat from here on
        if (((lenHi << 8) | c.get8()) != width) return true;     // decoder refuses
        for (int channel = 0; channel < 4; ++channel) {
            long x = 0;
            while (x < width) {
                if (c.atEnd()) return false;  // counts would read as zero forever
                int count = c.get8();
                if (count > 128) {
                    count -= 128;
                    c.get8();
                } else {
                    if (count == 0) return false;
                    c.skip(size_t(count));
                }
                if (count > width - x) return true;  // decoder refuses
                x += count;
            }
        }
    }
    return true;
}

namespace {

// A marker as the decoder reads one: 0xFF, fill bytes, the code; 0 when the
// next byte is not 0xFF.
int readMarker(Cursor& c) {
    int x = c.get8();
    if (x != 0xFF) return 0;
    while (x == 0xFF) x = c.get8();
    return x;
}

bool huffmanSegmentFits(Cursor& c) {
    int left = c.get16be() - 2;
    while (left > 0) {
        c.get8();  // table class and number
        int codes = 0;
        for (int i = 0; i < 16; ++i) codes += c.get8();
        if (codes > 256) return false;
        c.skip(size_t(codes));
        left -= 17 + codes;
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

bool jpegHuffmanTablesFit(const uint8_t* data, size_t size) {
    Cursor c{data, data + size};
    if (readMarker(c) != 0xD8) return true;  // not JPEG
    while (!c.atEnd()) {
        const int m = readMarker(c);
        if (m == 0) continue;  // padding between segments: scan on
        if (m == 0xD9) return true;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7) || m == 0xD8) continue;  // no length
        if (m == 0xC4) {
            if (!huffmanSegmentFits(c)) return false;
            continue;
        }
        const int length = c.get16be();
        c.skip(length >= 2 ? size_t(length - 2) : 0);
        if (m == 0xDA) skipEntropyData(c);
    }
    return true;
}

}  // namespace ImageLib::detail
