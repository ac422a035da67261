#include "package/Pack.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "Scramble.h"
#include "package/ZipReader.h"

namespace fs = std::filesystem;

namespace package {
namespace {

// Entry times are fixed so that the same files always give the same archive.
constexpr time_t kEntryTime = 946684800;  // 2000-01-01 00:00 UTC

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return text;
}

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

bool isInside(const fs::path& path, const fs::path& root) {
    const auto [end, unused] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return end == root.end() && path != root;
}

// The package's files by lower-case entry name: entry name and path.
using FileList = std::map<std::string, std::pair<std::string, fs::path>>;

FileList listPackage(const std::string& dir) {
    std::error_code error;
    if (!fs::is_directory(dir, error)) throw PackageError(dir + " is not a folder");
    // Links are followed only to files inside the folder, as the engine reads
    // a loose effect folder: a package never carries a file from elsewhere.
    const fs::path root = fs::canonical(dir, error);
    if (error) throw PackageError("cannot read " + dir + ": " + error.message());
    FileList files;
    fs::recursive_directory_iterator it(dir, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        const fs::file_status status = it->status(error);  // of what a link points at
        if (error) throw PackageError("cannot read " + path.string() + ": " + error.message());
        if (fs::is_directory(status)) {
            if (isHidden(path)) it.disable_recursion_pending();
            continue;
        }
        if (isHidden(path)) continue;
        if (!fs::is_regular_file(status))
            throw PackageError(path.string() + " is not a regular file; a package holds only files");
        if (it->is_symlink(error) && !isInside(fs::canonical(path, error), root))
            throw PackageError(path.string() + " links to a file outside " + dir +
                               "; a package holds only its own files");
        const std::string name = path.filename().string();
        const auto [existing, added] = files.emplace(lowerAscii(name), std::make_pair(name, path));
        if (!added)
            throw PackageError(path.string() + " and " + existing->second.second.string() +
                               " have the same name in the package (entries are flat and ignore case)");
    }
    if (error) throw PackageError("cannot list " + dir + ": " + error.message());
    for (const char* required : {"config.xml", "fx.js"}) {
        if (!files.count(required)) throw PackageError(dir + " has no " + required);
    }
    return files;
}

// Frees a libzip archive that was not closed (an error path).
struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct SourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

[[noreturn]] void zipFailure(const std::string& what, zip_error_t* error) {
    const std::string message = what + ": " + zip_error_strerror(error);
    throw PackageError(message);
}

std::vector<uint8_t> readSource(zip_source_t* source) {
    std::vector<uint8_t> image;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(source, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || zip_source_open(source) != 0)
        zipFailure("cannot read the archive built in memory", zip_source_error(source));
    image.resize(stat.size);
    const zip_int64_t got = zip_source_read(source, image.data(), image.size());
    zip_source_close(source);
    if (got != zip_int64_t(image.size()))
        zipFailure("cannot read the archive built in memory", zip_source_error(source));
    return image;
}

}  // namespace

std::vector<uint8_t> zipEntries(const ArchiveEntries& entries, bool deflate) {
    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceFree> source(zip_source_buffer_create(nullptr, 0, 0, &error));
    if (!source) zipFailure("cannot make an archive in memory", &error);
    std::unique_ptr<zip_t, ZipDiscard> archive(zip_open_from_source(source.get(), ZIP_TRUNCATE, &error));
    if (!archive) zipFailure("cannot make an archive in memory", &error);
    zip_source_keep(source.get());  // the archive holds a reference, so does `source`

    for (const auto& [name, bytes] : entries) {
        zip_source_t* data = zip_source_buffer(archive.get(), bytes.data(), bytes.size(), 0);
        const zip_int64_t index = data ? zip_file_add(archive.get(), name.c_str(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (data) zip_source_free(data);
            throw PackageError("cannot add " + name + " to the archive: " + zip_strerror(archive.get()));
        }
        zip_file_set_mtime(archive.get(), zip_uint64_t(index), kEntryTime, 0);
        zip_set_file_compression(archive.get(), zip_uint64_t(index), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_close(archive.get()) != 0)
        throw PackageError(std::string("cannot write the archive: ") + zip_strerror(archive.get()));
    static_cast<void>(archive.release());  // closed and freed by zip_close
    return readSource(source.get());
}

std::vector<uint8_t> zipDirectory(const std::string& dir) {
    ArchiveEntries entries;
    for (const auto& [key, file] : listPackage(dir))
        entries.emplace_back(file.first, readFileBytes(file.second.string()));
    return zipEntries(entries);
}

std::vector<uint8_t> packDirectory(const std::string& dir) { return scrambleArchive(zipDirectory(dir)); }

void unpackArchive(const std::vector<uint8_t>& scrambled, const std::string& dir, const std::string& source) {
    const std::vector<uint8_t> image = descrambleArchive(scrambled.data(), scrambled.size());
    const std::unique_ptr<ZipReader> zip = openLibzipReader(image.data(), scrambled.size());
    if (!zip) throw PackageError(source + " is not an effect package (no scrambled zip archive)");

    // Everything is checked and extracted before the first file is written.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> entries;
    std::map<std::string, std::string> seen;
    for (uint64_t i = 0; i < zip->entryCount(); ++i) {
        const std::string name = zip->name(i);
        if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\:") != std::string::npos ||
            name.find('\0') != std::string::npos)
            throw PackageError(source + ": entry \"" + name + "\" is not a plain file name");
        if (!seen.emplace(lowerAscii(name), name).second)
            throw PackageError(source + ": entry \"" + name + "\" appears twice");
        std::vector<uint8_t> bytes;
        if (!zip->extract(i, bytes)) throw PackageError(source + ": entry \"" + name + "\" is damaged");
        entries.emplace_back(name, std::move(bytes));
    }
    for (const auto& entry : entries) {
        const fs::path path = fs::path(dir) / entry.first;
        if (fs::exists(fs::symlink_status(path))) throw PackageError(path.string() + " already exists");
    }

    std::error_code error;
    fs::create_directories(dir, error);
    if (error) throw PackageError("cannot create " + dir + ": " + error.message());
    for (const auto& [name, bytes] : entries) {
        const std::string path = (fs::path(dir) / name).string();
        File file(std::fopen(path.c_str(), "wbx"));
        if (!file) throw PackageError("cannot create " + path + ": " + std::strerror(errno));
        if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() || std::fflush(file.get()) != 0)
            throw PackageError("cannot write " + path + ": " + std::strerror(errno));
    }
}

void packToFile(const std::string& dir, const std::string& file) { writeFileBytes(file, packDirectory(dir)); }

void unpackFile(const std::string& file, const std::string& dir) { unpackArchive(readFileBytes(file), dir, file); }

std::vector<uint8_t> readFileBytes(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) throw PackageError("cannot open " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(file.get())) throw PackageError("cannot read " + path + ": " + std::strerror(errno));
    return bytes;
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) throw PackageError("cannot create " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    if (!written || std::fclose(file.release()) != 0)
        throw PackageError("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace package
