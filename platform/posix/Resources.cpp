#include "platform/Resources.h"

#include <dlfcn.h>

// Bounds of this module's resource section, provided by the linker when the
// module contains the section. Weak so that a module without a table links
// (both are then null); hidden so that another module's table is never found
// through the dynamic symbol table.
// NOLINTBEGIN(bugprone-reserved-identifier): the linker's names for the bounds
extern "C" {
extern const unsigned char __start_lumivex_rsrc[] __attribute__((weak, visibility("hidden")));
extern const unsigned char __stop_lumivex_rsrc[] __attribute__((weak, visibility("hidden")));
}
// NOLINTEND(bugprone-reserved-identifier)

namespace platform {

ModuleHandle moduleOf(const void* address) {
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

ModuleHandle currentModule() { return moduleOf(reinterpret_cast<const void*>(&currentModule)); }

const ResourceTable& moduleResources(ModuleHandle module) {
    static const ResourceTable empty;
    static const ResourceTable own = []() -> ResourceTable {
        const unsigned char* start = __start_lumivex_rsrc;
        const unsigned char* stop = __stop_lumivex_rsrc;
        if (!start || !stop || stop <= start) return {};
        try {
            return parseResourceTable(start, size_t(stop - start));
        } catch (const ResourceTableError&) {
            return {};  // a damaged table reads as no resources, like a module without any
        }
    }();
    return module && module == currentModule() ? own : empty;
}

std::optional<Resource> findResource(ModuleHandle module, const ResourceKey& type, const ResourceKey& name,
                                     uint32_t language) {
    return moduleResources(module).find(type, name, language);
}

}  // namespace platform
