// The effect package: a scrambled zip archive carried in the module as the
// resource "BLOB" of type 10. open() finds it, descrambles a private copy,
// opens the copy as an archive and points the file-reader hooks
// (package/FileReaders.h) at it; read() serves entries by name.
//
// Errors: none reported. A missing, empty or damaged resource leaves the
// reader closed, the hooks unset and the loose-file readers in force; a
// missing entry reads as an empty array.
// Ownership: the process-wide instance owns the descrambled copy and the zip
// reader; both live until process exit.
// Threads: no lock of its own; callers run under the module's entry lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/ZipReader.h"
#include "platform/Resources.h"
#include "ustl/singleton.h"

namespace package {

// The package resource's type (RT_RCDATA) and name.
constexpr uint32_t kPackageResourceType = 10;
constexpr const char* kPackageResourceName = "BLOB";

class BlobReader : public ustl::static_singleton<BlobReader> {
public:
    BlobReader() = default;
    virtual ~BlobReader() = default;

    // Opens the package resource of `module` (through platform::moduleResources).
    void open(platform::ModuleHandle module);
    // Opens the package resource found in `resources` with the zip reader
    // that `opener` makes.
    void open(const platform::ResourceTable& resources, ZipOpener opener = kModuleZipOpener);

    bool isOpen() const { return zip != nullptr; }

    // The whole content of the entry named by the final component of `name`
    // (compared without regard to ASCII case), or an empty array; also for a
    // name no effect may read (platform::isEffectFileName).
    std::vector<uint8_t> read(const std::wstring& name) const;

private:
    std::vector<uint8_t> data;  // descrambled copy; the zip reader reads from it
    std::unique_ptr<ZipReader> zip;
};

}  // namespace package
