// Helpers of the package tests: temporary folders, files, and resource tables
// made in memory.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/BlobReader.h"
#include "package/Pack.h"
#include "package/Scramble.h"
#include "platform/Resources.h"

namespace testing_support {

inline std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumivex-pkg-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path path;
};

// Makes `dir` the current folder for the scope.
class CurrentDir {
public:
    explicit CurrentDir(const std::filesystem::path& dir) : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDir() { std::filesystem::current_path(previous); }
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::filesystem::path previous;
};

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// A module's resources made in memory: the table bytes and their parse.
struct TestModule {
    explicit TestModule(const std::vector<platform::ResourceItem>& entries)
        : bytes(platform::writeResourceTable(entries)),
          table(platform::parseResourceTable(bytes.data(), bytes.size())) {}
    // The table points into `bytes`: moving keeps the buffer, copying would not.
    TestModule(TestModule&&) = default;
    TestModule(const TestModule&) = delete;

    std::vector<uint8_t> bytes;
    platform::ResourceTable table;
};

// A module whose "BLOB" resource holds `resource` as it stands.
inline TestModule moduleWithBlob(std::vector<uint8_t> resource) {
    return TestModule({{package::kPackageResourceType, package::kPackageResourceName, 0, std::move(resource)}});
}

// A module carrying the scrambled archive of `entries`.
inline TestModule moduleWithPackage(const package::ArchiveEntries& entries) {
    return moduleWithBlob(package::scrambleArchive(package::zipEntries(entries)));
}

}  // namespace testing_support
