// File names of the loose-file mode. The engine names files the Windows way
// (wide strings, '\' separators, a leading '\' for the effect folder); these
// helpers turn such a name into a path for this system and open it.
//
// Confinement: an effect reads only its own files. A name holding a NUL, a
// ':' (drive letters, alternate streams, devices) or a ".." component is no
// effect file name; the package reader refuses the same names, so a name
// reads the same file loose and packaged. A loose file must resolve, links
// followed, inside the current folder (the effect folder) and be a regular
// file. Letter case is ignored where the exact name is missing, as the
// package and Windows ignore it.
//
// Errors: a refused or missing name gives nothing (or a null file), never a
// message; nothing throws except std::bad_alloc.
// Threads: pure functions apart from reading the file system; nothing
// depends on the process locale.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// The wide name as UTF-8, or nothing when it holds a lone surrogate or a
// value beyond U+10FFFF. Package entries and config keys are looked up so.
std::optional<std::string> narrowFileName(const std::wstring& name);

// False for a name no effect may read: one holding a NUL or a ':', or with
// a ".." component between its '\' or '/' separators.
bool isEffectFileName(const std::wstring& name);

// A Windows-style name as a path here: every '\' becomes '/', and a name
// starting with separators is read relative to the current folder, so
// "\blur.frag" is "blur.frag" and "\shaders\blur.frag" is "shaders/blur.frag".
std::string localPath(std::string name);
std::wstring localPath(std::wstring name);

// Opens the file `name` stands for (localPath rules) for binary reading:
// through its UTF-8 path here, through the wide path on Windows. Null when
// it cannot be opened or breaks the confinement rules above (never waits on
// a pipe or device); the caller closes it.
std::FILE* openForReading(const std::wstring& name);

}  // namespace platform
