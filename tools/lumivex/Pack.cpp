#include <iostream>

#include "package/Pack.h"
#include "Commands.h"
#include "Args.h"

namespace tools {
namespace {

// `lumivex pack|unpack SOURCE -o TARGET`: parses the pair and runs `action`.
int runPair(const std::string& command, const std::vector<std::string>& argv, const char* help,
            void (*action)(const std::string&, const std::string&)) {
    ParsedArgs args = parseArgs(command, argv, {{"--output", "-o", true, false}});
    if (args.has("--help")) {
        std::cout << help;
        return 0;
    }
    if (args.positional.size() != 1 || !args.has("--output")) {
        const std::string text = help;
        throw UsageError("usage: " + text.substr(0, text.find('\n')));
    }
    try {
        action(args.positional[0], args.get("--output"));
    } catch (const package::PackageError& e) {
        throw hostsim::Error(e.what());
    }
    return 0;
}

}  // namespace

int runPack(const std::vector<std::string>& argv) {
    return runPair("pack", argv,
                   "lumivex pack DIR -o FILE\n"
                   "Packs the effect folder DIR (config.xml, fx.js, shaders, images) into the\n"
                   "scrambled archive FILE that a module carries.\n",
                   package::packToFile);
}

int runUnpack(const std::vector<std::string>& argv) {
    return runPair("unpack", argv,
                   "lumivex unpack FILE -o DIR\n"
                   "Writes the files of the scrambled archive FILE into the folder DIR\n"
                   "(created when missing; existing files are never overwritten).\n",
                   package::unpackFile);
}

}  // namespace tools
