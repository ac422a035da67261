// Command-line parsing for the lumivex subcommands: options of the form
// `--name VALUE` or `--name=VALUE` (and short aliases such as `-o`),
// flags, repeatable options and positional arguments, plus the value
// parsers. Every error throws UsageError with one line naming the option
// and the offending text.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hostsim/Error.h"

namespace lumivex {

// A command line the command cannot act on (exit status 2).
class UsageError : public hostsim::Error {
public:
    using hostsim::Error::Error;
};

struct OptionSpec {
    const char* name;        // "--depth"
    const char* alias;       // "-o" or nullptr
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

uint32_t parseCount(const std::string& option, const std::string& text, uint32_t minimum, uint32_t maximum);
double parseNumber(const std::string& option, const std::string& text);
// "1280x720"
void parseSize(const std::string& option, const std::string& text, uint32_t& width, uint32_t& height);
// "NUM/DEN" or a plain integer NUM (denominator 1); both above 0.
void parseRatio(const std::string& option, const std::string& text, uint32_t& num, uint32_t& den);
// Comma-separated numbers ("1,0.5,0"); at least one.
std::vector<double> parseNumberList(const std::string& option, const std::string& text);

}  // namespace lumivex
