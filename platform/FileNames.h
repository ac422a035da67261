// File names of the loose-file mode. The engine names files the Windows way
// (wide strings, '\' separators, a leading '\' for the effect folder); these
// helpers turn such a name into a path for this system.
//
// Errors: a name that cannot be represented in the current locale gives
// nothing; nothing throws except std::bad_alloc.
// Threads: narrowing depends on the process locale (LC_CTYPE), as wcstombs does.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The wide name in the multibyte encoding of the current locale (wcstombs),
// or nothing when a character has no representation there.
std::optional<std::string> narrowFileName(const std::wstring& name);

// A Windows-style name as a path here: every '\' becomes '/', and a name
// starting with separators is read relative to the current folder, so
// "\blur.frag" is "blur.frag" and "\shaders\blur.frag" is "shaders/blur.frag".
std::string localPath(std::string name);

// narrowFileName followed by localPath.
std::optional<std::string> fileSystemName(const std::wstring& name);

}  // namespace platform
