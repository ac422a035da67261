// Module resources: the stand-in for the resources a Windows module carries.
//
// A module's resources form one table, built at build time and linked into an
// allocated ELF section named `lumivex_rsrc` (kResourceSection). The code in a
// module finds its own table through the linker's __start_/__stop_ symbols of
// that section; a module linked without a table has none and finds nothing.
// A host reads the same section from the module file (for instance with
// libelf) and calls parseResourceTable on its bytes.
//
// Table format, every integer little-endian:
//   header, 16 bytes: magic "LXRSRC01" (8 bytes), u32 entry count,
//                     u32 table size (all bytes of the table, header included)
//   entries, 24 bytes each:
//     u32 type, u32 name   a numeric id below 0x80000000, or 0x80000000 plus
//                          the offset of a string: u32 length, then its bytes
//     u32 language, u32 reserved (0),
//     u32 data offset, u32 data size
//   strings and data follow; every offset counts from the start of the table.
// The section may be longer than the table (alignment padding); bytes past the
// table size are ignored.
//
// Errors: parseResourceTable throws ResourceTableError naming the fault; the
// lookups never throw and report a missing resource as nothing.
// Ownership: a ResourceTable and the Resource views it gives point into the
// bytes it was parsed from; those must outlive them. A module's own table
// lives as long as the module.
// Threads: parsing and lookups touch no shared state; moduleResources parses
// the module's table once on first use (thread-safe static initialisation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

constexpr const char* kResourceSection = "lumivex_rsrc";
constexpr uint32_t kAnyLanguage = 0xFFFFFFFFu;

// The handle of a loaded module: its base address, as dladdr's dli_fbase
// gives it (the same value as a Windows module instance handle).
using ModuleHandle = const void*;

// A resource type or name: a numeric id, or a string when `text` is set.
struct ResourceKey {
    uint32_t id = 0;
    std::optional<std::string> text;

    ResourceKey(uint32_t numeric) : id(numeric) {}
    ResourceKey(const char* name) : text(name) {}
    ResourceKey(std::string name) : text(std::move(name)) {}
    bool operator==(const ResourceKey& other) const { return id == other.id && text == other.text; }
};

// The bytes of one resource (a view into its table).
struct Resource {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

struct ResourceEntry {
    ResourceKey type;
    ResourceKey name;
    uint32_t language;
    Resource bytes;
};

class ResourceTableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ResourceTable {
public:
    ResourceTable() = default;
    explicit ResourceTable(std::vector<ResourceEntry> entries) : list(std::move(entries)) {}

    // The first entry with this type and name, in `language` unless that is
    // kAnyLanguage. String keys compare exactly.
    std::optional<Resource> find(const ResourceKey& type, const ResourceKey& name,
                                 uint32_t language = kAnyLanguage) const;
    const std::vector<ResourceEntry>& entries() const { return list; }

private:
    std::vector<ResourceEntry> list;
};

// Parses and checks a table read from an untrusted file: every count, offset
// and length must lie inside `size` bytes.
ResourceTable parseResourceTable(const void* bytes, size_t size);

// What the build writes into the section: the table holding `entries`, each
// entry's bytes copied in.
struct ResourceItem {
    ResourceKey type;
    ResourceKey name;
    uint32_t language;
    std::vector<uint8_t> bytes;
};
std::vector<uint8_t> writeResourceTable(const std::vector<ResourceItem>& entries);

// The module containing `address`, or null when no module does.
ModuleHandle moduleOf(const void* address);
// The module containing this code.
ModuleHandle currentModule();

// The resources of `module`: this module's table when `module` is this
// module's handle; an empty table for another module or when this module
// carries no (or a damaged) table.
const ResourceTable& moduleResources(ModuleHandle module);

// FindResourceEx-like lookup in a module.
std::optional<Resource> findResource(ModuleHandle module, const ResourceKey& type, const ResourceKey& name,
                                     uint32_t language = kAnyLanguage);

}  // namespace platform
