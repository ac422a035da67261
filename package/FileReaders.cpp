#include "package/FileReaders.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <optional>

#include "package/BlobReader.h"
#include "platform/FileNames.h"

namespace package {

TextFileHook textFileHook = nullptr;
BinaryFileHook binaryFileHook = nullptr;

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads the regular file `name` whole. Nothing when it cannot be opened or is
// not a regular file (a folder would otherwise report a bogus length).
std::optional<std::vector<uint8_t>> readLooseFile(const std::wstring& name) {
    File file(platform::openForReading(name));
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;

    std::vector<uint8_t> bytes(size_t(info.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    return bytes;
}

// The text up to the first NUL byte.
std::string textBefore(const uint8_t* bytes, size_t size, bool crlfToLf) {
    std::string text;
    text.reserve(size);
    for (size_t i = 0; i < size && bytes[i] != 0; ++i) {
        if (crlfToLf && bytes[i] == '\r' && i + 1 < size && bytes[i + 1] == '\n') continue;
        text.push_back(char(bytes[i]));
    }
    return text;
}

}  // namespace

std::string archiveTextRead(const std::wstring& name) {
    const std::vector<uint8_t> bytes = BlobReader::instance().read(name);
    return textBefore(bytes.data(), bytes.size(), false);
}

std::vector<uint8_t> archiveBinaryRead(const std::wstring& name) { return BlobReader::instance().read(name); }

std::string loadTextFile(const std::wstring& name) {
    if (textFileHook) return textFileHook(name);
    const std::optional<std::vector<uint8_t>> bytes = readLooseFile(name);
    if (!bytes) return kMissingTextFile;
    // The engine reads loose text files in text mode: line ends as LF.
    return textBefore(bytes->data(), bytes->size(), true);
}

std::vector<uint8_t> loadBinaryFile(const std::wstring& name) {
    if (binaryFileHook) return binaryFileHook(name);
    std::optional<std::vector<uint8_t>> bytes = readLooseFile(name);
    return bytes ? std::move(*bytes) : std::vector<uint8_t>();
}

}  // namespace package
