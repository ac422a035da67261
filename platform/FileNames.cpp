#include "platform/FileNames.h"

#include "platform/Utf8.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <memory>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#endif

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

#ifdef _WIN32

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The final path of an open handle, links and reparse points resolved.
std::wstring finalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
    }
    path.resize(length < path.size() ? length : 0);
    return path;
}

Handle openHandle(const std::wstring& path, DWORD flags) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    return Handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// `path` lies below `folder` (both final paths; the file system ignores case).
bool isBelow(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size() + 1) return false;
    const std::wstring head = path.substr(0, folder.size());
    return CompareStringOrdinal(head.c_str(), int(head.size()), folder.c_str(), int(folder.size()), TRUE) ==
               CSTR_EQUAL &&
           (path[folder.size()] == L'\\' || folder.back() == L'\\');
}

#else

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

bool equalIgnoringAsciiCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = *a >= 'A' && *a <= 'Z' ? char(*a - 'A' + 'a') : *a;
        const char y = *b >= 'A' && *b <= 'Z' ? char(*b - 'A' + 'a') : *b;
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

// The entry of `folder` named `component`: itself when it exists, else the
// first (in byte order) whose name equals it without regard to ASCII case.
std::optional<std::string> findEntry(const std::string& folder, const std::string& component) {
    struct stat info {};
    const std::string exact = folder + "/" + component;
    if (lstat(exact.c_str(), &info) == 0) return exact;
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* entry = readdir(dir.get())) {
        if (!equalIgnoringAsciiCase(entry->d_name, component.c_str())) continue;
        if (!best || entry->d_name < *best) best = entry->d_name;
    }
    if (!best) return std::nullopt;
    return folder + "/" + *best;
}

// The real path of `path`, links resolved; nothing when it does not exist.
std::optional<std::string> realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}

// The file `relative` names below the current folder, its components matched
// without regard to case where the exact one is missing, as a real path
// below the current folder; nothing when it is missing or leads outside.
std::optional<std::string> resolveInsideCurrentFolder(const std::string& relative) {
    const std::optional<std::string> root = realPath(".");
    if (!root || relative.empty()) return std::nullopt;
    std::string path = ".";
    for (size_t start = 0; start <= relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string component = relative.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        std::optional<std::string> next = findEntry(path, component);
        if (!next) return std::nullopt;
        path = std::move(*next);
    }
    std::optional<std::string> resolved = realPath(path);
    const std::string prefix = *root == "/" ? "/" : *root + "/";
    if (!resolved || resolved->size() <= prefix.size() || resolved->compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    return resolved;
}

#endif

}  // namespace

std::optional<std::string> narrowFileName(const std::wstring& name) { return narrowExactly(name); }

bool isEffectFileName(const std::wstring& name) {
    if (name.find_first_of(std::wstring(L"\0:", 2)) != std::wstring::npos) return false;
    for (size_t start = 0; start <= name.size();) {
        size_t end = name.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = name.size();
        if (end - start == 2 && name[start] == L'.' && name[start + 1] == L'.') return false;
        start = end + 1;
    }
    return true;
}

std::string localPath(std::string name) { return toLocalPath(std::move(name)); }
std::wstring localPath(std::wstring name) { return toLocalPath(std::move(name)); }

std::FILE* openForReading(const std::wstring& name) {
    if (!isEffectFileName(name)) return nullptr;
#ifdef _WIN32
    // The folder and the file are compared by their final paths, so neither
    // a link nor a junction leads out; only disk files are read (no
    // devices, pipes or folders).
    const std::wstring relative = localPath(name);
    if (relative.empty()) return nullptr;
    Handle folder = openHandle(L".", FILE_FLAG_BACKUP_SEMANTICS);
    Handle file = openHandle(relative, FILE_ATTRIBUTE_NORMAL);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder || !file || GetFileType(file.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !isBelow(finalPath(file.get()), finalPath(folder.get())))
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_BINARY);
    if (fd == -1) return nullptr;
    file.release();  // the descriptor owns the handle now
    std::FILE* stream = _fdopen(fd, "rb");
    if (!stream) _close(fd);
    return stream;
#else
    const std::optional<std::string> narrow = narrowFileName(name);
    const std::optional<std::string> path = narrow ? resolveInsideCurrentFolder(localPath(*narrow)) : std::nullopt;
    if (!path) return nullptr;
    // Non-blocking, so that a pipe or device never holds the open; only a
    // regular file is handed on.
    const int fd = open(path->c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd == -1) return nullptr;
    struct stat info {};
    std::FILE* stream = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(fd, "rb") : nullptr;
    if (!stream) close(fd);
    return stream;
#endif
}

}  // namespace platform
