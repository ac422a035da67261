// Composition of the effect program: the prelude of constants the script can
// use, the script text, the call of setup() and stubs for the optional entry
// points, with the "import L;" and "L.X." rewrites.
// Pure text functions; no errors, no shared state.
#pragma once

#include <string>

namespace script {

// The text placed before every script: LX_Type, LX_GL and LX_ParamFlags.
const std::string& scriptPrelude();

// Number of lines the prelude adds before the script's first line.
int preludeLineCount();

// prelude + script + "\nsetup();\n", with the first "import L;" blanked out,
// every "L.X." turned into "LX_", and stubs for preRender and updateUIFlags
// appended when their names occur nowhere in the text.
std::string buildProgram(const std::string& script);

}  // namespace script
