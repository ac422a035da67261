#include <zip.h>

#include "package/ZipReader.h"

namespace package {
namespace {

// Entries are read in pieces so that a size claimed by a damaged directory
// never decides how much memory is taken up front.
constexpr size_t kReadChunk = 64 * 1024;

class LibzipReader final : public ZipReader {
public:
    explicit LibzipReader(zip_t* archive) : archive(archive) {}
    ~LibzipReader() override { zip_discard(archive); }
    LibzipReader(const LibzipReader&) = delete;
    LibzipReader& operator=(const LibzipReader&) = delete;

    std::optional<uint64_t> locate(const std::string& name) const override {
        const zip_int64_t index = zip_name_locate(archive, name.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
        if (index < 0) return std::nullopt;
        return uint64_t(index);
    }

    std::string name(uint64_t index) const override {
        const char* text = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
        return text ? text : "";
    }

    uint64_t entryCount() const override {
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        return count < 0 ? 0 : uint64_t(count);
    }

    bool extract(uint64_t index, std::vector<uint8_t>& out) const override {
        out.clear();
        zip_file_t* file = zip_fopen_index(archive, index, 0);
        if (!file) return false;
        bool ok = true;
        for (;;) {
            const size_t at = out.size();
            out.resize(at + kReadChunk);
            const zip_int64_t got = zip_fread(file, out.data() + at, kReadChunk);
            if (got <= 0) {
                out.resize(at);
                ok = got == 0;
                break;
            }
            out.resize(at + size_t(got));
        }
        if (zip_fclose(file) != 0) ok = false;
        if (!ok) out.clear();
        return ok;
    }

private:
    zip_t* archive;
};

}  // namespace

std::unique_ptr<ZipReader> openLibzipReader(const uint8_t* data, size_t size) {
    if (!data || size == 0) return nullptr;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return nullptr;
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);  // not taken over by a failed open
        return nullptr;
    }
    return std::make_unique<LibzipReader>(archive);
}

}  // namespace package
