// The host registration property list of an effect module (the "PIPL"
// resource): parsing and the facts a host takes from it before it loads the
// module. Throws hostsim::Error describing the fault for a damaged list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostsim {

// Four-character codes as the property list stores them (little-endian).
constexpr uint32_t fourCC(const char (&c)[5]) {
    return (uint32_t(uint8_t(c[0])) << 24) | (uint32_t(uint8_t(c[1])) << 16) | (uint32_t(uint8_t(c[2])) << 8) |
           uint32_t(uint8_t(c[3]));
}
std::string fourCCText(uint32_t code);

struct RegistrationProperty {
    uint32_t vendor = 0;
    uint32_t key = 0;
    std::vector<uint8_t> data;
};

struct Registration {
    std::vector<RegistrationProperty> properties;  // in file order

    // Decoded properties; empty or 0 when the list lacks them.
    uint32_t kind = 0;
    std::string name;        // 'name'
    std::string category;    // 'catg'
    std::string entryPoint;  // '8664'
    std::string matchName;   // 'eMNA'
    uint32_t version = 0;    // 'eVER', the host's version layout
    int16_t apiMajor = 0;    // 'eSVR'
    int16_t apiMinor = 0;
    uint32_t outFlags = 0;   // 'eGLO'
    uint32_t outFlags2 = 0;  // 'eGL2'

    const RegistrationProperty* find(uint32_t key) const;
};

Registration parseRegistration(const std::vector<uint8_t>& bytes);

// The fields of a version word in the host's layout.
struct VersionFields {
    uint32_t major, minor, bugFix, stage, build;
};
VersionFields splitVersion(uint32_t word);
// "1.2.0 release build 3" style text for people.
std::string versionText(uint32_t word);

}  // namespace hostsim
