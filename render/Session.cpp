#include "render/Session.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "package/ConfigDocument.h"
#include "package/Pack.h"
#include "package/Registration.h"

namespace render {

namespace fs = std::filesystem;
using hostsim::Error;

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string defaultModuleDir() {
    if (const char* dir = std::getenv("LUMIVEX_MODULE_DIR"); dir && *dir) return dir;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) throw Error("cannot find the lumivex executable to locate the default module; set LUMIVEX_MODULE_DIR");
    return (exe.parent_path() / LUMIVEX_MODULE_DIR_FROM_TOOL).lexically_normal().string();
}

ModuleChoice chooseModule(const std::string& option, const std::string& value) {
    ModuleChoice choice;
    if (option == "--effect") {
        choice.effectDir = absolutePath(value);
        if (!fs::is_directory(choice.effectDir)) throw Error("effect folder " + value + " does not exist");
        if (!fs::exists(fs::path(choice.effectDir) / "config.xml"))
            throw Error("effect folder " + value + " has no config.xml");
        choice.path = (fs::path(defaultModuleDir()) / "lumivex-engine.so").string();
    } else if (option == "--module") {
        choice.path = absolutePath(value);
    } else {
        choice.path = (fs::path(defaultModuleDir()) / "Vantrel.so").string();
    }
    if (!fs::exists(choice.path)) throw Error("module " + choice.path + " does not exist");
    return choice;
}

hostsim::Registration readRegistration(const ModuleChoice& choice) {
    if (choice.effectDir.empty()) return hostsim::readModuleRegistration(choice.path);
    std::string configPath = (fs::path(choice.effectDir) / "config.xml").string();
    try {
        std::vector<uint8_t> bytes = package::readFileBytes(configPath);
        package::ConfigDocument config;
        config.parse(std::string(bytes.begin(), bytes.end()), configPath);
        return hostsim::parseRegistration(package::buildRegistration(package::registrationFromConfig(config)));
    } catch (const std::runtime_error& e) {
        throw Error(configPath + ": " + e.what());
    }
}

std::unique_ptr<hostsim::Module> loadModule(const ModuleChoice& choice, const hostsim::Registration& reg) {
    if (choice.effectDir.empty()) return std::make_unique<hostsim::Module>(choice.path);
    if (chdir(choice.effectDir.c_str()) != 0)
        throw Error("cannot enter effect folder " + choice.effectDir + ": " + std::strerror(errno));
    return std::make_unique<hostsim::Module>(choice.path, reg);
}

void check(PF_Err err, const std::string& what, const hostsim::Host& host) {
    if (err == PF_Err_NONE) return;
    std::string message =
        what + " failed: the module returned " + std::to_string(err) + " (" + hostsim::errorName(err) + ")";
    const char* text = host.outData().return_msg;
    if (text[0]) message += ": " + std::string(text);
    throw Error(message);
}

std::string effectError(const hostsim::RenderResult& frame) {
    std::string message = frame.message;
    message.erase(message.find_last_not_of(" \n") + 1);
    return message;
}

}  // namespace render
