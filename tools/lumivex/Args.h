// Command-line parsing for the lumivex subcommands: options of the form
// `--name VALUE` or `--name=VALUE` (and short aliases such as `-o`),
// flags, repeatable options and positional arguments (the value parsers
// are the render library's). Every error throws UsageError with one line
// naming the option and the offending text.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "render/Session.h"
#include "render/Values.h"

namespace tools {

// A command line the command cannot act on (exit status 2).
using render::UsageError;

struct OptionSpec {
    const char* name;   // "--depth"
    const char* alias;  // "-o" or nullptr
    bool takesValue;
    bool repeatable;
};

class ParsedArgs {
public:
    bool has(const std::string& name) const { return values.count(name) != 0; }
    // The value of a single-valued option, or `fallback` when absent.
    std::string get(const std::string& name, const std::string& fallback = "") const;
    const std::vector<std::string>& all(const std::string& name) const;

    std::map<std::string, std::vector<std::string>> values;
    // Every option and its value in command-line order, by canonical name.
    std::vector<std::pair<std::string, std::string>> ordered;
    std::vector<std::string> positional;
};

// `command` names the subcommand in error messages. "--help" and "-h" are
// always accepted as flags.
ParsedArgs parseArgs(const std::string& command, const std::vector<std::string>& args,
                     const std::vector<OptionSpec>& known);

using render::parseCount;
using render::parseNumber;
using render::parseNumberList;
using render::parseRatio;
using render::parseSize;

// The module --module FILE or --effect DIR names (at most one of them), or
// the default module.
render::ModuleChoice chooseModule(const ParsedArgs& args);

}  // namespace tools
