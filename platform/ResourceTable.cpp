// The resource table format: parsing, lookup and writing (no platform calls).
#include <cstring>

#include "platform/Resources.h"

namespace platform {
namespace {

constexpr char kMagic[8] = {'L', 'X', 'R', 'S', 'R', 'C', '0', '1'};
constexpr size_t kHeaderSize = 16;
constexpr size_t kEntrySize = 24;
constexpr uint32_t kStringFlag = 0x80000000u;

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void putU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(value >> (8 * i));
}

class Parser {
public:
    Parser(const uint8_t* bytes, size_t size) : base(bytes), available(size) {}

    ResourceTable parse() {
        if (available < kHeaderSize) fail("shorter than its 16-byte header");
        if (std::memcmp(base, kMagic, sizeof kMagic) != 0) fail("has no LXRSRC01 magic");
        const uint32_t count = readU32(base + 8);
        tableSize = readU32(base + 12);
        if (tableSize < kHeaderSize || tableSize > available)
            fail("declares " + std::to_string(tableSize) + " bytes but " + std::to_string(available) + " are present");
        if (count > (tableSize - kHeaderSize) / kEntrySize)
            fail("declares " + std::to_string(count) + " entries, more than its size holds");

        std::vector<ResourceEntry> entries;
        entries.reserve(count);
        for (uint32_t i = 0; i < count; ++i) entries.push_back(entry(i, base + kHeaderSize + i * kEntrySize));
        return ResourceTable(std::move(entries));
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw ResourceTableError("resource table " + what); }

    // Checks that [offset, offset + length) lies inside the table.
    void checkRange(uint64_t offset, uint64_t length, uint32_t index, const char* what) const {
        if (offset > tableSize || length > tableSize - offset)
            fail("entry " + std::to_string(index) + ": " + what + " lies outside the table");
    }

    ResourceKey key(uint32_t word, uint32_t index, const char* what) const {
        if (!(word & kStringFlag)) return ResourceKey(word);
        const uint32_t offset = word & ~kStringFlag;
        checkRange(offset, 4, index, what);
        const uint32_t length = readU32(base + offset);
        checkRange(uint64_t(offset) + 4, length, index, what);
        return ResourceKey(std::string(reinterpret_cast<const char*>(base + offset + 4), length));
    }

    ResourceEntry entry(uint32_t index, const uint8_t* p) const {
        if (readU32(p + 12) != 0) fail("entry " + std::to_string(index) + ": reserved word is not 0");
        const uint32_t offset = readU32(p + 16);
        const uint32_t size = readU32(p + 20);
        checkRange(offset, size, index, "data");
        return ResourceEntry{key(readU32(p), index, "type name"), key(readU32(p + 4), index, "name"), readU32(p + 8),
                             Resource{base + offset, size}};
    }

    const uint8_t* base;
    size_t available;
    uint32_t tableSize = 0;
};

}  // namespace

std::optional<Resource> ResourceTable::find(const ResourceKey& type, const ResourceKey& name, uint32_t language) const {
    for (const ResourceEntry& e : list) {
        if (e.type == type && e.name == name && (language == kAnyLanguage || e.language == language)) return e.bytes;
    }
    return std::nullopt;
}

ResourceTable parseResourceTable(const void* bytes, size_t size) {
    if (!bytes && size) throw ResourceTableError("resource table has no bytes");
    return Parser(static_cast<const uint8_t*>(bytes), size).parse();
}

std::vector<uint8_t> writeResourceTable(const std::vector<ResourceItem>& entries) {
    std::vector<uint8_t> out(kHeaderSize + entries.size() * kEntrySize, 0);
    auto align = [&out](size_t to) { out.resize((out.size() + to - 1) / to * to, 0); };
    auto append = [&out](const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    };
    auto checkedSize = [](size_t n) {
        if (n >= kStringFlag) throw ResourceTableError("resource table would exceed 2 GiB");
        return uint32_t(n);
    };
    auto keyWord = [&](const ResourceKey& key) -> uint32_t {
        if (!key.text) {
            if (key.id & kStringFlag)
                throw ResourceTableError("resource id " + std::to_string(key.id) + " is too large");
            return key.id;
        }
        align(4);
        const uint32_t offset = checkedSize(out.size());
        out.resize(out.size() + 4);
        putU32(out, offset, checkedSize(key.text->size()));
        append(key.text->data(), key.text->size());
        return kStringFlag | offset;
    };

    std::memcpy(out.data(), kMagic, sizeof kMagic);
    putU32(out, 8, checkedSize(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const ResourceItem& item = entries[i];
        const size_t at = kHeaderSize + i * kEntrySize;
        const uint32_t type = keyWord(item.type);
        const uint32_t name = keyWord(item.name);
        align(8);
        const uint32_t offset = checkedSize(out.size());
        append(item.bytes.data(), item.bytes.size());
        putU32(out, at, type);
        putU32(out, at + 4, name);
        putU32(out, at + 8, item.language);
        putU32(out, at + 16, offset);
        putU32(out, at + 20, checkedSize(item.bytes.size()));
    }
    align(8);
    putU32(out, 12, checkedSize(out.size()));
    return out;
}

}  // namespace platform
