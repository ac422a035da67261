// Fuzzes the configuration reader: parse, then every accessor.
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/ConfigDocument.h"
#include "package/Registration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    package::ConfigDocument config;
    try {
        config.parse(std::string(reinterpret_cast<const char*>(bytes), size), "config.xml");
    } catch (const package::ConfigError&) {
        return 0;
    }
    for (uint32_t i = 0; i < 4; ++i) config.getText(i);
    config.getFlags();
    config.getFlags2();
    EffectVersion version = 0;
    config.getVersion(&version);
    try {
        package::buildRegistration(package::registrationFromConfig(config));
    } catch (const package::ConfigError&) {}
    return 0;
}
