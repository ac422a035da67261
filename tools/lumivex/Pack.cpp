#include <iostream>

#include "package/Pack.h"
#include "tools/lumivex/Commands.h"
#include "tools/lumivex/Args.h"

namespace lumivex {
namespace {

// Parses `SOURCE -o TARGET` for pack and unpack.
bool readPair(const std::string& command, const std::vector<std::string>& argv, const char* help,
              std::string& source, std::string& target) {
    ParsedArgs args = parseArgs(command, argv, {{"--output", "-o", true, false}});
    if (args.has("--help")) {
        std::cout << help;
        return false;
    }
    if (args.positional.size() != 1 || !args.has("--output"))
        throw UsageError(std::string("usage: ") + help);
    source = args.positional[0];
    target = args.get("--output");
    return true;
}

}  // namespace

int runPack(const std::vector<std::string>& argv) {
    static const char* const kHelp =
        "lumivex pack DIR -o FILE\n"
        "Packs the effect folder DIR (config.xml, fx.js, shaders, images) into the\n"
        "scrambled archive FILE that a module carries.\n";
    std::string dir, file;
    if (!readPair("pack", argv, kHelp, dir, file)) return 0;
    try {
        package::packToFile(dir, file);
    } catch (const package::PackageError& e) {
        throw hostsim::Error(e.what());
    }
    return 0;
}

int runUnpack(const std::vector<std::string>& argv) {
    static const char* const kHelp =
        "lumivex unpack FILE -o DIR\n"
        "Writes the files of the scrambled archive FILE into the folder DIR\n"
        "(created when missing; existing files are never overwritten).\n";
    std::string file, dir;
    if (!readPair("unpack", argv, kHelp, file, dir)) return 0;
    try {
        package::unpackFile(file, dir);
    } catch (const package::PackageError& e) {
        throw hostsim::Error(e.what());
    }
    return 0;
}

}  // namespace lumivex
