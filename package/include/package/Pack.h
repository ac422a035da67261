// Making and taking apart effect packages: a folder of package files becomes
// the scrambled archive that a module carries (and that `lumivex pack`
// writes), and such an archive becomes a folder again.
//
// Package layout: the archive is flat, because the module looks entries up
// by the final component of a name. Packing walks the folder and its
// subfolders and stores every regular file under its own name; hidden
// entries (names starting with '.') are skipped. Two files whose names differ
// only in ASCII case, a file that is neither regular nor a folder, a link to
// a file outside the folder, and a package without config.xml or fx.js are
// errors.
//
// Errors: every function throws PackageError with a message naming the file
// or entry at fault. Unpacking checks the whole archive before it writes
// anything and never overwrites an existing file.
// Threads: no shared state.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace package {

class PackageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Named file contents, in archive order.
using ArchiveEntries = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// The zip image of `entries`, names stored as given, contents deflated
// (or stored as they are when `deflate` is false).
std::vector<uint8_t> zipEntries(const ArchiveEntries& entries, bool deflate = true);
// The zip image of the package folder `dir` (not scrambled).
std::vector<uint8_t> zipDirectory(const std::string& dir);
// The scrambled archive of `dir`: the bytes of the module's package resource.
std::vector<uint8_t> packDirectory(const std::string& dir);
// Writes the files of a scrambled archive into `dir` (created if needed).
// `source` names the archive in messages.
void unpackArchive(const std::vector<uint8_t>& scrambled, const std::string& dir, const std::string& source);

// `lumivex pack DIR -o FILE` and `lumivex unpack FILE -o DIR`.
void packToFile(const std::string& dir, const std::string& file);
void unpackFile(const std::string& file, const std::string& dir);

// Whole-file helpers with messages naming the file.
std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace package
