// Feeds arbitrary bytes, as an archive image, to the zip reader over zlib's
// raw inflate (the reader of modules built without libzip). Every entry is
// looked up by its stored name and by a case-changed copy of it, and
// extracted; an input tail is also looked up as a name.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/ZipReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A private copy, so that reads past the caller's bytes show up exactly.
    const std::vector<uint8_t> image(data, data + size);
    const std::unique_ptr<package::ZipReader> zip = package::openInflateReader(image.data(), image.size());
    if (!zip) return 0;
    std::vector<uint8_t> bytes;
    for (uint64_t i = 0; i < zip->entryCount() && i < 256; ++i) {
        std::string name = zip->name(i);
        const std::optional<uint64_t> found = zip->locate(name);
        if (!found || *found > i) __builtin_trap();  // a stored name finds itself or an earlier twin
        for (char& c : name) c = char(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
        if (zip->locate(name) != found) __builtin_trap();  // lookups ignore ASCII case
        zip->extract(i, bytes);
    }
    const size_t tail = size < 16 ? size : 16;
    zip->locate(std::string(reinterpret_cast<const char*>(data + size - tail), tail));
    zip->extract(zip->entryCount(), bytes);  // one past the end: refused
    return 0;
}
