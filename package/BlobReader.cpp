#include "package/BlobReader.h"

#include "package/FileReaders.h"
#include "Scramble.h"
#include "platform/FileNames.h"
#include "platform/Path.h"

namespace package {
namespace {

// Longest entry name the zip format can store.
constexpr size_t kMaxEntryName = 65535;

}  // namespace

void BlobReader::open(platform::ModuleHandle module) { open(platform::moduleResources(module)); }

void BlobReader::open(const platform::ResourceTable& resources, ZipOpener opener) {
    // The zip reader reads straight from `data`: an open archive stays as it
    // is, since replacing `data` under it would leave it reading freed memory.
    if (zip) return;
    const std::optional<platform::Resource> resource = resources.find(kPackageResourceType, kPackageResourceName);
    if (!resource || resource->size == 0) return;

    data = descrambleArchive(resource->data, resource->size);
    zip = opener(data.data(), resource->size);
    if (!zip) {
        data.clear();
        data.shrink_to_fit();
        return;
    }
    textFileHook = archiveTextRead;
    binaryFileHook = archiveBinaryRead;
}

std::vector<uint8_t> BlobReader::read(const std::wstring& name) const {
    std::vector<uint8_t> content;
    // The names a loose effect may not read are refused here too, so that
    // an effect reads the same files loose and packaged.
    if (!zip || !platform::isEffectFileName(name)) return content;
    const std::optional<std::string> narrow = platform::narrowFileName(name);
    if (!narrow) return content;
    const std::string entry = platform::pathFindFileName(narrow->c_str());
    if (entry.size() > kMaxEntryName) return content;
    const std::optional<uint64_t> index = zip->locate(entry);
    if (index) zip->extract(*index, content);
    return content;
}

}  // namespace package
