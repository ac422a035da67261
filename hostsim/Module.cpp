#include "hostsim/Module.h"

#include <dlfcn.h>

#include "hostsim/ElfSection.h"
#include "hostsim/Error.h"
#include "platform/Resources.h"

namespace hostsim {
namespace {
constexpr uint32_t kRegistrationId = 16000;
constexpr uint32_t kRegistrationLanguage = 1033;
}  // namespace

Registration readModuleRegistration(const std::string& path) {
    std::vector<uint8_t> section = readElfSection(path, platform::kResourceSection);
    std::optional<platform::Resource> pipl;
    try {
        platform::ResourceTable table = platform::parseResourceTable(section.data(), section.size());
        pipl = table.find("PIPL", kRegistrationId, kRegistrationLanguage);
    } catch (const platform::ResourceTableError& e) {
        throw Error(path + ": " + e.what());
    }
    if (!pipl) throw Error(path + " has no registration resource (PIPL 16000, language 1033)");

    Registration reg;
    try {
        reg = parseRegistration(std::vector<uint8_t>(pipl->data, pipl->data + pipl->size));
    } catch (const Error& e) {
        throw Error(path + ": " + e.what());
    }
    if (!reg.find(fourCC("kind")))
        throw Error(path + ": the registration has no 'kind' property");
    if (reg.kind != kEffectKind)
        throw Error(path + " is not an effect: its registration kind is '" + fourCCText(reg.kind) + "', not 'eFKT'");
    if (reg.entryPoint.empty())
        throw Error(path + ": the registration names no entry point (property '8664')");
    return reg;
}

Module::Module(const std::string& path) : file(path), reg(readModuleRegistration(path)) { load(); }

Module::Module(const std::string& path, Registration registration) : file(path), reg(std::move(registration)) {
    if (reg.entryPoint.empty()) throw Error(path + ": the registration names no entry point (property '8664')");
    load();
}

void Module::load() {
    const std::string& path = file;
    std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    library = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library) {
        const char* why = dlerror();
        throw Error("cannot load " + path + ": " + (why ? why : "unknown loader error"));
    }
    dlerror();
    void* symbol = dlsym(library, reg.entryPoint.c_str());
    if (!symbol) {
        dlclose(library);
        throw Error(path + " does not export its entry point " + reg.entryPoint);
    }
    entry = reinterpret_cast<PF_FilterProc>(symbol);
    Dl_info info{};
    base = dladdr(symbol, &info) ? info.dli_fbase : nullptr;
}

Module::~Module() {
    if (library) dlclose(library);
}

}  // namespace hostsim
