// The module's two file readers. Every file the engine reads (config.xml,
// fx.js, shaders, images) goes through loadTextFile or loadBinaryFile. While
// the effect package is open (BlobReader) the readers serve its entries
// through the two hooks below; otherwise they read loose files from the
// current folder, names mapped by platform/FileNames.h.
//
// Errors: nothing is reported. A missing archive entry gives an empty result;
// a loose text file that cannot be opened gives "popa", a loose binary file
// that cannot be opened an empty array.
// Threads: the hooks are process-wide and unlocked; callers run under the
// module's entry lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace package {

using TextFileHook = std::string (*)(const std::wstring& name);
using BinaryFileHook = std::vector<uint8_t> (*)(const std::wstring& name);

// Null until an archive opens; then never reset.
extern TextFileHook textFileHook;
extern BinaryFileHook binaryFileHook;

// What a text read of a missing loose file gives.
constexpr const char* kMissingTextFile = "popa";

// The hooks' values while a package is open: BlobReader::read, the text form
// cut at the first NUL byte.
std::string archiveTextRead(const std::wstring& name);
std::vector<uint8_t> archiveBinaryRead(const std::wstring& name);

// A text file: CR LF read as LF, cut at the first NUL byte.
std::string loadTextFile(const std::wstring& name);
// A binary file, whole.
std::vector<uint8_t> loadBinaryFile(const std::wstring& name);

}  // namespace package
