// The host registration property list ("PIPL" resource) of an effect module,
// built from the package's configuration so that the list and what global
// setup reports at run time always describe the same effect.
//
// Errors: registrationFromConfig throws ConfigError naming the key when the
// configuration cannot be registered (no name, a text too long for the list).
// Threads: no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/ConfigDocument.h"

namespace package {

// The resource the host reads before it calls the module.
constexpr const char* kRegistrationType = "PIPL";
constexpr uint32_t kRegistrationId = 16000;
constexpr uint32_t kRegistrationLanguage = 1033;

// Output flags global setup always adds to the configured ones.
constexpr uint32_t kFixedOutFlags = 0x04008005u;

struct RegistrationInfo {
    std::string name;        // "FXNAME"
    std::string category;    // "CATEGORY" (read only here), else kDefaultCategory
    std::string matchName;   // "ADBE " + name
    uint32_t version = 0;    // hostVersionWord of the configured version
    uint32_t outFlags = 0;   // "FLAGS" | kFixedOutFlags
    uint32_t outFlags2 = 0;  // "FLAGS2"
};

constexpr const char* kDefaultCategory = "Shader";

RegistrationInfo registrationFromConfig(const ConfigDocument& config);

// The property list bytes: u16 1, u32 0, u32 property count, then each
// property as vendor '8BIM', key, u32 id 0, u32 length, data padded to 4.
std::vector<uint8_t> buildRegistration(const RegistrationInfo& info);

}  // namespace package
