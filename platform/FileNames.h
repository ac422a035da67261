// File names of the loose-file mode. The engine names files the Windows way
// (wide strings, '\' separators, a leading '\' for the effect folder); these
// helpers turn such a name into a path for this system and open it.
//
// Errors: a name holding a unit that is no Unicode character gives nothing
// (or a null file); nothing throws except std::bad_alloc.
// Threads: pure functions; nothing depends on the process locale.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// The wide name as UTF-8, or nothing when it holds a lone surrogate or a
// value beyond U+10FFFF. Package entries and config keys are looked up so.
std::optional<std::string> narrowFileName(const std::wstring& name);

// A Windows-style name as a path here: every '\' becomes '/', and a name
// starting with separators is read relative to the current folder, so
// "\blur.frag" is "blur.frag" and "\shaders\blur.frag" is "shaders/blur.frag".
std::string localPath(std::string name);
std::wstring localPath(std::wstring name);

// Opens the file `name` stands for (localPath rules) for binary reading:
// through its UTF-8 path here, through the wide path on Windows. Null when
// it cannot be opened; the caller closes it.
std::FILE* openForReading(const std::wstring& name);

}  // namespace platform
