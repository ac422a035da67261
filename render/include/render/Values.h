// Numbers as people type them, in options and parameter values. `option`
// names the option or parameter in the UsageError each parser throws, with
// the offending text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/Error.h"

namespace render {

uint32_t parseCount(const std::string& option, const std::string& text, uint32_t minimum, uint32_t maximum);
double parseNumber(const std::string& option, const std::string& text);
// "1280x720"
void parseSize(const std::string& option, const std::string& text, uint32_t& width, uint32_t& height);
// "NUM/DEN" or a plain integer NUM (denominator 1); both above 0.
void parseRatio(const std::string& option, const std::string& text, uint32_t& num, uint32_t& den);
// Comma-separated numbers ("1,0.5,0"); at least one.
std::vector<double> parseNumberList(const std::string& option, const std::string& text);

}  // namespace render
