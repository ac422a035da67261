#include "render/RenderJob.h"

#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <climits>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <numeric>
#include <optional>
#include <set>

#include "media/Still.h"
#include "Keyframes.h"
#include "render/TestCard.h"

namespace render {
namespace {

using hostsim::Error;
using media::isWritableImageName;
using media::readImage;
using media::writeImage;

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

// A refused popup value, with the popup's entries to choose from.
[[noreturn]] void refusePopup(const hostsim::Host& host, int32_t index, const std::string& why) {
    std::vector<std::string> choices = host.popupChoices(index);
    std::string entries;
    for (size_t i = 0; i < choices.size(); ++i) entries += (i ? ", " : "") + std::to_string(i + 1) + " " + choices[i];
    throw UsageError(why + "; the entries are: " + entries);
}

// A colour's R,G,B[,A] from 0 to 255 with A 255 when left out, or a point's
// X,Y (2D) or X,Y,Z, Z 0 for a 2D point; `shown` is the value as given.
std::vector<double> components(const PF_ParamDef& def, std::vector<double> v, const std::string& shown) {
    const std::string what = "parameter '" + std::string(def.name) + "'";
    const size_t count = def.param_type == PF_Param_COLOR ? 4 : def.param_type == PF_Param_POINT ? 2 : 3;
    if (v.size() != count && !(count == 4 && v.size() == 3))
        throw UsageError(what + " needs " + std::to_string(count == 4 ? 3 : count) + " comma-separated numbers, got '" +
                         shown + "'");
    if (def.param_type != PF_Param_COLOR) {
        v.resize(3, 0.0);
        return v;
    }
    for (double c : v)
        if (c < 0 || c > 255) throw UsageError(what + ": colour components run from 0 to 255, got '" + shown + "'");
    v.resize(4, 255.0);
    return v;
}

// The numbers a --param value stands for: a slider or angle its number, a
// checkbox 0 or 1, a popup its entry from 1, a colour R,G,B,A from 0 to 255,
// a point X,Y,Z (Z 0 for a 2D point).
std::vector<double> paramNumbers(const hostsim::Host& host, int32_t index, const std::string& text) {
    const PF_ParamDef& def = host.param(index);
    const std::string what = "parameter '" + std::string(def.name) + "'";
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER:
        case PF_Param_ANGLE: return {parseNumber(what, text)};
        case PF_Param_CHECKBOX:
            if (text != "true" && text != "false" && text != "1" && text != "0")
                throw UsageError(what + " is a checkbox: use true or false, not '" + text + "'");
            return {text == "true" || text == "1" ? 1.0 : 0.0};
        case PF_Param_POPUP: {
            std::vector<std::string> choices = host.popupChoices(index);
            for (size_t i = 0; i < choices.size(); ++i)
                if (choices[i] == text) return {double(i + 1)};
            try {
                return {double(parseCount(what, text, 1, uint32_t(std::max<size_t>(choices.size(), 1))))};
            } catch (const UsageError& e) {
                refusePopup(host, index, e.what());
            }
        }
        case PF_Param_COLOR:
        case PF_Param_POINT:
        case PF_Param_POINT_3D: return components(def, parseNumberList(what, text), text);
        default: throw UsageError(what + " cannot be set from the command line");
    }
}

// The numbers a typed value stands for: a text as --param reads it, else
// true/false or a number for a checkbox, a number for a slider, an angle or
// a popup (its entry from 1), an array of numbers for a colour or a point.
std::vector<double> paramNumbers(const hostsim::Host& host, int32_t index, const nlohmann::json& value) {
    if (value.is_string()) return paramNumbers(host, index, value.get_ref<const std::string&>());
    const PF_ParamDef& def = host.param(index);
    const std::string what = "parameter '" + std::string(def.name) + "'", shown = value.dump();
    std::vector<double> v;
    if (value.is_number()) v.push_back(value.get<double>());
    for (const nlohmann::json& n : value.is_array() ? value : nlohmann::json::array())
        if (n.is_number()) v.push_back(n.get<double>());
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER:
        case PF_Param_ANGLE:
            if (value.is_number()) return v;
            throw UsageError(what + " needs a number, got '" + shown + "'");
        case PF_Param_CHECKBOX:
            if (value.is_boolean()) return {value.get<bool>() ? 1.0 : 0.0};
            if (value.is_number() && (v[0] == 0 || v[0] == 1)) return v;
            throw UsageError(what + " is a checkbox: use true or false, not '" + shown + "'");
        case PF_Param_POPUP: {
            const size_t entries = std::max<size_t>(host.popupChoices(index).size(), 1);
            if (value.is_number() && v[0] == std::trunc(v[0]) && v[0] >= 1 && v[0] <= double(entries)) return v;
            refusePopup(host, index,
                        what + " needs a whole number from 1 to " + std::to_string(entries) + ", got '" + shown + "'");
        }
        case PF_Param_COLOR:
        case PF_Param_POINT:
        case PF_Param_POINT_3D:
            // An array with anything but numbers in it counts as none.
            if (!value.is_array() || v.size() != value.size()) v.clear();
            return components(def, v, shown);
        default: throw UsageError(what + " cannot be set from the command line");
    }
}

void setNumbers(hostsim::Host& host, int32_t index, const std::vector<double>& v) {
    switch (host.param(index).param_type) {
        case PF_Param_CHECKBOX: return host.setCheckbox(index, v[0] != 0);
        case PF_Param_POPUP: return host.setPopup(index, int32_t(std::lround(v[0])));
        case PF_Param_COLOR: {
            const float rgba[4] = {float(v[0] / 255), float(v[1] / 255), float(v[2] / 255), float(v[3] / 255)};
            return host.setColor(index, rgba);
        }
        case PF_Param_POINT:
        case PF_Param_POINT_3D: return host.setPoint(index, v.data());
        default: return host.setFloat(index, v[0]);
    }
}

// Sets a value; one the host refuses (out of range) is a usage error.
void setValue(hostsim::Host& host, int32_t index, const std::function<void()>& setter) {
    try {
        setter();
    } catch (const UsageError&) {
        throw;
    } catch (const Error& e) {
        if (host.param(index).param_type == PF_Param_LAYER) throw;  // an unreadable image
        throw UsageError(e.what());
    }
}

// A value set and announced to the module as a user change.
void changeValue(hostsim::Host& host, int32_t index, const std::string& name, const std::function<void()>& setter) {
    setValue(host, index, setter);
    check(host.userChangedParam(index), "change of parameter '" + name + "'", host);
}

// A parameter's index by the name the host shows.
int32_t paramIndex(const hostsim::Host& host, const std::string& name) {
    const int32_t index = host.findParam(name);
    if (index >= 0) return index;
    std::string known;
    for (const std::string& n : host.paramNames()) known += (known.empty() ? "" : ", ") + n;
    throw UsageError("unknown parameter '" + name + "'; the effect has: " + (known.empty() ? "no parameters" : known));
}

struct Assignment {
    std::string name, text;
    int32_t index;
};

// NAME=VALUE, with NAME looked up among the names the host shows.
Assignment parseAssignment(const hostsim::Host& host, const std::string& assignment) {
    size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("--param needs NAME=VALUE, got '" + assignment + "'");
    std::string name = assignment.substr(0, eq);
    return {name, assignment.substr(eq + 1), paramIndex(host, name)};
}

// One effect instance of the chain and what changes in it from frame to frame.
struct Instance {
    ModuleChoice choice;
    std::unique_ptr<hostsim::Host> host;
    struct Animated {
        int32_t index;
        std::string name;
        Keyframes keys;
        std::vector<double> last;
    };
    std::vector<Animated> animated;
    struct LayerClip {
        int32_t index;
        std::unique_ptr<media::VideoReader> reader;
        hostsim::Image picture;  // storage for the reader's next picture
    };
    std::vector<LayerClip> layers;
    std::vector<std::string> sources;  // files given to layer parameters

    // The module's current folder is its effect folder while it runs.
    void enter() const {
        if (!choice.effectDir.empty() && chdir(choice.effectDir.c_str()) != 0)
            throw Error("cannot enter effect folder " + choice.effectDir + ": " + std::strerror(errno));
    }

    void set(int32_t index, const std::function<void()>& setter) { setValue(*host, index, setter); }
    void change(int32_t index, const std::string& name, const std::function<void()>& setter) {
        changeValue(*host, index, name, setter);
    }

    // --param NAME=VALUE: a value, keys, or for a layer an image or clip.
    void applyParam(const std::string& assignment, const std::string& baseDir,
                    const media::ReaderOptions& clipOptions) {
        // Named, not a structured binding: the lambdas below capture them.
        const Assignment parsed = parseAssignment(*host, assignment);
        const std::string &name = parsed.name, &text = parsed.text;
        const int32_t index = parsed.index;
        const auto type = host->param(index).param_type;
        if (type == PF_Param_LAYER) {
            const std::string file = (std::filesystem::path(baseDir) / text).lexically_normal().string();
            sources.push_back(file);
            if (media::isClipName(file)) {
                layers.push_back({index, std::make_unique<media::VideoReader>(file, clipOptions), {}});
                return change(index, name, [&] { showLayerClip(layers.back(), clipOptions.start); });
            }
            return change(index, name, [&] { host->setLayer(index, readImage(file)); });
        }
        if (Keyframes::isAnimated(text)) {
            const bool smooth = type != PF_Param_POPUP && type != PF_Param_CHECKBOX;
            Keyframes keys(
                "--param " + name, text, [&](const std::string& v) { return paramNumbers(*host, index, v); }, smooth);
            // Every key is tried now, so that a value out of range stops the
            // render before its first frame; each frame's value is set later.
            for (const Keyframe& key : keys.all()) set(index, [&] { setNumbers(*host, index, key.value); });
            animated.push_back({index, name, std::move(keys), {}});
            return;
        }
        std::vector<double> v = paramNumbers(*host, index, text);
        change(index, name, [&] { setNumbers(*host, index, v); });
    }

    // Values at `seconds`, announced as user changes where they differ
    // from the last frame's.
    void advance(double seconds) {
        for (Animated& a : animated) {
            std::vector<double> v = a.keys.at(seconds);
            if (v == a.last) continue;
            change(a.index, a.name, [&] { setNumbers(*host, a.index, v); });
            a.last = std::move(v);
        }
        for (LayerClip& l : layers) showLayerClip(l, seconds);
    }

    // The layer shows the clip's picture at `seconds`, handed over only
    // when it is not the one shown already.
    void showLayerClip(LayerClip& l, double seconds) {
        if (l.reader->takeFrameAt(seconds, l.picture)) host->setLayer(l.index, std::move(l.picture));
    }
};

// A copy of a module file under a temporary name, deleted again when the
// job ends (a loaded module stays mapped after its file is gone).
struct PrivateCopy {
    std::string path;
    explicit PrivateCopy(const std::string& original) {
        std::string name = (std::filesystem::temp_directory_path() / "lumivex-module-XXXXXX").string();
        int fd = mkstemp(name.data());
        if (fd < 0) throw Error("cannot copy module " + original + ": " + std::strerror(errno));
        close(fd);
        std::error_code ec;
        std::filesystem::copy_file(original, name, std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            std::remove(name.c_str());
            throw Error("cannot copy module " + original + " to " + name + ": " + ec.message());
        }
        path = name;
    }
    PrivateCopy(PrivateCopy&& other) noexcept : path(std::move(other.path)) { other.path.clear(); }
    PrivateCopy(const PrivateCopy&) = delete;
    ~PrivateCopy() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

// A host renders an effect only at the depths its flags declare; a 16-bit
// or float frame of any other effect is refused here, with the flag named,
// rather than rendered in a way no host would.
void checkDepth(uint32_t depth, const hostsim::Registration& reg) {
    if (depth == 16 && !(reg.outFlags & PF_OutFlag_DEEP_COLOR_AWARE))
        throw UsageError(
            "--depth 16: the effect does not declare 16-bit frames (bit 0x02000000 of FLAGS in its config.xml)");
    if (depth == 32 && !(reg.outFlags2 & PF_OutFlag2_FLOAT_COLOR_AWARE))
        throw UsageError(
            "--depth 32: the effect does not declare float frames (bit 0x1000 of FLAGS2 in its config.xml)");
}

// The signal (SIGINT or SIGTERM) that asked the running job to stop, or 0.
volatile std::sig_atomic_t stopRequest = 0;

// While a job runs, SIGINT and SIGTERM (a scheduler preempting it) stop it
// between frames, so that its partial output is removed rather than left
// behind; the previous handlers come back when the job ends. A signal the
// command was started ignoring stays ignored.
class StopSignals {
public:
    StopSignals() {
        stopRequest = 0;
        struct sigaction catcher {};
        catcher.sa_handler = [](int signal) { stopRequest = signal; };
        sigemptyset(&catcher.sa_mask);
        for (size_t k = 0; k < 2; ++k) {
            sigaction(kSignals[k], nullptr, &previous[k]);
            if (previous[k].sa_handler != SIG_IGN) sigaction(kSignals[k], &catcher, nullptr);
        }
    }
    ~StopSignals() {
        for (size_t k = 0; k < 2; ++k) sigaction(kSignals[k], &previous[k], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Throws Interrupted once a signal has come.
    static void check(uint32_t frame, uint32_t frames) {
        if (const int signal = stopRequest)
            throw Interrupted(signal, std::string("stopped by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                                          " before frame " + std::to_string(frame + 1) + " of " +
                                          std::to_string(frames) + "; nothing more was written");
    }

private:
    static constexpr int kSignals[2] = {SIGINT, SIGTERM};
    struct sigaction previous[2];
};

// Writes one image file under a hidden temporary name beside it and renames
// it when complete, so that a write stopped halfway (a full disk) leaves no
// file that looks whole.
void writeFrameFile(const std::string& name, const hostsim::Image& image, uint32_t depth) {
    const std::filesystem::path p(name);
    const std::string temp = (p.parent_path() / ("." + p.stem().string() + ".part" + p.extension().string())).string();
    try {
        writeImage(temp, image, depth);
    } catch (const media::Error& e) {
        std::remove(temp.c_str());
        std::string message = e.what();
        if (size_t at = message.find(temp); at != std::string::npos) message.replace(at, temp.size(), name);
        throw Error(message);
    }
    if (std::rename(temp.c_str(), name.c_str()) != 0) {
        const int error = errno;
        std::remove(temp.c_str());
        throw Error("cannot write " + name + ": " + std::strerror(error));
    }
}

// Refuses an output that would replace a file the job reads: the input
// clip, image or sequence, or a layer's file, also under another name (a
// link, a relative path). `outputs` are the names the job writes; a
// numbered output is refused too when it names the same sequence as a
// numbered input, whose later files it would write while they are read.
void refuseOverwritingSources(const std::vector<std::string>& sources, const std::string& output,
                              const std::vector<std::string>& outputs) {
    namespace fs = std::filesystem;
    auto identity = [](const std::string& file, std::pair<dev_t, ino_t>& id) {
        struct stat st;
        if (::stat(file.c_str(), &st) != 0) return false;
        id = {st.st_dev, st.st_ino};
        return true;
    };
    auto sequenceName = [](const std::string& pattern) {
        std::error_code ec;
        const fs::path p(pattern);
        const fs::path folder = fs::weakly_canonical(p.parent_path(), ec);
        return (ec ? p.parent_path() : folder) / p.filename();
    };
    std::map<std::pair<dev_t, ino_t>, std::string> read;
    for (const std::string& source : sources) {
        const bool sequence = media::isSequencePattern(source);
        if (sequence && media::isSequencePattern(output) && sequenceName(source) == sequenceName(output))
            throw UsageError("--output " + output + " names the same files as the input sequence " + source +
                             "; choose another output name");
        for (const std::string& file : sequence ? media::sequenceFileNames(source) : std::vector<std::string>{source}) {
            std::pair<dev_t, ino_t> id;
            if (identity(file, id)) read.emplace(id, file);
        }
    }
    for (const std::string& file : outputs) {
        std::pair<dev_t, ino_t> id;
        if (!identity(file, id)) continue;
        if (auto found = read.find(id); found != read.end())
            throw UsageError("--output " + file + " is the file " + found->second +
                             " that the render reads; choose another output name");
    }
}

}  // namespace

void applyValue(hostsim::Host& host, const std::string& name, const nlohmann::json& value, const std::string& baseDir) {
    const int32_t index = paramIndex(host, name);
    if (host.param(index).param_type == PF_Param_LAYER) {
        if (!value.is_string())
            throw UsageError("parameter '" + name + "' needs an image file, got '" + value.dump() + "'");
        const std::string file =
            (std::filesystem::path(baseDir) / value.get_ref<const std::string&>()).lexically_normal().string();
        return changeValue(host, index, name, [&] { host.setLayer(index, readImage(file)); });
    }
    const std::vector<double> v = paramNumbers(host, index, value);
    changeValue(host, index, name, [&] { setNumbers(host, index, v); });
}

void keepFramesInTheHeap() {
#ifdef __GLIBC__
    // Frames pass between reader, host and writer as pictures of 8 to 33 MB
    // at 1080p, above the size the allocator maps fresh for each one: kept
    // in the heap, each frame reuses the pages of the last one instead of
    // faulting in and zeroing new ones.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
}

std::string runRenderJob(RenderJob job, const RenderEvents& events) {
    keepFramesInTheHeap();
    StopSignals stopSignals;
    hostsim::HostConfig& c = job.config;
    // The input: a clip or sequence read as the frames go, else one picture.
    std::unique_ptr<media::VideoReader> clip;
    hostsim::Image still;
    media::ReaderOptions clipOptions;
    clipOptions.loop = job.loop;
    // The rate as num/den frames a second. The host counts time in steps of
    // 1/timeScale s, timeStep to a frame: about a thousand steps to a frame
    // where the fraction allows (times between frames stay close), fewer
    // for a fraction such as 30000/1001, which is kept exact.
    auto setRate = [&](uint32_t num, uint32_t den) {
        const uint32_t g = std::gcd(num, den);
        num /= g;
        den /= g;
        const uint32_t steps = std::max(1u, std::min(1000 / den, UINT32_MAX / num));
        c.timeScale = num * steps;
        c.timeStep = int32_t(den * steps);
        job.fps = double(num) / den;
        clipOptions.sequenceRateNum = c.timeScale;
        clipOptions.sequenceRateDen = uint32_t(c.timeStep);
    };
    // --fps is kept to three decimals.
    setRate(uint32_t(std::lround(job.fps * 1000)), 1000);
    // At 8 bits, 8-bit clips stay bytes from decoder to world and from world
    // to encoder: the same values as through floats, without the round trip.
    const bool eightBit = c.depth == 8;
    clipOptions.eightBit = eightBit;
    const bool clipInput = !job.input.empty() && media::isClipName(job.input);
    media::ClipInfo info;
    if (clipInput) {
        info = media::probeClip(job.input, clipOptions);
        if (info.interlaced)
            if (events.note)
                events.note(job.input +
                            " is interlaced; each frame's two fields go to the effect as one picture and come"
                            " out progressive (deinterlace it first where that matters)");
        if (!job.parGiven && info.aspectNum != info.aspectDen)
            c.pixelAspect = {int32_t(std::min<uint32_t>(info.aspectNum, INT32_MAX)), info.aspectDen};
        if (!job.fpsGiven && !media::isSequencePattern(job.input)) {
            if (info.rateDen <= 1000 && info.rateNum <= 1000000) setRate(info.rateNum, info.rateDen);
            else setRate(uint32_t(std::lround(double(info.rateNum) / info.rateDen * 1000)), 1000);
        }
        if (!job.framesGiven) {
            // Every frame of the clip from the start time on, at the render rate.
            const double length = double(info.frameCount) * info.rateDen / info.rateNum;
            const long long all = std::llround(length * job.fps) - std::llround(job.time * job.fps) - job.firstFrame;
            if (all <= 0) throw UsageError("--time and --first-frame start past the end of " + job.input);
            job.frames = uint32_t(std::min<long long>(all, 1000000));
        }
    } else if (!job.input.empty()) {
        still = readImage(job.input);
    } else {
        still = makeTestCard(job.width, job.height);
    }
    const long long firstTime = std::llround(job.time * c.timeScale);
    if (firstTime + (job.firstFrame + job.frames - 1.0) * c.timeStep > double(INT32_MAX))
        throw UsageError("--time and --frames reach past the host's time range at this frame rate");
    auto secondsOf = [&](uint32_t i) {
        return double(firstTime + int64_t(job.firstFrame + i) * c.timeStep) / c.timeScale;
    };
    // Clips start decoding near the slice's first frame.
    clipOptions.start = secondsOf(0);
    if (clipInput) clip = std::make_unique<media::VideoReader>(job.input, clipOptions, info);

    const bool video = media::isVideoOutputName(job.output);
    if (job.output.empty())
        job.output =
            (std::filesystem::path(job.baseDir) / (job.frames > 1 ? "render.%04d.png" : "render.png")).string();
    FrameName names = parseFrameName(job.output);
    if (!video && !isWritableImageName(job.output))
        throw UsageError("--output " + job.output + ": use a .png, .exr, .mp4, .mov, .webm, .mkv or .gif name");
    if (!video && job.frames > 1 && !names.numbered)
        throw UsageError("--frames " + std::to_string(job.frames) + " needs a frame number such as %04d in --output");
    if (job.chain.size() > 1 && (c.downsampleX.den != 1 || c.downsampleY.den != 1))
        throw UsageError("--downsample renders one effect; it cannot be used with a chain of effects");

    // One loaded module per file and folder, however many instances use it.
    // The engine module runs one effect folder per loaded copy (its package
    // state is the module's own), so a second folder gets a private copy of
    // the file, as each packaged effect is a module file of its own.
    std::map<std::string, std::unique_ptr<hostsim::Module>> modules;
    std::map<std::string, int> folderCopies;
    std::vector<PrivateCopy> copies;
    std::vector<Instance> chain(job.chain.size());
    // Storage passed between the clip's reader and the first instance: a
    // new picture goes to the host by move, and the one it replaces back to
    // the reader to convert into, so that no frame is copied or allocated.
    hostsim::Image picture;
    if (clip) clip->takeFrameAt(secondsOf(0), picture);
    const hostsim::Image& first = clip ? picture : still;
    for (size_t k = 0; k < chain.size(); ++k) {
        Instance& in = chain[k];
        in.choice = job.chain[k].choice;
        std::unique_ptr<hostsim::Module>& module = modules[in.choice.path + "\n" + in.choice.effectDir];
        if (!module) {
            if (!in.choice.effectDir.empty() && folderCopies[in.choice.path]++ > 0) {
                copies.emplace_back(in.choice.path);
                in.choice.path = copies.back().path;
            }
            hostsim::Registration reg = readRegistration(in.choice);
            checkDepth(c.depth, reg);
            module = loadModule(in.choice, reg);
        }
        in.enter();
        in.host = std::make_unique<hostsim::Host>(*module, c);
        in.host->setInput(first);
        check(in.host->globalSetup(), "global setup", *in.host);
        check(in.host->paramsSetup(), "parameter setup", *in.host);
        check(in.host->sequenceSetup(), "sequence setup", *in.host);
        for (const std::string& assignment : job.chain[k].params) in.applyParam(assignment, job.baseDir, clipOptions);
        check(in.host->updateParamsUI(), "parameter UI update", *in.host);
    }

    const long long firstNumber = std::llround(job.time * job.fps) + job.firstFrame;
    {
        std::vector<std::string> sources, outputs;
        if (!job.input.empty()) sources.push_back(job.input);
        for (const Instance& in : chain) sources.insert(sources.end(), in.sources.begin(), in.sources.end());
        for (uint32_t i = 0; i < (names.numbered ? job.frames : 1); ++i) outputs.push_back(names.at(firstNumber + i));
        refuseOverwritingSources(sources, job.output, outputs);
    }

    std::unique_ptr<media::VideoWriter> writer;
    // A spent frame (written, or an input a later instance let go of) whose
    // storage the next render reads back into.
    hostsim::Image spent;
    if (events.started) events.started(job.frames);
    std::string effectMessage;
    for (uint32_t i = 0; i < job.frames; ++i) {
        StopSignals::check(i, job.frames);
        const double seconds = secondsOf(i);
        const int32_t time = int32_t(firstTime + int64_t(job.firstFrame + i) * c.timeStep);
        hostsim::RenderResult frame;
        for (size_t k = 0; k < chain.size(); ++k) {
            Instance& in = chain[k];
            in.enter();
            if (k > 0) spent = in.host->setInput(std::move(frame.image));
            else if (clip && i > 0 && clip->takeFrameAt(seconds, picture))
                picture = in.host->setInput(std::move(picture));
            in.advance(seconds);
            // A picture moved into the last render is empty again.
            // NOLINTNEXTLINE(bugprone-use-after-move)
            if (eightBit && spent.empty()) spent = hostsim::Image::eightBit(first.width, first.height);
            frame = in.host->render(time, std::move(spent));
            if (frame.result != PF_Err_NONE)
                check(frame.result,
                      hostsim::commandName(frame.failedCommand) + " of frame " + std::to_string(firstNumber + i),
                      *in.host);
            // What the render command reported: the engine's shader or
            // script error text, which the frame shows as well.
            if (effectMessage.empty()) effectMessage = effectError(frame);
        }
        if (video) {
            if (!writer) {
                media::WriterOptions w = job.encoding;
                w.width = frame.image.width;
                w.height = frame.image.height;
                const uint32_t g = std::gcd(c.timeScale, uint32_t(c.timeStep));
                w.rateNum = c.timeScale / g;
                w.rateDen = uint32_t(c.timeStep) / g;
                w.depth = c.depth;
                w.aspectNum = uint32_t(std::max(c.pixelAspect.num, 1));
                w.aspectDen = std::max(c.pixelAspect.den, 1u);
                if (job.audio && clip && !media::isSequencePattern(job.input) && clip->info().hasAudio) {
                    w.audioFrom = job.input;
                    w.audioStart = seconds;
                    if (job.loop)
                        w.audioLoop = double(clip->info().frameCount) * clip->info().rateDen / clip->info().rateNum;
                }
                writer = std::make_unique<media::VideoWriter>(job.output, w);
            }
            spent = writer->write(std::move(frame.image));
        } else {
            writeFrameFile(names.at(firstNumber + i), frame.image, c.depth);
            spent = std::move(frame.image);
        }
        if (events.frameDone) events.frameDone(i + 1, job.frames);
    }
    if (writer) writer->finish();
    for (Instance& in : chain) {
        in.enter();
        in.host->finish();
    }
    return effectMessage;
}

}  // namespace render
