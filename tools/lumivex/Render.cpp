#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "tools/lumivex/Commands.h"
#include "tools/lumivex/ImageFile.h"
#include "tools/lumivex/Session.h"
#include "tools/lumivex/TestCard.h"

namespace lumivex {
namespace {

using hostsim::Error;

const char* const kHelp =
    "usage: lumivex render [--module FILE | --effect DIR] [--input IMAGE] [--size WxH]\n"
    "                      [--output FILE] [--depth 8|16|32] [--host ae|premiere]\n"
    "                      [--time SECONDS] [--frames N --fps F] [--param NAME=VALUE]...\n"
    "                      [--downsample N] [--par NUM/DEN]\n"
    "\n"
    "Renders frames of an effect through the stand-in host.\n"
    "  --module FILE     effect module to load (default: the module built next to lumivex)\n"
    "  --effect DIR      run the engine module on the loose effect folder DIR\n"
    "  --input IMAGE     input layer: PNG, EXR, JPEG, BMP, GIF, PSD, HDR or TGA\n"
    "                    (default: a generated test card of --size, 1280x720)\n"
    "  --output FILE     .png (8-bit at depth 8, else 16-bit) or .exr (float);\n"
    "                    default render.png, or render.%04d.png with --frames\n"
    "  --depth D         bits per channel the host renders at: 8 (default), 16 or 32\n"
    "  --host H          ae (compositing host, default) or premiere (editing host)\n"
    "  --time SECONDS    time of the (first) frame, default 0\n"
    "  --frames N        render N frames; FILE must contain a frame number such as %04d\n"
    "  --fps F           frame rate, default 30\n"
    "  --param NAME=V    set a parameter by the name the host shows (see lumivex info):\n"
    "                    slider and angle a number, checkbox true/false, popup an entry\n"
    "                    number from 1 (or its text), colour R,G,B[,A] from 0 to 255,\n"
    "                    point X,Y and 3D point X,Y,Z in pixels, layer an image file\n"
    "  --downsample N    render at 1/N resolution\n"
    "  --par NUM/DEN     pixel aspect ratio, default 1/1\n";

struct FrameName {
    std::string prefix, suffix;
    int width = 0;  // digits of %0Nd, 0 for %d
    bool numbered = false;

    std::string at(long long frame) const {
        if (!numbered) return prefix;
        // Room for any width the pattern may ask for: no number is cut short.
        std::vector<char> digits(size_t(width) + 24);
        std::snprintf(digits.data(), digits.size(), "%0*lld", width, frame);
        return prefix + digits.data() + suffix;
    }
};

FrameName parseFrameName(const std::string& name) {
    FrameName f;
    std::string literal;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            literal += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            literal += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j]))) ++j;
        if (j >= name.size() || name[j] != 'd' || f.numbered || j - i > 4)
            throw UsageError("--output " + name + ": only one frame number such as %04d is allowed");
        f.width = j > i + 1 ? std::stoi(name.substr(i + 1, j - i - 1)) : 0;
        f.numbered = true;
        f.prefix = literal;
        literal.clear();
        i = j;
    }
    (f.numbered ? f.suffix : f.prefix) = literal;
    return f;
}

// One --param NAME=VALUE applied to the host's parameter. Image files are
// named relative to `baseDir`.
void setParam(hostsim::Host& host, int32_t index, const std::string& text, const std::string& baseDir) {
    const PF_ParamDef& def = host.param(index);
    const std::string what = "parameter '" + std::string(def.name) + "'";
    auto numbers = [&](size_t count) {
        std::vector<double> v = parseNumberList(what, text);
        if (v.size() != count && !(count == 4 && v.size() == 3))
            throw UsageError(what + " needs " + std::to_string(count == 4 ? 3 : count) + " comma-separated numbers, got '" + text + "'");
        return v;
    };
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER:
        case PF_Param_ANGLE:
            return host.setFloat(index, parseNumber(what, text));
        case PF_Param_CHECKBOX:
            if (text != "true" && text != "false" && text != "1" && text != "0")
                throw UsageError(what + " is a checkbox: use true or false, not '" + text + "'");
            return host.setCheckbox(index, text == "true" || text == "1");
        case PF_Param_POPUP: {
            std::vector<std::string> choices = host.popupChoices(index);
            for (size_t i = 0; i < choices.size(); ++i)
                if (choices[i] == text) return host.setPopup(index, int32_t(i + 1));
            return host.setPopup(index, int32_t(parseCount(what, text, 1, uint32_t(std::max<size_t>(choices.size(), 1)))));
        }
        case PF_Param_COLOR: {
            std::vector<double> v = numbers(4);
            float rgba[4] = {0, 0, 0, 1};
            for (size_t c = 0; c < v.size(); ++c) {
                if (v[c] < 0 || v[c] > 255) throw UsageError(what + ": colour components run from 0 to 255, got '" + text + "'");
                rgba[c] = float(v[c] / 255.0);
            }
            return host.setColor(index, rgba);
        }
        case PF_Param_POINT:
        case PF_Param_POINT_3D: {
            std::vector<double> v = numbers(def.param_type == PF_Param_POINT ? 2 : 3);
            v.resize(3, 0.0);
            return host.setPoint(index, v.data());
        }
        case PF_Param_LAYER:
            return host.setLayer(index, readImage((std::filesystem::path(baseDir) / text).lexically_normal().string()));
        default:
            throw UsageError(what + " cannot be set from the command line");
    }
}

}  // namespace

void applyParam(hostsim::Host& host, const std::string& assignment, const std::string& baseDir) {
    size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("--param needs NAME=VALUE, got '" + assignment + "'");
    std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
    int32_t index = host.findParam(name);
    if (index < 0) {
        std::string known;
        for (const std::string& n : host.paramNames()) known += (known.empty() ? "" : ", ") + n;
        throw UsageError("unknown parameter '" + name + "'; the effect has: " + (known.empty() ? "no parameters" : known));
    }
    try {
        setParam(host, index, text, baseDir);
    } catch (const UsageError&) {
        throw;
    } catch (const Error& e) {
        if (host.param(index).param_type == PF_Param_LAYER) throw;  // an unreadable image
        throw UsageError(e.what());
    }
    check(host.userChangedParam(index), "change of parameter '" + name + "'", host);
}

namespace {

struct RenderOptions {
    hostsim::HostConfig config;
    double time = 0, fps = 30;
    uint32_t frames = 1, width = 1280, height = 720;
    std::string input, output;
};

RenderOptions readOptions(const ParsedArgs& args) {
    RenderOptions o;
    hostsim::HostConfig& c = o.config;
    if (args.has("--depth")) {
        c.depth = parseCount("--depth", args.get("--depth"), 8, 32);
        if (c.depth != 8 && c.depth != 16 && c.depth != 32) throw UsageError("--depth must be 8, 16 or 32, got " + args.get("--depth"));
    }
    std::string hostName = args.get("--host", "ae");
    if (hostName != "ae" && hostName != "premiere") throw UsageError("--host must be ae or premiere, got '" + hostName + "'");
    c.kind = hostName == "premiere" ? hostsim::HostKind::Editing : hostsim::HostKind::Compositing;
    if (args.has("--time")) o.time = parseNumber("--time", args.get("--time"));
    if (o.time < 0) throw UsageError("--time must not be negative");
    if (args.has("--fps")) o.fps = parseNumber("--fps", args.get("--fps"));
    if (o.fps < 0.001 || o.fps > 1000) throw UsageError("--fps must be from 0.001 to 1000");
    if (args.has("--frames")) o.frames = parseCount("--frames", args.get("--frames"), 1, 1000000);
    c.timeStep = 1000;
    c.timeScale = uint32_t(std::lround(o.fps * 1000));
    // The host counts time in thousandths of a frame, so the rate is kept to
    // three decimals; frame numbers and times then follow the same rate.
    o.fps = c.timeScale / 1000.0;
    // Host times are 32-bit counts of 1/timeScale seconds.
    if (o.time * c.timeScale + (o.frames - 1.0) * c.timeStep > double(INT32_MAX))
        throw UsageError("--time and --frames reach past the host's time range at this frame rate");
    if (args.has("--downsample")) {
        uint32_t n = parseCount("--downsample", args.get("--downsample"), 1, 64);
        c.downsampleX = c.downsampleY = {1, n};
    }
    if (args.has("--par")) {
        uint32_t num, den;
        parseRatio("--par", args.get("--par"), num, den);
        c.pixelAspect = {int32_t(num), den};
    }
    if (args.has("--size")) {
        if (args.has("--input")) throw UsageError("--size sets the test card's size; it cannot be used with --input");
        parseSize("--size", args.get("--size"), o.width, o.height);
    }
    if (args.has("--input")) o.input = absolutePath(args.get("--input"));
    o.output = absolutePath(args.get("--output", o.frames > 1 ? "render.%04d.png" : "render.png"));
    if (!isWritableImageName(o.output)) throw UsageError("--output " + o.output + ": use a .png or .exr name");
    return o;
}

// A host renders an effect only at the depths its flags declare; a 16-bit
// or float frame of any other effect is refused here, with the flag named,
// rather than rendered in a way no host would.
void checkDepth(uint32_t depth, const hostsim::Registration& reg) {
    if (depth == 16 && !(reg.outFlags & PF_OutFlag_DEEP_COLOR_AWARE))
        throw UsageError("--depth 16: the effect does not declare 16-bit frames (bit 0x02000000 of FLAGS in its config.xml)");
    if (depth == 32 && !(reg.outFlags2 & PF_OutFlag2_FLOAT_COLOR_AWARE))
        throw UsageError("--depth 32: the effect does not declare float frames (bit 0x1000 of FLAGS2 in its config.xml)");
}

}  // namespace

int runRender(const std::vector<std::string>& argv) {
    ParsedArgs args = parseArgs("render", argv,
                                {{"--module", nullptr, true, false},  {"--effect", nullptr, true, false},
                                 {"--input", "-i", true, false},      {"--size", nullptr, true, false},
                                 {"--output", "-o", true, false},     {"--depth", nullptr, true, false},
                                 {"--host", nullptr, true, false},    {"--time", nullptr, true, false},
                                 {"--frames", nullptr, true, false},  {"--fps", nullptr, true, false},
                                 {"--param", "-p", true, true},       {"--downsample", nullptr, true, false},
                                 {"--par", nullptr, true, false}});
    if (args.has("--help")) {
        std::cout << kHelp;
        return 0;
    }
    if (!args.positional.empty()) throw UsageError("unexpected argument '" + args.positional[0] + "' for 'render'");
    RenderOptions options = readOptions(args);
    FrameName names = parseFrameName(options.output);
    if (options.frames > 1 && !names.numbered)
        throw UsageError("--frames " + std::to_string(options.frames) + " needs a frame number such as %04d in --output");

    // Paths are absolute from here on: --effect changes the current folder.
    const std::string startDir = absolutePath(".");
    hostsim::Image input = options.input.empty() ? makeTestCard(options.width, options.height) : readImage(options.input);
    ModuleChoice choice = chooseModule(args);
    hostsim::Registration reg = readRegistration(choice);
    checkDepth(options.config.depth, reg);
    auto module = loadModule(choice, reg);
    hostsim::Host host(*module, options.config);
    host.setInput(input);
    check(host.globalSetup(), "global setup", host);
    check(host.paramsSetup(), "parameter setup", host);
    check(host.sequenceSetup(), "sequence setup", host);
    for (const std::string& assignment : args.all("--param")) applyParam(host, assignment, startDir);
    check(host.updateParamsUI(), "parameter UI update", host);

    const bool progress = options.frames > 1 && isatty(STDERR_FILENO);
    const long long firstFrame = std::llround(options.time * options.fps);
    const int32_t firstTime = int32_t(std::llround(options.time * options.config.timeScale));
    std::string effectMessage;
    for (uint32_t i = 0; i < options.frames; ++i) {
        hostsim::RenderResult frame = host.render(firstTime + int32_t(i) * options.config.timeStep);
        if (frame.result != PF_Err_NONE)
            check(frame.result, hostsim::commandName(frame.failedCommand) + " of frame " + std::to_string(firstFrame + i), host);
        // What the render command reported: the engine's shader or script
        // error text, which the frame shows as well.
        if (effectMessage.empty()) effectMessage = effectError(frame);
        writeImage(names.at(firstFrame + i), frame.image, options.config.depth);
        if (progress) std::cerr << "\rframe " << (i + 1) << "/" << options.frames << std::flush;
    }
    if (progress) std::cerr << "\n";
    host.finish();
    if (!effectMessage.empty()) {
        std::cerr << "lumivex: the effect reported an error; the frame shows it: " << effectMessage << "\n";
        return 3;
    }
    return 0;
}

}  // namespace lumivex
