#include "platform/FileNames.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> narrowFileName(const std::wstring& name) {
    const size_t length = std::wcstombs(nullptr, name.c_str(), 0);
    if (length == static_cast<size_t>(-1)) return std::nullopt;
    std::string narrow(length, '\0');
    std::wcstombs(narrow.data(), name.c_str(), length + 1);
    return narrow;
}

std::string localPath(std::string name) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    const size_t first = name.find_first_not_of('/');
    name.erase(0, first == std::string::npos ? name.size() : first);
    return name;
}

std::optional<std::string> fileSystemName(const std::wstring& name) {
    std::optional<std::string> narrow = narrowFileName(name);
    if (!narrow) return std::nullopt;
    return localPath(std::move(*narrow));
}

}  // namespace platform
