#include "Program.h"

#include <algorithm>

namespace script {

const std::string& scriptPrelude() {
    static const std::string text =
        "\n\n"
        "var LX_Type = { UNKNOWN: 0, FLOAT: 1, POINT: 2, COLOR: 3, LAYER: 4, POINT2D: 5, TEXTURE: 6, "
        "PATH: 7, BOOL: 8, POPUP: 9, GROUP_START: 10, GROUP_END: 11, ANGLE: 12 };\n"
        "\n"
        "var LX_GL = {\n"
        "    RED: 0x1903,\n"
        "    GREEN: 0x1904,\n"
        "    BLUE: 0x1905,\n"
        "    ALPHA: 0x1906,\n"
        "\n"
        "    NEAREST: 0x2600,\n"
        "    LINEAR: 0x2601,\n"
        "    NEAREST_MIPMAP_NEAREST: 0x2700,\n"
        "    LINEAR_MIPMAP_NEAREST: 0x2701,\n"
        "    NEAREST_MIPMAP_LINEAR: 0x2702,\n"
        "    LINEAR_MIPMAP_LINEAR: 0x2703,\n"
        "\n"
        "    TEXTURE_MAG_FILTER: 0x2800,\n"
        "    TEXTURE_MIN_FILTER: 0x2801,\n"
        "    TEXTURE_WRAP_S: 0x2802,\n"
        "    TEXTURE_WRAP_T: 0x2803,\n"
        "    CLAMP: 0x2804,\n"
        "    REPEAT: 0x2805,\n"
        "\n"
        "    CLAMP_TO_EDGE: 0x812F,\n"
        "    CLAMP_TO_BORDER: 0x812D,\n"
        "    MIRRORED_REPEAT: 0x8370,\n"
        "\n"
        "    TEXTURE_MIN_LOD: 0x813A,\n"
        "    TEXTURE_MAX_LOD: 0x813B,\n"
        "    TEXTURE_BASE_LEVEL: 0x813C,\n"
        "    TEXTURE_MAX_LEVEL: 0x813D,\n"
        "\n"
        "    TEXTURE_LOD_BIAS: 0x8501,\n"
        "\n"
        "/* ------------------------- GL_ARB_texture_swizzle ------------------------ */\n"
        "    TEXTURE_SWIZZLE_R: 0x8E42,\n"
        "    TEXTURE_SWIZZLE_G: 0x8E43,\n"
        "    TEXTURE_SWIZZLE_B: 0x8E44,\n"
        "    TEXTURE_SWIZZLE_A: 0x8E45\n"
        "};\n"
        "\n"
        "var LX_ParamFlags = {\n"
        "    NONE: 0,\n"
        "    ScaleByWidth: 8,\n"
        "    ScaleByHeight: 16,\n"
        "    RemoveScale: 32\n"
        "};\n"
        "\n\n";
    return text;
}

int preludeLineCount() {
    const std::string& text = scriptPrelude();
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

std::string buildProgram(const std::string& script) {
    std::string program = scriptPrelude() + script + "\nsetup();\n";

    static const std::string importLine = "import L;";
    const size_t import = program.find(importLine);
    if (import != std::string::npos) program.replace(import, importLine.size(), " ");

    // "LX_" cannot take part in a new "L.X.", so one forward pass finds every
    // occurrence the repeated search from the start would.
    for (size_t at = program.find("L.X."); at != std::string::npos; at = program.find("L.X.", at)) {
        program.replace(at, 4, "LX_");
    }

    if (program.find("preRender") == std::string::npos) program += "function preRender(w,h) {};";
    if (program.find("updateUIFlags") == std::string::npos) program += "function updateUIFlags() {};";
    return program;
}

}  // namespace script
