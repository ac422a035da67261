// The lumivex command: info, render, pack and unpack. Every failure ends in
// one line on stderr, "lumivex: <cause>", and a non-zero exit status.
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "Args.h"
#include "Commands.h"

namespace {

const char* const kUsage =
    "usage: lumivex <command> [options]\n"
    "\n"
    "commands:\n"
    "  info     show an effect's registration, about text and parameters\n"
    "  render   render frames of an effect through the stand-in host\n"
    "  pack     pack an effect folder into a scrambled archive\n"
    "  unpack   unpack a scrambled archive into a folder\n"
    "  studio   show an effect live in the browser while you edit it\n"
    "  import   turn an ISF or Shadertoy shader into an effect folder\n"
    "\n"
    "'lumivex <command> --help' describes each command.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    try {
        if (command == "info") return tools::runInfo(args);
        if (command == "render") return tools::runRender(args);
        if (command == "pack") return tools::runPack(args);
        if (command == "unpack") return tools::runUnpack(args);
        if (command == "studio") return tools::runStudio(args);
        if (command == "import") return tools::runImport(args);
        std::cerr << "lumivex: unknown command '" << command
                  << "' (use info, render, studio, import, pack or unpack)\n";
        return 2;
    } catch (const tools::UsageError& e) {
        std::cerr << "lumivex: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "lumivex: " << e.what() << "\n";
        return 1;
    }
}
