#include "render/Values.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace render {

uint32_t parseCount(const std::string& option, const std::string& text, uint32_t minimum, uint32_t maximum) {
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || text[0] == '+' || *end || errno == ERANGE || v < minimum || v > maximum)
        throw UsageError((option.rfind("--", 0) == 0 ? "option " : "") + option + " needs a whole number from " +
                         std::to_string(minimum) + " to " + std::to_string(maximum) + ", got '" + text + "'");
    return uint32_t(v);
}

double parseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(v) || std::isspace(static_cast<unsigned char>(text[0])))
        throw UsageError(option + " needs a number, got '" + text + "'");
    return v;
}

void parseSize(const std::string& option, const std::string& text, uint32_t& width, uint32_t& height) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) throw UsageError("option " + option + " needs WIDTHxHEIGHT, got '" + text + "'");
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

}  // namespace render
