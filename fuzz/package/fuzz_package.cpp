// Fuzzes the package path of the module: a resource of arbitrary bytes is
// descrambled and opened as the archive, then entries are read. The input's
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

// Every entry by index and by its stored name, as the module's reads would.
void readEveryEntry(const std::vector<uint8_t>& resource) {
    const std::vector<uint8_t> data = package::descrambleArchive(resource.data(), resource.size());
    const std::unique_ptr<package::ZipReader> zip = package::openLibzipReader(data.data(), resource.size());
    if (!zip) return;
    std::vector<uint8_t> content;
    const uint64_t count = zip->entryCount();
    for (uint64_t i = 0; i < count && i < 64; ++i) {
        const std::optional<uint64_t> index = zip->locate(zip->name(i));
        if (!index || *index > i) __builtin_trap();  // a stored name finds itself or an earlier twin
        zip->extract(i, content);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 1) return 0;
    std::vector<uint8_t> resource(bytes + 1, bytes + size);
    if (bytes[0] & 1) resource = package::scrambleArchive(resource);

    // A reader of its own rather than the process-wide one, so that every
    // input starts closed.
    const std::vector<uint8_t> table = platform::writeResourceTable(
        {{package::kPackageResourceType, package::kPackageResourceName, 0, resource}});
    package::BlobReader reader;
    reader.open(platform::parseResourceTable(table.data(), table.size()));
    reader.read(L"config.xml");
    reader.read(L"dir\\FX.JS");
    readEveryEntry(resource);
    return 0;
}
