#include "hostsim/Module.h"

#include "hostsim/Error.h"
#include "hostsim/Loader.h"

namespace hostsim {
namespace {
constexpr uint32_t kRegistrationId = 16000;
constexpr uint32_t kRegistrationLanguage = 1033;
}  // namespace

Registration readModuleRegistration(const std::string& path) {
    const std::optional<std::vector<uint8_t>> pipl =
        readModuleResource(path, "PIPL", kRegistrationId, kRegistrationLanguage);
    if (!pipl) throw Error(path + " has no registration resource (PIPL 16000, language 1033)");

    Registration reg;
    try {
        reg = parseRegistration(*pipl);
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

Module::Module(const std::string& path) : file(path), reg(readModuleRegistration(path)) {
    load();
    // Read again from the module as loaded: a file replaced between the read
    // and the load must not run under the registration of the old one.
    const auto inMemory = readLoadedResource({library, reinterpret_cast<void*>(entry), base}, path, "PIPL",
                                             kRegistrationId, kRegistrationLanguage);
    if (inMemory != readModuleResource(path, "PIPL", kRegistrationId, kRegistrationLanguage)) {
        unloadModule(library);
        throw Error(path + ": the registration of the loaded module differs from the one read from the file");
    }
}

Module::Module(const std::string& path, Registration registration) : file(path), reg(std::move(registration)) {
    if (reg.entryPoint.empty()) throw Error(path + ": the registration names no entry point (property '8664')");
    load();
}

void Module::load() {
    const LoadedModule loaded = loadModule(file, reg.entryPoint);
    library = loaded.library;
    entry = reinterpret_cast<PF_FilterProc>(loaded.entry);
    base = loaded.base;
}

Module::~Module() { unloadModule(library); }

}  // namespace hostsim
