#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <vector>

#include "render/RenderJob.h"
#include "Args.h"
#include "Commands.h"

namespace tools {
namespace {

using render::absolutePath;
using render::chooseModule;
using render::RenderJob;

const char* const kHelp =
    "usage: lumivex render [--module FILE | --effect DIR [--param NAME=VALUE]...]...\n"
    "                      [--input FILE] [--size WxH] [--output FILE] [--depth 8|16|32]\n"
    "                      [--host ae|premiere] [--time SECONDS] [--frames N] [--fps F]\n"
    "                      [--first-frame K] [--loop] [--downsample N] [--par NUM/DEN]\n"
    "                      [--crf N] [--preset P] [--no-audio] [--gif-palette N] [--gif-dither KERNEL]\n"
    "\n"
    "Renders frames of an effect, or of a chain of effects, through the stand-in host.\n"
    "  --module FILE     effect module to load (default: the module built next to lumivex)\n"
    "  --effect DIR      run the engine module on the loose effect folder DIR\n"
    "                    Several --module/--effect options make a chain, run in that order,\n"
    "                    each one's output the next one's input; the same one twice is two\n"
    "                    instances of one loaded module.\n"
    "  --input FILE      input layer: an image (PNG, EXR, JPEG, BMP, GIF, PSD, HDR, TGA),\n"
    "                    a clip (.mp4 .mov .mkv .webm .avi, animated .gif) or a numbered\n"
    "                    sequence such as 'plate.%04d.png' (default: a test card of --size,\n"
    "                    1280x720). Each frame shows the clip's picture at that time.\n"
    "  --output FILE     .png (8-bit at depth 8, else 16-bit) or .exr (float), numbered\n"
    "                    with %04d for several frames; or one clip: .mp4 (H.264 4:2:0),\n"
    "                    .mov (ProRes 4444 with alpha), .webm (VP9 with alpha), .mkv\n"
    "                    (lossless FFV1) or .gif. Default render.png, render.%04d.png\n"
    "  --depth D         bits per channel the host renders at: 8 (default), 16 or 32\n"
    "  --host H          ae (compositing host, default) or premiere (editing host)\n"
    "  --time SECONDS    time of the (first) frame, default 0\n"
    "  --frames N        render N frames (default 1, or every frame of an input clip)\n"
    "  --fps F           frame rate, default 30 or the input clip's own\n"
    "  --first-frame K   start at frame K of the job: one slice of a long render\n"
    "  --loop            an input clip repeats instead of holding its last frame\n"
    "  --param NAME=V    set a parameter of the nearest effect before it, by the name the\n"
    "                    host shows (see lumivex info): slider and angle a number, checkbox\n"
    "                    true/false, popup an entry number from 1 (or its text), colour\n"
    "                    R,G,B[,A] from 0 to 255, point X,Y and 3D point X,Y,Z in pixels,\n"
    "                    layer an image file or clip. Keys animate it: 'Level=0@0,1@2.5'\n"
    "                    (value@seconds, linear between keys; ':hold' after a key holds it)\n"
    "  --downsample N    render at 1/N resolution (one effect only)\n"
    "  --par NUM/DEN     pixel aspect ratio, default 1/1 or the input clip's own\n"
    "  --crf N           H.264 quality for .mp4, 0 (lossless) to 51\n"
    "  --preset P        H.264 speed for .mp4: ultrafast, superfast, veryfast (default),\n"
    "                    faster, fast, medium, slow, slower, veryslow, placebo\n"
    "  --no-audio        do not copy the input clip's sound into the output clip\n"
    "  --gif-palette N   GIF colours: 8, 16, 32, 64, 128 or 256 (default), adaptive\n"
    "  --gif-dither K    none, floyd-steinberg (default), jarvis, stucki, atkinson,\n"
    "                    burkes, sierra, sierra2, sierra-lite, stevenson-arce (error\n"
    "                    diffusion), ordered-2x2, ordered-4x4, ordered-8x8 (threshold maps)\n";

RenderJob readOptions(const ParsedArgs& args) {
    RenderJob o;
    hostsim::HostConfig& c = o.config;
    if (args.has("--depth")) {
        c.depth = parseCount("--depth", args.get("--depth"), 8, 32);
        if (c.depth != 8 && c.depth != 16 && c.depth != 32)
            throw UsageError("--depth must be 8, 16 or 32, got " + args.get("--depth"));
    }
    std::string hostName = args.get("--host", "ae");
    if (hostName != "ae" && hostName != "premiere")
        throw UsageError("--host must be ae or premiere, got '" + hostName + "'");
    c.kind = hostName == "premiere" ? hostsim::HostKind::Editing : hostsim::HostKind::Compositing;
    if (args.has("--time")) o.time = parseNumber("--time", args.get("--time"));
    if (o.time < 0) throw UsageError("--time must not be negative");
    if ((o.fpsGiven = args.has("--fps"))) o.fps = parseNumber("--fps", args.get("--fps"));
    if (o.fps < 0.001 || o.fps > 1000) throw UsageError("--fps must be from 0.001 to 1000");
    if ((o.framesGiven = args.has("--frames"))) o.frames = parseCount("--frames", args.get("--frames"), 1, 1000000);
    if (args.has("--first-frame")) o.firstFrame = parseCount("--first-frame", args.get("--first-frame"), 0, 100000000);
    if (args.has("--downsample")) {
        uint32_t n = parseCount("--downsample", args.get("--downsample"), 1, 64);
        c.downsampleX = c.downsampleY = {1, n};
    }
    if ((o.parGiven = args.has("--par"))) {
        uint32_t num, den;
        parseRatio("--par", args.get("--par"), num, den);
        c.pixelAspect = {int32_t(num), den};
    }
    if (args.has("--size")) {
        if (args.has("--input")) throw UsageError("--size sets the test card's size; it cannot be used with --input");
        parseSize("--size", args.get("--size"), o.width, o.height);
    }
    if (args.has("--input")) o.input = absolutePath(args.get("--input"));
    if (args.has("--output")) o.output = absolutePath(args.get("--output"));
    o.loop = args.has("--loop");
    o.audio = !args.has("--no-audio");
    if (args.has("--crf")) o.encoding.crf = int(parseCount("--crf", args.get("--crf"), 0, 51));
    if (args.has("--preset") && !media::isH264Preset(o.encoding.preset = args.get("--preset")))
        throw UsageError("--preset: unknown H.264 preset '" + o.encoding.preset +
                         "' (ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow, placebo)");
    if (args.has("--gif-palette")) {
        o.encoding.gifColours = parseCount("--gif-palette", args.get("--gif-palette"), 8, 256);
        if (o.encoding.gifColours & (o.encoding.gifColours - 1))
            throw UsageError("--gif-palette must be 8, 16, 32, 64, 128 or 256, got " + args.get("--gif-palette"));
    }
    if (args.has("--gif-dither") && !(o.encoding.gifDither = media::gifDitherCode(args.get("--gif-dither"))))
        throw UsageError(
            "--gif-dither: unknown kernel '" + args.get("--gif-dither") +
            "' (none, floyd-steinberg, jarvis, stucki, atkinson, burkes, sierra, sierra2, sierra-lite, stevenson-arce, "
            "ordered-2x2, ordered-4x4, ordered-8x8)");
    // The chain in command-line order; each --param belongs to the nearest
    // --effect or --module before it (or to the first, when it comes earlier).
    for (const auto& [name, value] : args.ordered) {
        if (name == "--effect" || name == "--module") o.chain.push_back({chooseModule(name, value), {}});
    }
    if (o.chain.empty()) o.chain.push_back({chooseModule("", ""), {}});
    size_t effects = 0;
    for (const auto& [name, value] : args.ordered) {
        if (name == "--effect" || name == "--module") ++effects;
        if (name == "--param") o.chain[effects > 0 ? effects - 1 : 0].params.push_back(value);
    }
    return o;
}

// "frame 12/300, 24.1 fps, 0:12 left" on one line that keeps being redrawn.
class Progress {
public:
    Progress(uint32_t frames, bool shown) : frames(frames), shown(shown), start(std::chrono::steady_clock::now()) {}
    void done(uint32_t count) {
        if (!shown) return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = seconds > 0 ? count / seconds : 0;
        const long left = rate > 0 ? std::lround((frames - count) / rate) : 0;
        char line[96];
        std::snprintf(line, sizeof line, "\rframe %u/%u, %.1f fps, %ld:%02ld left ", count, frames, rate, left / 60,
                      left % 60);
        std::cerr << line << std::flush;
        if (count == frames) std::cerr << "\n";
    }

private:
    uint32_t frames;
    bool shown;
    std::chrono::steady_clock::time_point start;
};

}  // namespace

int runRender(const std::vector<std::string>& argv) {
    ParsedArgs args =
        parseArgs("render", argv, {{"--module", nullptr, true, true},       {"--effect", nullptr, true, true},
                                   {"--input", "-i", true, false},          {"--size", nullptr, true, false},
                                   {"--output", "-o", true, false},         {"--depth", nullptr, true, false},
                                   {"--host", nullptr, true, false},        {"--time", nullptr, true, false},
                                   {"--frames", nullptr, true, false},      {"--fps", nullptr, true, false},
                                   {"--param", "-p", true, true},           {"--downsample", nullptr, true, false},
                                   {"--par", nullptr, true, false},         {"--first-frame", nullptr, true, false},
                                   {"--loop", nullptr, false, false},       {"--no-audio", nullptr, false, false},
                                   {"--crf", nullptr, true, false},         {"--preset", nullptr, true, false},
                                   {"--gif-palette", nullptr, true, false}, {"--gif-dither", nullptr, true, false}});
    if (args.has("--help")) {
        std::cout << kHelp;
        return 0;
    }
    if (!args.positional.empty()) throw UsageError("unexpected argument '" + args.positional[0] + "' for 'render'");
    RenderJob job = readOptions(args);
    // Paths are absolute from here on: --effect changes the current folder.
    job.baseDir = absolutePath(".");
    std::optional<Progress> progress;
    render::RenderEvents events;
    events.started = [&](uint32_t frames) { progress.emplace(frames, frames > 1 && isatty(STDERR_FILENO)); };
    events.frameDone = [&](uint32_t done, uint32_t) { progress->done(done); };
    events.note = [](const std::string& text) { std::cerr << "lumivex: note: " << text << "\n"; };
    try {
        const std::string effectMessage = render::runRenderJob(std::move(job), events);
        if (effectMessage.empty()) return 0;
        std::cerr << "lumivex: the effect reported an error; the frame shows it: " << effectMessage << "\n";
        return 3;
    } catch (const render::Interrupted& e) {
        // The job has cleaned up; the process then ends as the signal would
        // have ended it, so that a shell or scheduler sees why.
        std::cerr << "lumivex: " << e.what() << "\n";
        std::signal(e.signal, SIG_DFL);
        std::raise(e.signal);
        return 128 + e.signal;
    }
}

}  // namespace tools
