#include "tools/lumivex/Args.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace lumivex {

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
        if (!match) throw Error("unknown option " + name + " for '" + command + "' (see lumivex " + command + " --help)");
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

uint32_t parseCount(const std::string& option, const std::string& text, uint32_t minimum, uint32_t maximum) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || text[0] == '+' || *end || errno == ERANGE || v < minimum || v > maximum)
        throw Error((option.rfind("--", 0) == 0 ? "option " : "") + option + " needs a whole number from " + std::to_string(minimum) + " to " +
                    std::to_string(maximum) + ", got '" + text + "'");
    return uint32_t(v);
}

double parseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(v) || std::isspace(static_cast<unsigned char>(text[0])))
        throw Error(option + " needs a number, got '" + text + "'");
    return v;
}

void parseSize(const std::string& option, const std::string& text, uint32_t& width, uint32_t& height) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) throw Error("option " + option + " needs WIDTHxHEIGHT, got '" + text + "'");
    width = parseCount(option, text.substr(0, x), 1, 16384);
    height = parseCount(option, text.substr(x + 1), 1, 16384);
}

void parseRatio(const std::string& option, const std::string& text, uint32_t& num, uint32_t& den) {
    size_t slash = text.find('/');
    num = parseCount(option, text.substr(0, slash), 1, 1000000);
    den = slash == std::string::npos ? 1 : parseCount(option, text.substr(slash + 1), 1, 1000000);
}

std::vector<double> parseNumberList(const std::string& option, const std::string& text) {
    std::vector<double> numbers;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        numbers.push_back(parseNumber(option, text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return numbers;
}

}  // namespace lumivex
