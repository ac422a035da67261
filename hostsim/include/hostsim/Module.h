// An effect module loaded the way a host loads one: the registration
// resource ("PIPL", id 16000, language 1033) is read from the file first,
// checked (kind 'eFKT', an entry point named under '8664'), and only then
// is the file loaded and the named entry point resolved.
// Errors: every step throws hostsim::Error naming the file and the cause.
// Ownership: the Module owns the loaded library; the library stays mapped
// until the process ends (static state of a module may outlive its users).
#pragma once

#include <string>

#include "hostsim/Loader.h"
#include "hostsim/Registration.h"
#include "sdk/PF_Effect.h"

namespace hostsim {

constexpr uint32_t kEffectKind = fourCC("eFKT");

// Reads and checks the registration of a module file without loading it.
Registration readModuleRegistration(const std::string& path);

class Module {
public:
    explicit Module(const std::string& path);
    // A module whose registration comes from elsewhere (the engine module
    // carries none; its effect folder's configuration describes it).
    Module(const std::string& path, Registration registration);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::string& path() const { return file; }
    const Registration& registration() const { return reg; }
    PF_FilterProc entryPoint() const { return reinterpret_cast<PF_FilterProc>(loaded.entry); }
    // The module's instance handle: its base address, as the platform's
    // resource lookup expects it.
    const void* instanceHandle() const { return loaded.base; }

private:
    std::string file;
    Registration reg;
    LoadedModule loaded;
};

}  // namespace hostsim
