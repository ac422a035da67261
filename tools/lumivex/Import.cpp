#include <iostream>

#include "importer/Importer.h"
#include "Args.h"
#include "Commands.h"

namespace tools {

int runImport(const std::vector<std::string>& argv) {
    static const char* const help =
        "lumivex import FILE [-o DIR] [--name NAME] [--channel N=layer|buffer|A..D|IMAGE]... [--size WxH]\n"
        "Turns an ISF shader (.fs, with its .vs beside it), a Shadertoy shader (.glsl\n"
        "defining mainImage) or a Shadertoy JSON export into the effect folder DIR\n"
        "(default: the file's name), and prints what it mapped and what it could not.\n"
        "--channel says what Shadertoy's iChannelN reads: the layer, the Image pass's own\n"
        "last frame (buffer), a buffer, or an image file. The effect's name is NAME\n"
        "(default: the file's name). Point parameters start where the file's defaults\n"
        "lie on a layer of --size (default 1920x1080).\n";
    ParsedArgs args = parseArgs("import", argv,
                                {{"--output", "-o", true, false},
                                 {"--name", nullptr, true, false},
                                 {"--channel", nullptr, true, true},
                                 {"--size", nullptr, true, false}});
    if (args.has("--help")) {
        std::cout << help;
        return 0;
    }
    if (args.positional.size() != 1) throw UsageError("usage: lumivex import FILE [-o DIR] [--name NAME]");
    importer::Options options;
    options.name = args.get("--name");
    if (args.has("--size")) parseSize("--size", args.get("--size"), options.width, options.height);
    for (const std::string& channel : args.all("--channel")) {
        const size_t eq = channel.find('=');
        if (eq != 1 || channel[0] < '0' || channel[0] > '3' || channel.size() < 3)
            throw UsageError("--channel '" + channel + "': expected N=layer|buffer|A..D|IMAGE with N from 0 to 3");
        options.channels[channel[0] - '0'] = channel.substr(2);
    }
    try {
        const importer::Report report = importer::importFile(args.positional[0], args.get("--output"), options);
        std::cout << "wrote " << report.folder << " (GLSL "
                  << (report.version.empty() ? "without #version" : report.version) << ")\n";
        for (const std::string& line : report.mapped) std::cout << "  mapped: " << line << "\n";
        for (const std::string& line : report.notes) std::cout << "  note: " << line << "\n";
    } catch (const importer::ImportError& e) {
        std::cerr << "lumivex: cannot import " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace tools
