// How the stand-in host reaches a module file, as the platform's hosts do:
// the registration resource is read from the file without running any of
// its code, then the module is loaded and its entry point resolved. Linux:
// the resource section read with libelf, dlopen. Windows: the resource read
// with FindResourceExW from the file mapped as data, LoadLibraryW. After the
// load the host reads the registration again from the loaded module, so a
// file replaced in between is caught.
// Errors: every function throws hostsim::Error naming the file and cause.
// Ownership: a loaded module stays mapped until the process ends, even once
// unloaded (static state of a module may outlive its users).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hostsim {

// The bytes of the resource (`type`, `id`, `language`) in the module file,
// or nothing when the file carries no such resource.
std::optional<std::vector<uint8_t>> readModuleResource(const std::string& path, const char* type, uint32_t id,
                                                       uint32_t language);

struct LoadedModule {
    void* library = nullptr;     // the loader's handle, for unloadModule
    void* entry = nullptr;       // the exported function `entryName`
    const void* base = nullptr;  // the module instance handle: its base address
};

LoadedModule loadModule(const std::string& path, const std::string& entryName);

// The bytes of the resource as the loaded module `path` holds them in
// memory, or nothing when it has no such resource.
std::optional<std::vector<uint8_t>> readLoadedResource(const LoadedModule& module, const std::string& path,
                                                       const char* type, uint32_t id, uint32_t language);
void unloadModule(void* library);

}  // namespace hostsim
