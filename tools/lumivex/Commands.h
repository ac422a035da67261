// The lumivex subcommands. Each takes the arguments after its name, prints
// its own --help, and returns the exit status: 0 done, 1 failed (one line
// on stderr naming the cause), 2 a command line it cannot act on, 3 the
// effect reported an error (shader or script) in a frame it drew: render
// has written its frames, info has printed its listing.
#pragma once

#include <string>
#include <vector>

namespace tools {

int runInfo(const std::vector<std::string>& args);
int runRender(const std::vector<std::string>& args);
int runPack(const std::vector<std::string>& args);
int runUnpack(const std::vector<std::string>& args);
int runStudio(const std::vector<std::string>& args);
int runImport(const std::vector<std::string>& args);

}  // namespace tools
