// Fuzzes the package path of the module: a resource of arbitrary bytes is
// descrambled and opened as the archive, then entries are read with both zip
// readers. The input's
// first byte picks how the rest is used: as the resource itself, or
// scrambled first so that mutations reach the zip reader directly.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/BlobReader.h"
#include "package/Scramble.h"
#include "package/ZipReader.h"
#include "platform/Resources.h"

namespace {

// Every entry by index and by its stored name, with both zip readers; where
// both read an entry they must agree on its bytes.
void readEveryEntry(const std::vector<uint8_t>& resource) {
    const std::vector<uint8_t> data = package::descrambleArchive(resource.data(), resource.size());
    const std::unique_ptr<package::ZipReader> libzip = package::openLibzipReader(data.data(), resource.size());
    const std::unique_ptr<package::ZipReader> inflate = package::openInflateReader(data.data(), resource.size());
    std::vector<uint8_t> first, second;
    for (const package::ZipReader* zip : {libzip.get(), inflate.get()}) {
        if (!zip) continue;
        for (uint64_t i = 0; i < zip->entryCount() && i < 64; ++i) {
            const std::optional<uint64_t> index = zip->locate(zip->name(i));
            if (!index || *index > i) __builtin_trap();  // a stored name finds itself or an earlier twin
            zip->extract(i, first);
        }
    }
    if (!libzip || !inflate || libzip->entryCount() != inflate->entryCount()) return;
    for (uint64_t i = 0; i < libzip->entryCount() && i < 64; ++i) {
        if (libzip->extract(i, first) && inflate->extract(i, second) && first != second) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 1) return 0;
    std::vector<uint8_t> resource(bytes + 1, bytes + size);
    if (bytes[0] & 1) resource = package::scrambleArchive(resource);

    // A reader of its own rather than the process-wide one, so that every
    // input starts closed.
    const std::vector<uint8_t> table =
        platform::writeResourceTable({{package::kPackageResourceType, package::kPackageResourceName, 0, resource}});
    package::BlobReader reader;
    reader.open(platform::parseResourceTable(table.data(), table.size()),
                bytes[0] & 2 ? package::openInflateReader : package::openLibzipReader);
    reader.read(L"config.xml");
    reader.read(L"dir\\FX.JS");
    readEveryEntry(resource);
    return 0;
}
