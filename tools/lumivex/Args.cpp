#include "Args.h"

namespace tools {

using Error = UsageError;

std::string ParsedArgs::get(const std::string& name, const std::string& fallback) const {
    auto it = values.find(name);
    return it == values.end() || it->second.empty() ? fallback : it->second.back();
}

const std::vector<std::string>& ParsedArgs::all(const std::string& name) const {
    static const std::vector<std::string> none;
    auto it = values.find(name);
    return it == values.end() ? none : it->second;
}

ParsedArgs parseArgs(const std::string& command, const std::vector<std::string>& args,
                     const std::vector<OptionSpec>& known) {
    ParsedArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.values["--help"].push_back("");
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            parsed.positional.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        const OptionSpec* match = nullptr;
        for (const auto& s : known)
            if (name == s.name || (s.alias && name == s.alias)) match = &s;
        if (!match)
            throw Error("unknown option " + name + " for '" + command + "' (see lumivex " + command + " --help)");
        std::string key = match->name;
        if (!match->repeatable && parsed.has(key)) throw Error("option " + key + " is given more than once");
        if (match->takesValue) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw Error("option " + key + " needs a value");
                value = args[++i];
            }
        } else if (inlineValue) {
            throw Error("option " + key + " takes no value");
        }
        parsed.values[key].push_back(value);
        parsed.ordered.emplace_back(key, value);
    }
    return parsed;
}

render::ModuleChoice chooseModule(const ParsedArgs& args) {
    if (args.has("--module") && args.has("--effect")) throw UsageError("give either --module or --effect, not both");
    if (args.has("--effect")) return render::chooseModule("--effect", args.get("--effect"));
    if (args.has("--module")) return render::chooseModule("--module", args.get("--module"));
    return render::chooseModule("", "");
}

}  // namespace tools
