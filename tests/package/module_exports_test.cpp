// The effect module exports its entry point and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct PipeCloser {
    void operator()(std::FILE* f) const { pclose(f); }
};

TEST(EffectModule, ExportsOnlyEntryPointFunc) {
    const std::string command = "nm -D --defined-only '" LUMIVEX_EFFECT_MODULE "' 2>&1";
    std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get())) output += line;

    std::vector<std::string> symbols;
    std::istringstream lines(output);
    for (std::string entry; std::getline(lines, entry);) {
        std::istringstream fields(entry);
        std::string address, kind, name;
        fields >> address >> kind >> name;
        symbols.push_back(name);
    }
    EXPECT_EQ(symbols, std::vector<std::string>{"EntryPointFunc"}) << output;
}

}  // namespace
