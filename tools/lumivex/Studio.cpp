#include <filesystem>
#include <iostream>

#include "studio/RenderProcess.h"
#include "studio/SourceEffect.h"
#include "studio/Studio.h"
#include "Args.h"
#include "Commands.h"

namespace tools {
namespace {

using render::absolutePath;
using render::ModuleChoice;

const char* const kHelp =
    "usage: lumivex studio [--effect DIR|SHADER | --module FILE] [--input IMAGE] [--port N] [--no-open]\n"
    "                      [--render-timeout SECONDS]\n"
    "\n"
    "Serves a page on 127.0.0.1 that shows the effect live, with a control per\n"
    "parameter, and reloads it whenever a file of the effect changes. Prints\n"
    "  Studio: http://127.0.0.1:PORT/?token=TOKEN\n"
    "and serves until interrupted (Ctrl-C). See docs/studio.md for the page and its API.\n"
    "  --effect DIR      an effect folder run by the engine module (watched for changes)\n"
    "  --effect SHADER   an ISF (.fs), Shadertoy (.glsl) or Shadertoy export (.json) file, imported\n"
    "                    as lumivex import does into a private folder, again on every save\n"
    "  --module FILE     an effect module (default: the module built next to lumivex)\n"
    "  --input IMAGE     an image offered as input beside the test card and the photograph\n"
    "  --port N          port to listen on (default 0: any free port)\n"
    "  --no-open         do not open the default browser\n"
    "  --render-timeout S  seconds a frame may take before the effect counts as hung (default 10)\n";

}  // namespace

int runStudio(const std::vector<std::string>& argv) {
    ParsedArgs args = parseArgs("studio", argv,
                                {{"--module", nullptr, true, false},
                                 {"--effect", nullptr, true, false},
                                 {"--input", "-i", true, false},
                                 {"--port", nullptr, true, false},
                                 {"--no-open", nullptr, false, false},
                                 {"--render-timeout", nullptr, true, false},
                                 {"--render-process", nullptr, false, false}});
    if (args.has("--help")) {
        std::cout << kHelp;
        return 0;
    }
    if (!args.positional.empty()) throw UsageError("unexpected argument '" + args.positional[0] + "' for 'studio'");
    // A shader file rather than a folder: imported, and the import shown.
    std::unique_ptr<studio::SourceEffect> source;
    if (args.has("--effect") && std::filesystem::is_regular_file(args.get("--effect")) &&
        !args.has("--render-process")) {
        if (args.has("--module")) throw UsageError("give either --module or --effect, not both");
        source = std::make_unique<studio::SourceEffect>(args.get("--effect"), studio::kCardWidth, studio::kCardHeight);
        args.values["--effect"] = {source->effectDir()};
    }
    const ModuleChoice choice = chooseModule(args);
    // The studio starts itself again with --render-process for the process
    // that runs the effect.
    if (args.has("--render-process")) return studio::runRenderProcess(choice);

    studio::Options options;
    options.effectDir = choice.effectDir;
    options.modulePath = choice.path;
    options.source = source.get();
    if (args.has("--input")) {
        options.input = absolutePath(args.get("--input"));
        if (!std::filesystem::is_regular_file(options.input))
            throw UsageError("--input " + args.get("--input") + " is not a file");
    }
    if (args.has("--port")) options.port = int(parseCount("--port", args.get("--port"), 0, 65535));
    if (args.has("--render-timeout")) {
        options.renderTimeout = parseNumber("--render-timeout", args.get("--render-timeout"));
        if (options.renderTimeout < 0.1 || options.renderTimeout > 3600)
            throw UsageError("--render-timeout must be from 0.1 to 3600 seconds");
    }
    options.open = !args.has("--no-open");
    std::error_code ec;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec) throw hostsim::Error("cannot find the lumivex executable to start the render process");
    options.renderCommand = {self, "studio", "--render-process"};
    if (choice.effectDir.empty()) options.renderCommand.insert(options.renderCommand.end(), {"--module", choice.path});
    else options.renderCommand.insert(options.renderCommand.end(), {"--effect", choice.effectDir});
    return studio::serve(options);
}

}  // namespace tools
