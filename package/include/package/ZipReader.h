// Read-only access to a zip archive image held in memory: whole-name lookup
// that ignores ASCII case, and whole-entry extraction (stored and deflated
// entries, checked against their CRC).
//
// Errors: opening gives null for anything that is not a readable archive;
// lookups and extraction report failure as nothing / false, never throw
// (except std::bad_alloc).
// Ownership: the reader reads straight from the caller's bytes, which must
// stay alive and unmoved for the reader's lifetime.
// Threads: one reader is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace package {

class ZipReader {
public:
    virtual ~ZipReader() = default;

    // The index of the first entry whose whole name equals `name` without
    // regard to ASCII case.
    virtual std::optional<uint64_t> locate(const std::string& name) const = 0;
    // The entry's name as stored.
    virtual std::string name(uint64_t index) const = 0;
    virtual uint64_t entryCount() const = 0;
    // The entry's uncompressed bytes; false on a damaged entry.
    virtual bool extract(uint64_t index, std::vector<uint8_t>& out) const = 0;
};

// Opens a reader over `size` bytes at `data`; null when they are not an
// archive it accepts.
using ZipOpener = std::unique_ptr<ZipReader> (*)(const uint8_t* data, size_t size);

// The libzip reader (not in builds without libzip).
std::unique_ptr<ZipReader> openLibzipReader(const uint8_t* data, size_t size);
// Our own reader over zlib's raw inflate (no libzip needed). It refuses
// multi-disk, encrypted and zip64 archives.
std::unique_ptr<ZipReader> openInflateReader(const uint8_t* data, size_t size);

// The reader a module opens its package with: libzip where the build has it
// (the Windows build has not).
#ifdef LUMIVEX_NO_LIBZIP
inline constexpr ZipOpener kModuleZipOpener = openInflateReader;
#else
inline constexpr ZipOpener kModuleZipOpener = openLibzipReader;
#endif

}  // namespace package
