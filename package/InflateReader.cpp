// A zip reader of our own over zlib's raw inflate, for builds without libzip.
// It reads the end-of-central-directory record, the central directory and
// the local headers, and extracts stored and deflated entries, checking each
// against its CRC-32. Multi-disk, encrypted and zip64 archives are refused.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "package/ZipReader.h"

namespace package {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22, kCentralSize = 46, kLocalSize = 30;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr uint16_t kEncryptedFlag = 1;
// Output is produced in pieces so that a size claimed by a damaged directory
// never decides how much memory is taken up front.
constexpr size_t kInflateChunk = 64 * 1024;

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) { return uint32_t(u16(p)) | (uint32_t(u16(p + 2)) << 16); }

struct Entry {
    std::string name;
    uint16_t flags, method;
    uint32_t crc, compressedSize, size, localOffset;
};

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool inflateRaw(const uint8_t* in, size_t inSize, uint32_t expectedSize, std::vector<uint8_t>& out) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = uInt(inSize);
    int status = Z_OK;
    while (status == Z_OK && out.size() <= expectedSize) {
        const size_t at = out.size();
        out.resize(at + kInflateChunk);
        stream.next_out = out.data() + at;
        stream.avail_out = uInt(kInflateChunk);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(at + kInflateChunk - stream.avail_out);
        if (status == Z_BUF_ERROR && stream.avail_out != 0) break;  // input ran out
        if (status == Z_BUF_ERROR) status = Z_OK;
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && out.size() == expectedSize;
}

class InflateReader final : public ZipReader {
public:
    InflateReader(const uint8_t* data, size_t size, std::vector<Entry> entries)
        : data(data), size(size), entries(std::move(entries)) {}

    std::optional<uint64_t> locate(const std::string& name) const override {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (equalIgnoringAsciiCase(entries[i].name, name)) return i;
        }
        return std::nullopt;
    }

    std::string name(uint64_t index) const override { return index < entries.size() ? entries[index].name : ""; }

    uint64_t entryCount() const override { return entries.size(); }

    bool extract(uint64_t index, std::vector<uint8_t>& out) const override {
        out.clear();
        if (index >= entries.size()) return false;
        const Entry& e = entries[index];
        const uint64_t local = e.localOffset;
        if (e.flags & kEncryptedFlag || local + kLocalSize > size || u32(data + local) != kLocalSignature) return false;
        const uint64_t start = local + kLocalSize + u16(data + local + 26) + u16(data + local + 28);
        if (start > size || e.compressedSize > size - start) return false;

        bool ok = false;
        if (e.method == kStored && e.compressedSize == e.size) {
            out.assign(data + start, data + start + e.size);
            ok = true;
        } else if (e.method == kDeflated) {
            ok = inflateRaw(data + start, e.compressedSize, e.size, out);
        }
        ok = ok && crc32(crc32(0, nullptr, 0), out.data(), uInt(out.size())) == e.crc;
        if (!ok) out.clear();
        return ok;
    }

private:
    const uint8_t* data;
    size_t size;
    std::vector<Entry> entries;
};

// The end-of-central-directory record: the last one whose comment fits.
const uint8_t* findEnd(const uint8_t* data, size_t size) {
    if (size < kEndSize) return nullptr;
    const size_t lowest = size - kEndSize > 0xFFFF ? size - kEndSize - 0xFFFF : 0;
    for (size_t at = size - kEndSize + 1; at-- > lowest;) {
        if (u32(data + at) == kEndSignature && at + kEndSize + u16(data + at + 20) <= size) return data + at;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<ZipReader> openInflateReader(const uint8_t* data, size_t size) {
    const uint8_t* end = data ? findEnd(data, size) : nullptr;
    if (!end) return nullptr;
    const uint16_t count = u16(end + 10);
    const uint32_t directorySize = u32(end + 12), directoryOffset = u32(end + 16);
    // Multi-disk and zip64 archives.
    if (u16(end + 4) != 0 || u16(end + 6) != 0 || u16(end + 8) != count || directoryOffset == 0xFFFFFFFFu)
        return nullptr;
    if (uint64_t(directoryOffset) + directorySize > uint64_t(end - data)) return nullptr;

    std::vector<Entry> entries;
    const uint8_t* p = data + directoryOffset;
    const uint8_t* const directoryEnd = p + directorySize;
    for (uint16_t i = 0; i < count; ++i) {
        if (size_t(directoryEnd - p) < kCentralSize || u32(p) != kCentralSignature) return nullptr;
        const size_t nameLength = u16(p + 28);
        const size_t recordSize = kCentralSize + nameLength + u16(p + 30) + u16(p + 32);
        if (size_t(directoryEnd - p) < recordSize) return nullptr;
        entries.push_back(Entry{std::string(reinterpret_cast<const char*>(p + kCentralSize), nameLength), u16(p + 8),
                                u16(p + 10), u32(p + 16), u32(p + 20), u32(p + 24), u32(p + 42)});
        p += recordSize;
    }
    return std::make_unique<InflateReader>(data, size, std::move(entries));
}

}  // namespace package
