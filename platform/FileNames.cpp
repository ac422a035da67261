#include "platform/FileNames.h"

#include "platform/Utf8.h"

namespace platform {
namespace {

template <class Text>
Text toLocalPath(Text name) {
    for (auto& c : name) {
        if (c == '\\') c = '/';
    }
    const size_t first = name.find_first_not_of('/');
    name.erase(0, first == Text::npos ? name.size() : first);
    return name;
}

}  // namespace

std::optional<std::string> narrowFileName(const std::wstring& name) { return narrowExactly(name); }

std::string localPath(std::string name) { return toLocalPath(std::move(name)); }
std::wstring localPath(std::wstring name) { return toLocalPath(std::move(name)); }

std::FILE* openForReading(const std::wstring& name) {
#ifdef _WIN32
    return _wfopen(localPath(name).c_str(), L"rb");
#else
    const std::optional<std::string> path = narrowFileName(name);
    return path ? std::fopen(localPath(*path).c_str(), "rb") : nullptr;
#endif
}

}  // namespace platform
