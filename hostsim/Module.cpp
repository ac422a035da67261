#include "hostsim/Module.h"

#include "hostsim/Error.h"
#include "hostsim/Loader.h"

namespace hostsim {
namespace {
constexpr uint32_t kRegistrationId = 16000;
constexpr uint32_t kRegistrationLanguage = 1033;

std::vector<uint8_t> readRegistrationBytes(const std::string& path) {
    std::optional<std::vector<uint8_t>> pipl = readModuleResource(path, "PIPL", kRegistrationId, kRegistrationLanguage);
    if (!pipl) throw Error(path + " has no registration resource (PIPL 16000, language 1033)");
    return std::move(*pipl);
}

// Parses and checks the registration bytes of the module file `path`.
Registration checkedRegistration(const std::string& path, const std::vector<uint8_t>& pipl) {
    Registration reg;
    try {
        reg = parseRegistration(pipl);
    } catch (const Error& e) {
        throw Error(path + ": " + e.what());
    }
    if (!reg.find(fourCC("kind"))) throw Error(path + ": the registration has no 'kind' property");
    if (reg.kind != kEffectKind)
        throw Error(path + " is not an effect: its registration kind is '" + fourCCText(reg.kind) + "', not 'eFKT'");
    if (reg.entryPoint.empty()) throw Error(path + ": the registration names no entry point (property '8664')");
    return reg;
}

}  // namespace

Registration readModuleRegistration(const std::string& path) {
    return checkedRegistration(path, readRegistrationBytes(path));
}

Module::Module(const std::string& path) : file(path) {
    const std::vector<uint8_t> pipl = readRegistrationBytes(path);
    reg = checkedRegistration(path, pipl);
    loaded = loadModule(file, reg.entryPoint);
    // Read again from the module as loaded: a file replaced between the read
    // and the load must not run under the registration of the old one.
    try {
        const auto inMemory = readLoadedResource(loaded, path, "PIPL", kRegistrationId, kRegistrationLanguage);
        if (inMemory != pipl)
            throw Error(path + ": the loaded module's registration differs from the one read before loading it");
    } catch (...) {
        unloadModule(loaded.library);
        throw;
    }
}

Module::Module(const std::string& path, Registration registration) : file(path), reg(std::move(registration)) {
    if (reg.entryPoint.empty()) throw Error(path + ": the registration names no entry point (property '8664')");
    loaded = loadModule(file, reg.entryPoint);
}

Module::~Module() { unloadModule(loaded.library); }

}  // namespace hostsim
