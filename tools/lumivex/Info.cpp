#include <cstdio>
#include <ostream>
#include <iostream>
#include <sstream>

#include "render/Description.h"
#include "render/Session.h"
#include "render/TestCard.h"
#include "Args.h"
#include "Commands.h"

namespace tools {
namespace {

using render::check;
using render::effectError;
using render::Json;
using render::loadModule;
using render::makeTestCard;
using render::ModuleChoice;
using render::readRegistration;

const char* const kHelp =
    "usage: lumivex info [--module FILE | --effect DIR] [--json]\n"
    "\n"
    "Shows an effect as a host sees it: first the registration resource (name,\n"
    "match name, category, version, flags), which needs no engine, then the\n"
    "about text and every parameter with its type, default, range and\n"
    "identifier. Without --module or --effect the default module built next\n"
    "to the command is used. --effect DIR describes the effect folder DIR run\n"
    "by the engine module. --json prints one JSON object instead of text.\n"
    "Finally one small frame is drawn: a shader or script error there is\n"
    "reported on stderr after the listing, with exit status 3.\n";

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

void printRegistrationText(const std::string& module, const hostsim::Registration& r) {
    std::cout << "Module:       " << module << "\n"
              << "Name:         " << r.name << "\n"
              << "Match name:   " << r.matchName << "\n"
              << "Category:     " << r.category << "\n"
              << "Version:      " << hostsim::versionText(r.version) << " (" << hex(r.version) << ")\n"
              << "API version:  " << r.apiMajor << "." << r.apiMinor << "\n"
              << "Flags:        " << hex(r.outFlags) << "\n"
              << "Flags2:       " << hex(r.outFlags2) << "\n"
              << "Entry point:  " << r.entryPoint << "\n";
}

// The exit status for the test frame: 0 when the effect drew it, 3 (with
// the effect's error text on stderr) when it drew its error frame; a host
// error code from the module throws as any other command failure does.
int frameStatus(const hostsim::RenderResult& frame, const hostsim::Host& host) {
    std::cout.flush();
    if (frame.result != PF_Err_NONE) check(frame.result, "rendering a test frame", host);
    const std::string message = effectError(frame);
    if (message.empty()) return 0;
    std::cerr << "lumivex: the effect reported an error when drawing a frame: " << message << "\n";
    return 3;
}

}  // namespace

int runInfo(const std::vector<std::string>& argv) {
    ParsedArgs args = parseArgs(
        "info", argv,
        {{"--module", nullptr, true, false}, {"--effect", nullptr, true, false}, {"--json", nullptr, false, false}});
    if (args.has("--help")) {
        std::cout << kHelp;
        return 0;
    }
    if (!args.positional.empty()) throw UsageError("unexpected argument '" + args.positional[0] + "' for 'info'");
    const bool json = args.has("--json");
    ModuleChoice choice = chooseModule(args);
    hostsim::Registration reg = readRegistration(choice);
    if (!json) printRegistrationText(choice.path, reg);
    std::cout.flush();

    // The rest needs the engine: run the module as a host would.
    auto module = loadModule(choice, reg);
    hostsim::Host host(*module, hostsim::HostConfig{});
    check(host.globalSetup(), "global setup", host);
    std::string about;
    check(host.about(&about), "about", host);
    check(host.paramsSetup(), "parameter setup", host);
    check(host.sequenceSetup(), "sequence setup", host);
    check(host.updateParamsUI(), "parameter UI update", host);
    // The listing shows the parameters as setup left them; the JSON (below)
    // as they are after the test frame.
    const Json listed = render::describeEffect(choice.path, reg, about, host);
    // A script or shader error shows only when a frame is drawn: one small
    // frame tells whether the effect runs at all. Reported after the listing.
    host.setInput(makeTestCard(16, 16));
    const hostsim::RenderResult frame = host.render(0);
    host.finish();

    if (json) {
        render::writeInfoJson(std::cout, render::describeEffect(choice.path, reg, about, host));
        return frameStatus(frame, host);
    }
    std::string indented = "  ";
    for (char c : about) indented += c == '\n' ? std::string("\n  ") : std::string(1, c);
    std::cout << "\nAbout:\n" << indented << "\n\nParameters (host index, identifier, name, type):\n";
    const Json& params = listed["parameters"];
    if (params.empty()) std::cout << "  (none)\n";
    for (const Json& p : params) {
        std::cout << "  " << p["index"] << "  id " << p["id"] << "  " << p["name"].get<std::string>() << "  "
                  << p["type"].get<std::string>();
        for (const char* key : {"default", "range", "choices"})
            if (p.contains(key)) std::cout << "  " << key << " " << render::inlineJson(p[key]);
        if (!p["enabled"].get<bool>()) std::cout << "  (disabled)";
        std::cout << "\n";
    }
    return frameStatus(frame, host);
}

}  // namespace tools
