#include "hostsim/Loader.h"

#include <dlfcn.h>
#include <link.h>

#include "../ElfSection.h"
#include "hostsim/Error.h"
#include "platform/Resources.h"

namespace hostsim {

namespace {

std::optional<std::vector<uint8_t>> findInTable(const uint8_t* table, size_t size, const std::string& path,
                                                const char* type, uint32_t id, uint32_t language) {
    try {
        const platform::ResourceTable parsed = platform::parseResourceTable(table, size);
        const std::optional<platform::Resource> found = parsed.find(type, id, language);
        if (!found) return std::nullopt;
        return std::vector<uint8_t>(found->data, found->data + found->size);
    } catch (const platform::ResourceTableError& e) {
        throw Error(path + ": " + e.what());
    }
}

// Whether [address, address + size) of the module loaded at `base` lies in
// one of its loaded segments, as the program headers in memory say.
bool mapped(const void* base, uint64_t address, uint64_t size) {
    struct Query {
        uintptr_t base;
        uint64_t address, size;
        bool inside;
    } query{reinterpret_cast<uintptr_t>(base), address, size, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* q = static_cast<Query*>(data);
            if (info->dlpi_addr != q->base) return 0;
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                // Written so that no sum can wrap, whatever the file says.
                if (segment.p_type == PT_LOAD && q->address >= segment.p_vaddr && q->size <= segment.p_memsz &&
                    q->address - segment.p_vaddr <= segment.p_memsz - q->size)
                    q->inside = true;
            }
            return 1;
        },
        &query);
    return query.inside;
}

}  // namespace

std::optional<std::vector<uint8_t>> readModuleResource(const std::string& path, const char* type, uint32_t id,
                                                       uint32_t language) {
    const std::vector<uint8_t> section = readElfSection(path, platform::kResourceSection);
    return findInTable(section.data(), section.size(), path, type, id, language);
}

std::optional<std::vector<uint8_t>> readLoadedResource(const LoadedModule& module, const std::string& path,
                                                       const char* type, uint32_t id, uint32_t language) {
    // The section is allocated: the loader mapped it at the module's base
    // plus its address, where the module itself reads it.
    uint64_t address = 0;
    const std::vector<uint8_t> section = readElfSection(path, platform::kResourceSection, &address);
    // The address comes from the file, which may have changed since the load:
    // only a range inside the loaded image is read.
    if (!module.base || address == 0 || !mapped(module.base, address, section.size()))
        throw Error(path + ": its resource section is not mapped in the loaded module");
    const auto* mapped = static_cast<const uint8_t*>(module.base) + address;
    return findInTable(mapped, section.size(), path, type, id, language);
}

LoadedModule loadModule(const std::string& path, const std::string& entryName) {
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    LoadedModule loaded;
    loaded.library = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!loaded.library) {
        const char* why = dlerror();
        throw Error("cannot load " + path + ": " + (why ? why : "unknown loader error"));
    }
    dlerror();
    loaded.entry = dlsym(loaded.library, entryName.c_str());
    if (!loaded.entry) {
        dlclose(loaded.library);
        throw Error(path + " does not export its entry point " + entryName);
    }
    Dl_info info{};
    loaded.base = dladdr(loaded.entry, &info) ? info.dli_fbase : nullptr;
    return loaded;
}

void unloadModule(void* library) {
    if (library) dlclose(library);
}

}  // namespace hostsim
