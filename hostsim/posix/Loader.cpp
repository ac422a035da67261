#include "hostsim/Loader.h"

#include <dlfcn.h>

#include "hostsim/ElfSection.h"
#include "hostsim/Error.h"
#include "platform/Resources.h"

namespace hostsim {

std::optional<std::vector<uint8_t>> readModuleResource(const std::string& path, const char* type, uint32_t id,
                                                        uint32_t language) {
    std::vector<uint8_t> section = readElfSection(path, platform::kResourceSection);
    try {
        platform::ResourceTable table = platform::parseResourceTable(section.data(), section.size());
        const std::optional<platform::Resource> found = table.find(type, id, language);
        if (!found) return std::nullopt;
        return std::vector<uint8_t>(found->data, found->data + found->size);
    } catch (const platform::ResourceTableError& e) {
        throw Error(path + ": " + e.what());
    }
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
