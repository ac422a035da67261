// The exported frei0r functions: the plug-in's global state, its instances
// and the frame path. See Frei0rGlue.h for the rules.
// The API's header has no C++ guards of its own.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Frei0rGlue.h"
#include "platform/Mutex.h"
#include "platform/Resources.h"
#include "script/IPlugin.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// The .def file names the exports.
#define LUMIVEX_F0R_EXPORT extern "C"
#else
#define LUMIVEX_F0R_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace frei0r {

namespace {

constexpr int kTextAbout = 0;
constexpr int kTextName = 1;

// What the plug-in tells its host, read from the engine once it is up.
struct Glue {
    platform::Mutex entry;  // every frei0r call runs alone under it
    bool ready = false;
    std::string name, author, explanation;
    EffectVersion version = 0;
    std::vector<Slot> slots;
};

// Made on the first call and never destroyed: host threads may still call
// in while the process exits.
Glue& glue() {
    static Glue* const instance = new Glue();
    return *instance;
}

class EntryGuard {
public:
    EntryGuard() { glue().entry.wait(); }
    ~EntryGuard() { glue().entry.release(); }
    EntryGuard(const EntryGuard&) = delete;
    EntryGuard& operator=(const EntryGuard&) = delete;
};

// The author: the about text's "Credit: " line (as imported effects carry
// it), else the engine's name.
std::string authorOf(const std::string& about) {
    const std::string mark = "Credit: ";
    size_t start = 0;
    while (start < about.size()) {
        size_t end = about.find('\n', start);
        if (end == std::string::npos) end = about.size();
        if (about.compare(start, mark.size(), mark) == 0)
            return about.substr(start + mark.size(), end - start - mark.size());
        start = end + 1;
    }
    return "Lumivex";
}

// The about text without its first line when that only repeats the name.
std::string explanationOf(const std::string& about, const std::string& name) {
    const size_t end = about.find('\n');
    if (end != std::string::npos && about.compare(0, end, name) == 0) return about.substr(end + 1);
    return about;
}

// Keeps the plug-in mapped until the process ends once the engine starts: a
// host may unload the library after each filter, and the engine, its GL
// context and its script must outlive that (the Linux build links with
// -z nodelete instead).
void keepLoaded() {
#ifdef _WIN32
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&keepLoaded), &self);
#endif
}

// Brings the engine up once per process (global setup): the package, the
// configuration, the GL context and the script, whose setup() declares the
// parameters. A failed start is tried again at the next call.
bool ensureReady() {
    Glue& g = glue();
    if (g.ready) return true;
    try {
        keepLoaded();
        script::IPlugin& fx = script::effectPlugin();
        if (!fx.init(const_cast<void*>(platform::currentModule()))) return false;
        g.name = fx.getText(kTextName);
        const std::string about = fx.getText(kTextAbout);
        g.author = authorOf(about);
        g.explanation = explanationOf(about, g.name);
        fx.getVersion(&g.version);
        fx.setSequence(nullptr);  // the declared parameters, not an instance's copies
        g.slots = exposedParams(fx);
        g.ready = true;
    } catch (...) {
        g.ready = false;
    }
    return g.ready;
}

// Holds the engine's GL lock for one scope when the take succeeds.
class GLScope {
public:
    GLScope() : held(script::effectPlugin().lockGL()) {}
    ~GLScope() {
        if (held) script::effectPlugin().unlockGL();
    }
    GLScope(const GLScope&) = delete;
    GLScope& operator=(const GLScope&) = delete;
    bool taken() const { return held; }

private:
    bool held;
};

// One RGBA8888 pixel as a little-endian word and the engine's alpha, red,
// green, blue order: a turn of the word by one byte either way.
inline uint32_t toEngineOrder(uint32_t rgba) { return (rgba << 8) | (rgba >> 24); }
inline uint32_t toHostOrder(uint32_t argb) { return (argb >> 8) | (argb << 24); }

class Instance {
public:
    Instance(uint32_t width, uint32_t height) : width(width), height(height) {
        script::IPlugin& fx = script::effectPlugin();
        handle = fx.newSequence();
        // Every parameter starts at its declared default, as the host's
        // parameters do.
        fx.setSequence(nullptr);
        for (const Slot& slot : glue().slots) values.push_back(defaultValue(fx.getParam(slot.position), width, height));
    }
    ~Instance() { script::effectPlugin().deleteSequence(handle); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void set(int index, const void* param);
    void get(int index, void* param) const;
    void update(double time, const uint32_t* in, uint32_t* out);
    // The input as it is, or transparent black without one.
    void passThrough(const uint32_t* in, uint32_t* out) const;

private:
    void applyValues();
    void copyOut(const uint32_t* readback, uint32_t outW, uint32_t outH, int64_t originX, int64_t originY,
                 uint32_t* out) const;
    size_t pixels() const { return size_t(width) * height; }

    uint32_t width, height;
    script::SequenceHandle* handle = nullptr;
    std::vector<Value> values;      // by slot, in frei0r's terms
    std::vector<uint32_t> staging;  // the input frame in the engine's order
};

void Instance::set(int index, const void* param) {
    if (!param || index < 0 || static_cast<size_t>(index) >= values.size()) return;
    Value& v = values[index];
    switch (glue().slots[index].type) {
        case F0R_PARAM_BOOL:
        case F0R_PARAM_DOUBLE: v.x = *static_cast<const double*>(param); break;
        case F0R_PARAM_COLOR: {
            const auto* c = static_cast<const f0r_param_color_t*>(param);
            v.x = c->r;
            v.y = c->g;
            v.z = c->b;
            break;
        }
        case F0R_PARAM_POSITION: {
            const auto* p = static_cast<const f0r_param_position_t*>(param);
            v.x = p->x;
            v.y = p->y;
            break;
        }
        case F0R_PARAM_STRING: {
            const char* text = *static_cast<const f0r_param_string*>(param);
            v.text = text ? text : "";
            break;
        }
        default: break;
    }
}

void Instance::get(int index, void* param) const {
    if (!param || index < 0 || static_cast<size_t>(index) >= values.size()) return;
    const Value& v = values[index];
    switch (glue().slots[index].type) {
        case F0R_PARAM_BOOL:
        case F0R_PARAM_DOUBLE: *static_cast<double*>(param) = v.x; break;
        case F0R_PARAM_COLOR: *static_cast<f0r_param_color_t*>(param) = {float(v.x), float(v.y), float(v.z)}; break;
        case F0R_PARAM_POSITION: *static_cast<f0r_param_position_t*>(param) = {v.x, v.y}; break;
        case F0R_PARAM_STRING:
            // The instance's own copy: valid until the value changes.
            *static_cast<f0r_param_string*>(param) = const_cast<char*>(v.text.c_str());
            break;
        default: break;
    }
}

// The instance's values into its Sequence before the script runs, as the
// host glue reads every parameter before a frame.
void Instance::applyValues() {
    script::IPlugin& fx = script::effectPlugin();
    const std::vector<Slot>& slots = glue().slots;
    for (size_t i = 0; i < slots.size(); ++i) {
        float value[4];
        toEngine(fx.getParam(slots[i].position), values[i], width, height, value);
        fx.setParamValue(slots[i].position, value);
    }
}

void Instance::passThrough(const uint32_t* in, uint32_t* out) const {
    if (!out) return;
    if (in) {
        std::memmove(out, in, pixels() * 4);
    } else {
        std::memset(out, 0, pixels() * 4);
    }
}

// Copies the readback (outW x outH, rows bottom-up, alpha, red, green, blue)
// into the frame. The output's top-left corner lies at (originX, originY) in
// the frame, so an output the script enlarged is cropped around the frame
// and a smaller one sits on transparent black.
void Instance::copyOut(const uint32_t* readback, uint32_t outW, uint32_t outH, int64_t originX, int64_t originY,
                       uint32_t* out) const {
    const int64_t x0 = std::max<int64_t>(0, originX);
    const int64_t x1 = std::min<int64_t>(width, originX + outW);
    const bool covered = originX <= 0 && originY <= 0 && originX + outW >= width && originY + outH >= height;
    if (!covered) std::memset(out, 0, pixels() * 4);
    if (x0 >= x1) return;
    for (int64_t y = std::max<int64_t>(0, originY); y < std::min<int64_t>(height, originY + outH); ++y) {
        const uint32_t* from = readback + size_t(outH - 1 - (y - originY)) * outW + (x0 - originX);
        uint32_t* to = out + size_t(y) * width + x0;
        for (int64_t x = 0; x < x1 - x0; ++x) to[x] = toHostOrder(from[x]);
    }
}

void Instance::update(double time, const uint32_t* in, uint32_t* out) {
    if (!out) return;
    script::IPlugin& fx = script::effectPlugin();
    fx.setSequence(handle);
    fx.setContextExtent(width, height, 1.0f);
    applyValues();
    GLScope gl;
    if (!gl.taken()) {
        passThrough(in, out);
        return;
    }
    fx.setFrameTime(time);
    uint32_t outW = width, outH = height;
    fx.preRender(width, height, &outW, &outH);
    script::holdOutputSize(fx, outW, outH);
    // The output centred on the frame; the script reads where the input's
    // top-left corner lies as the negative of this corner.
    const int64_t originX = int64_t{outW / 2} - int64_t{width / 2};
    const int64_t originY = int64_t{outH / 2} - int64_t{height / 2};
    fx.setInputOrigin(static_cast<int32_t>(-originX), static_cast<int32_t>(-originY));
    if (in) {
        staging.resize(pixels());
        for (size_t i = 0; i < staging.size(); ++i) staging[i] = toEngineOrder(in[i]);
        fx.uploadLayer(script::kInputLayerIndex, staging.data(), width, height, 8, static_cast<int32_t>(width * 4));
    }
    fx.render(time, outW, outH, 8);
    const auto* readback = static_cast<const uint32_t*>(fx.readOutput());
    if (readback) {
        copyOut(readback, outW, outH, -originX, -originY, out);
        fx.releaseOutput();
    } else {
        passThrough(in, out);
    }
}

}  // namespace

}  // namespace frei0r

using frei0r::EntryGuard;
using frei0r::glue;
using frei0r::Instance;

LUMIVEX_F0R_EXPORT int f0r_init() {
    EntryGuard guard;
    return frei0r::ensureReady() ? 1 : 0;
}

// The engine lives until the process ends, as after the host's global
// setdown: another f0r_init (a second filter in the same process) finds it.
LUMIVEX_F0R_EXPORT void f0r_deinit() {}

LUMIVEX_F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info) return;
    EntryGuard guard;
    frei0r::ensureReady();
    const auto& g = glue();
    const package::VersionFields version = package::splitVersion(g.version);
    info->name = g.name.c_str();
    info->author = g.author.c_str();
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = static_cast<int>(version.major);
    info->minor_version = static_cast<int>(version.minor);
    info->num_params = static_cast<int>(g.slots.size());
    info->explanation = g.explanation.c_str();
}

LUMIVEX_F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    if (!info) return;
    EntryGuard guard;
    frei0r::ensureReady();
    const auto& slots = glue().slots;
    if (param_index < 0 || static_cast<size_t>(param_index) >= slots.size()) return;
    const frei0r::Slot& slot = slots[param_index];
    info->name = slot.name.c_str();
    info->type = slot.type;
    info->explanation = slot.explanation.c_str();
}

LUMIVEX_F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    EntryGuard guard;
    if (width == 0 || height == 0 || !frei0r::ensureReady()) return nullptr;
    // Rows of a frame are addressed with 32-bit row bytes.
    if (width > INT32_MAX / 4 || uint64_t{width} * height > SIZE_MAX / 4) return nullptr;
    try {
        return new Instance(width, height);
    } catch (...) {
        return nullptr;
    }
}

LUMIVEX_F0R_EXPORT void f0r_destruct(f0r_instance_t instance) {
    EntryGuard guard;
    try {
        delete static_cast<Instance*>(instance);
    } catch (...) {}
}

LUMIVEX_F0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (!instance) return;
    EntryGuard guard;
    try {
        static_cast<Instance*>(instance)->set(param_index, param);
    } catch (...) {}
}

LUMIVEX_F0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    if (!instance) return;
    EntryGuard guard;
    static_cast<Instance*>(instance)->get(param_index, param);
}

LUMIVEX_F0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
    if (!instance) return;
    EntryGuard guard;
    auto* effect = static_cast<Instance*>(instance);
    try {
        effect->update(time, inframe, outframe);
    } catch (...) {
        // The input goes through rather than a half-drawn frame.
        effect->passThrough(inframe, outframe);
    }
}
