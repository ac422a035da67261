// What `info` and `render` share: choosing the module (--module FILE,
// --effect DIR, or the default module built next to the command), loading
// it through the stand-in host, and reporting host errors.
// Errors throw hostsim::Error (UsageError for a bad choice of options).
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "hostsim/Error.h"
#include "hostsim/Host.h"
#include "hostsim/Module.h"
#include "render/Values.h"

namespace render {

struct ModuleChoice {
    std::string path;       // absolute path of the module file
    std::string effectDir;  // absolute; set for --effect (the module's current folder)
};

// The folder where the default modules live: $LUMIVEX_MODULE_DIR when set,
// else the build's module folder relative to this executable.
std::string defaultModuleDir();
// One choice: `option` "--effect" or "--module" with its value, or empty
// for the default module.
ModuleChoice chooseModule(const std::string& option, const std::string& value);
// The registration a host reads first: from the module file, or for
// --effect from the effect folder's config.xml.
hostsim::Registration readRegistration(const ModuleChoice& choice);
// Loads the module; for --effect first makes the effect folder current.
std::unique_ptr<hostsim::Module> loadModule(const ModuleChoice& choice, const hostsim::Registration& reg);

// Throws hostsim::Error "<what> failed: the module returned 512
// (PF_Err_INTERNAL_STRUCT_DAMAGED): <message>" unless err is 0.
void check(PF_Err err, const std::string& what, const hostsim::Host& host);

// The error text the effect reported with a rendered frame (a shader or
// script error, which the frame shows too) without trailing blank lines;
// empty when the effect drew normally.
std::string effectError(const hostsim::RenderResult& frame);

// One value set on the parameter the host shows as `name` and announced to
// the module as a user change. A text is read as --param reads it (the
// forms `render --help` lists; a layer's image file named relative to
// `baseDir`); otherwise true/false or 0/1 for a checkbox, a number for a
// slider, an angle or a popup (its entry from 1), an array of numbers for a
// colour (R,G,B[,A] from 0 to 255) or a point (X,Y or X,Y,Z). A value the
// host refuses is a UsageError.
void applyValue(hostsim::Host& host, const std::string& name, const nlohmann::json& value, const std::string& baseDir);

// An absolute form of a path given on the command line.
std::string absolutePath(const std::string& path);

}  // namespace render
