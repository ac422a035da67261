#include "hostsim/Loader.h"

#include <windows.h>

#include <memory>

#include "hostsim/Error.h"
#include "platform/Resources.h"

namespace hostsim {
namespace {

struct LibraryCloser {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryCloser>;

std::wstring widen(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string lastError() {
    const DWORD code = GetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

// The bytes of one resource of `module` (a loaded module or a file mapped
// as data), found as the module finds its own, or nothing when it has none.
std::optional<std::vector<uint8_t>> copyResource(HMODULE module, const char* type, uint32_t id, uint32_t language) {
    const std::optional<platform::Resource> found = platform::findResource(module, type, id, language);
    if (!found) return std::nullopt;
    return std::vector<uint8_t>(found->data, found->data + found->size);
}

}  // namespace

std::optional<std::vector<uint8_t>> readModuleResource(const std::string& path, const char* type, uint32_t id,
                                                       uint32_t language) {
    // Mapped as data: none of the module's code runs, nothing it imports loads.
    const Library file(
        LoadLibraryExW(widen(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!file) throw Error("cannot read the resources of " + path + ": " + lastError());
    return copyResource(file.get(), type, id, language);
}

std::optional<std::vector<uint8_t>> readLoadedResource(const LoadedModule& module, const std::string&, const char* type,
                                                       uint32_t id, uint32_t language) {
    return copyResource(static_cast<HMODULE>(module.library), type, id, language);
}

LoadedModule loadModule(const std::string& path, const std::string& entryName) {
    const std::wstring widePath = widen(path);
    Library library(LoadLibraryW(widePath.c_str()));
    if (!library) throw Error("cannot load " + path + ": " + lastError());
    FARPROC entry = GetProcAddress(library.get(), entryName.c_str());
    if (!entry) throw Error(path + " does not export its entry point " + entryName);
    // Pinned: the module stays mapped after FreeLibrary, as the module's
    // static state may outlive its users.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, widePath.c_str(), &pinned);
    LoadedModule loaded;
    loaded.base = library.get();
    loaded.entry = reinterpret_cast<void*>(entry);
    loaded.library = library.release();
    return loaded;
}

void unloadModule(void* library) {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace hostsim
