#include "hostsim/Host.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>

#include "hostsim/Error.h"
#include "HostState.h"

namespace hostsim {
namespace {

thread_local Host::State* tCurrent = nullptr;

// Makes `state` the running host for the lifetime of the guard.
class CurrentHost {
public:
    explicit CurrentHost(Host::State* state) : previous(tCurrent) { tCurrent = state; }
    ~CurrentHost() { tCurrent = previous; }
    CurrentHost(const CurrentHost&) = delete;
    CurrentHost& operator=(const CurrentHost&) = delete;

private:
    Host::State* previous;
};

const char* const kCommandNames[] = {"ABOUT",
                                     "GLOBAL_SETUP",
                                     "UNUSED_0",
                                     "GLOBAL_SETDOWN",
                                     "PARAMS_SETUP",
                                     "SEQUENCE_SETUP",
                                     "SEQUENCE_RESETUP",
                                     "SEQUENCE_FLATTEN",
                                     "SEQUENCE_SETDOWN",
                                     "DO_DIALOG",
                                     "FRAME_SETUP",
                                     "RENDER",
                                     "FRAME_SETDOWN",
                                     "USER_CHANGED_PARAM",
                                     "UPDATE_PARAMS_UI",
                                     "EVENT",
                                     "GET_EXTERNAL_DEPENDENCIES",
                                     "COMPLETELY_GENERAL",
                                     "QUERY_DYNAMIC_FLAGS",
                                     "AUDIO_RENDER",
                                     "AUDIO_SETUP",
                                     "AUDIO_SETDOWN",
                                     "ARBITRARY_CALLBACK",
                                     "SMART_PRE_RENDER",
                                     "SMART_RENDER"};

const char* typeName(PF_ParamType type) {
    switch (type) {
        case PF_Param_LAYER: return "layer";
        case PF_Param_ANGLE: return "angle";
        case PF_Param_CHECKBOX: return "checkbox";
        case PF_Param_COLOR: return "colour";
        case PF_Param_POINT: return "point";
        case PF_Param_POPUP: return "popup";
        case PF_Param_FLOAT_SLIDER: return "slider";
        case PF_Param_PATH: return "path";
        case PF_Param_GROUP_START: return "group start";
        case PF_Param_GROUP_END: return "group end";
        case PF_Param_POINT_3D: return "3D point";
        default: return "parameter";
    }
}

bool isEmpty(const PF_Rect& r) { return r.left >= r.right || r.top >= r.bottom; }

}  // namespace

Host::State* currentHost() { return tCurrent; }

Host::State* hostOf(PF_ProgPtr ref) { return tCurrent && ref == tCurrent->ref() ? tCurrent : nullptr; }

std::string commandName(PF_Cmd cmd) {
    if (cmd >= 0 && cmd < PF_Cmd_NUM_CMDS) return std::string("PF_Cmd_") + kCommandNames[cmd];
    return "command " + std::to_string(cmd);
}

std::string errorName(PF_Err err) {
    switch (err) {
        case PF_Err_NONE: return "PF_Err_NONE";
        case PF_Err_OUT_OF_MEMORY: return "PF_Err_OUT_OF_MEMORY";
        case PF_Err_INTERNAL_STRUCT_DAMAGED: return "PF_Err_INTERNAL_STRUCT_DAMAGED";
        case PF_Err_INVALID_INDEX: return "PF_Err_INVALID_INDEX";
        case PF_Err_UNRECOGNIZED_PARAM_TYPE: return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
        case PF_Err_INVALID_CALLBACK: return "PF_Err_INVALID_CALLBACK";
        case PF_Err_BAD_CALLBACK_PARAM: return "PF_Err_BAD_CALLBACK_PARAM";
        case PF_Interrupt_CANCEL: return "PF_Interrupt_CANCEL";
        case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT: return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
        case kSPSuiteNotFoundError: return "kSPSuiteNotFoundError";
        default: return "error " + std::to_string(err);
    }
}

// ---- State -------------------------------------------------------------------

Host::State::State(Module& m, HostConfig c) : module(m), config(c) {
    installCallbacks();
    auto inputLayer = std::make_unique<HostParam>();
    inputLayer->def.param_type = PF_Param_LAYER;
    params.push_back(std::move(inputLayer));

    in.utils = &utils;
    in.effect_ref = ref();
    in.version = {config.versionMajor, config.versionMinor};
    in.appl_id = config.kind == HostKind::Editing ? PF_APPL_ID_PREMIERE : PF_APPL_ID_AFTER_EFFECTS;
    in.pica_basicP = &basic;
    presetInData();
}

// The in_data fields every call carries, from the configuration and the
// input layer (current_time is set by whoever chose the time).
void Host::State::presetInData() {
    in.time_step = config.timeStep;
    in.local_time_step = config.timeStep;
    in.time_scale = config.timeScale;
    in.width = int32_t(input.width);
    in.height = int32_t(input.height);
    in.extent_hint = {0, 0, in.width, in.height};
    in.downsample_x = config.downsampleX;
    in.downsample_y = config.downsampleY;
    in.pixel_aspect_ratio = config.pixelAspect;
    in.pre_effect_source_origin_x = config.preEffectOriginX;
    in.pre_effect_source_origin_y = config.preEffectOriginY;
}

void Host::State::resetOut() { std::memset(&out, 0, sizeof out); }

bool Host::State::hasPixelFormat() const {
    if (config.kind == HostKind::Compositing) return true;
    for (uint32_t format : declaredFormats)
        if (depthOfPixelFormat(format) == config.depth) return true;
    return false;
}

uint32_t Host::State::pixelFormat() const {
    if (config.kind == HostKind::Compositing)
        return config.depth == 8    ? PF_PixelFormat_ARGB32
               : config.depth == 16 ? PF_PixelFormat_ARGB64
                                    : PF_PixelFormat_ARGB128;
    // The editing host picks the first format of the depth that the module
    // declared; the code decides the channel order in memory.
    for (uint32_t format : declaredFormats)
        if (depthOfPixelFormat(format) == config.depth) return format;
    throw Error("the module declared no " + std::to_string(config.depth) + "-bit pixel format to the editing host");
}

std::unique_ptr<World> Host::State::makeWorld(uint32_t width, uint32_t height) {
    const uint32_t format = pixelFormat();
    return std::make_unique<World>(width, height, config.depth, orderOfPixelFormat(format), format, config.rowPadding,
                                   config.bottomUp);
}

std::unique_ptr<World> Host::State::makeOutputWorld(uint32_t width, uint32_t height) {
    auto world = makeWorld(width, height);
    if (config.staleOutput) world->fillRect(PF_Pixel{255, 255, 255, 255}, world->def.extent_hint);
    return world;
}

const Image& Host::State::layerImage(int32_t index) const {
    static const Image none;
    if (index == 0) return input;
    const auto& layer = params[size_t(index)]->layer;
    return layer ? *layer : none;
}

// The host renders a layer at the downsampled size: 1/factor of it, rounded up.
uint32_t Host::State::reduction(const PF_RationalScale& r) {
    return r.num > 0 ? std::max(r.den / uint32_t(r.num), 1u) : 1u;
}

bool Host::State::layerSize(int32_t index, uint32_t& width, uint32_t& height) const {
    const Image& full = layerImage(index);
    if (full.width == 0) return false;
    const uint32_t fx = reduction(config.downsampleX), fy = reduction(config.downsampleY);
    width = (full.width + fx - 1) / fx;
    height = (full.height + fy - 1) / fy;
    return true;
}

std::unique_ptr<World> Host::State::makeLayerWorld(int32_t index, std::unique_ptr<World> reuse) {
    const Image& full = layerImage(index);
    if (full.width == 0) return nullptr;
    const uint32_t fx = reduction(config.downsampleX), fy = reduction(config.downsampleY);
    Image small;
    if (fx > 1 || fy > 1) small = downsample(full, fx, fy);
    const Image& shown = small.width > 0 ? small : full;
    const bool fits = reuse && reuse->def.width == int32_t(shown.width) && reuse->def.height == int32_t(shown.height) &&
                      reuse->depth() == config.depth && reuse->pixelFormat() == pixelFormat();
    std::unique_ptr<World> world = fits ? std::move(reuse) : makeWorld(shown.width, shown.height);
    world->fill(shown);
    return world;
}

World& Host::State::ensureInputWorld() {
    if (!inputWorld || inputChanged || inputWorld->depth() != config.depth) {
        inputWorld = makeLayerWorld(0, std::move(inputWorld));
        inputChanged = false;
    }
    return *inputWorld;
}

World* Host::State::findWorld(const PF_EffectWorld* world) {
    // The module may pass a copy of a world's record: match on the pixels.
    if (!world || !world->data) return nullptr;
    auto matches = [world](World* w) { return w && w->def.data == world->data; };
    if (matches(inputWorld.get())) return inputWorld.get();
    if (matches(outputWorld.get())) return outputWorld.get();
    for (auto& w : frameWorlds)
        if (matches(w.get())) return w.get();
    for (auto& entry : checkouts)
        if (matches(entry.second.world.get())) return entry.second.world.get();
    return nullptr;
}

HostParam& Host::State::paramOf(int32_t index, const char* what) {
    if (index <= 0 || size_t(index) >= params.size())
        throw Error(std::string(what) + ": no parameter at index " + std::to_string(index));
    return *params[size_t(index)];
}

PF_ParamDef Host::State::valueAt(int32_t index, int32_t time) const {
    const HostParam& p = *params[size_t(index)];
    PF_ParamDef def = p.def;
    if (!p.keyframes.empty()) {
        auto it = p.keyframes.upper_bound(time);
        def.u = it == p.keyframes.begin() ? it->second : std::prev(it)->second;
    }
    return def;
}

PF_Err Host::State::dispatch(PF_Cmd cmd, PF_LayerDef* output, void* extra) {
    in.sequence_data = sequenceData;
    in.num_params = int32_t(params.size());
    std::vector<PF_ParamDef> values(params.size());
    std::vector<PF_ParamDef*> pointers(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        values[i] = valueAt(int32_t(i), in.current_time);
        if (values[i].param_type == PF_Param_LAYER) std::memset(&values[i].u.ld, 0, sizeof values[i].u.ld);
        pointers[i] = &values[i];
    }
    // Before the editing host knows the module's formats there is no world.
    if (input.width > 0 && hasPixelFormat()) values[0].u.ld = ensureInputWorld().def;

    CurrentHost current(this);
    // Hosts lock the sequence data around every call for the module.
    if (sequenceData) handles.lock(sequenceData);
    running = cmd;
    const auto start = std::chrono::steady_clock::now();
    PF_Err err = module.entryPoint()(cmd, &in, &out, pointers.data(), output, extra);
    moduleTime += std::chrono::steady_clock::now() - start;
    running = -1;
    if (sequenceData && handles.isLive(sequenceData)) handles.unlock(sequenceData);
    out.return_msg[sizeof out.return_msg - 1] = 0;
    log.push_back({cmd, err, out.return_msg, uint32_t(out.out_flags)});
    return err;
}

// ---- Host ----------------------------------------------------------------------

Host::Host(Module& module, HostConfig config) : state(std::make_unique<State>(module, config)) {
    setDepth(config.depth);
}

// A host closing a project it never tore down still sends the setdowns, so
// the module frees what it holds before the host lets go of its handles.
Host::~Host() {
    if (!state || (!state->in.global_data && !state->sequenceData)) return;
    try {
        finish();
    } catch (...) {}
}

const HostConfig& Host::config() const { return state->config; }

void Host::setDepth(uint32_t depth) {
    if (depth != 8 && depth != 16 && depth != 32)
        throw Error("depth must be 8, 16 or 32, not " + std::to_string(depth));
    state->config.depth = depth;
    state->inputWorld.reset();
}

void Host::setInput(const Image& image) { setInput(Image(image)); }

Image Host::setInput(Image&& image) {
    if (image.width == 0 || image.height == 0) throw Error("the input layer is empty");
    Image replaced = std::move(state->input);
    state->input = std::move(image);
    state->inputChanged = true;
    state->presetInData();
    return replaced;
}

PF_Err Host::send(PF_Cmd cmd, void* extra) {
    state->resetOut();
    return state->dispatch(cmd, nullptr, extra);
}

PF_Err Host::about(std::string* text) {
    PF_Err err = send(PF_Cmd_ABOUT);
    if (text) *text = state->out.return_msg;
    return err;
}

PF_Err Host::globalSetup() {
    PF_Err err = send(PF_Cmd_GLOBAL_SETUP);
    State& s = *state;
    s.version = s.out.my_version;
    s.flags = uint32_t(s.out.out_flags);
    s.flags2 = uint32_t(s.out.out_flags2);
    s.in.global_data = s.out.global_data;
    s.adoptedGlobal = false;
    return err;
}

PF_Err Host::paramsSetup() {
    State& s = *state;
    s.params.resize(1);
    s.addingParams = true;
    PF_Err err = send(PF_Cmd_PARAMS_SETUP);
    s.addingParams = false;
    return err;
}

PF_Err Host::sequenceSetup() {
    PF_Err err = send(PF_Cmd_SEQUENCE_SETUP);
    if (err == PF_Err_NONE) state->sequenceData = state->out.sequence_data;
    return err;
}

PF_Err Host::sequenceSetdown() {
    PF_Err err = send(PF_Cmd_SEQUENCE_SETDOWN);
    state->sequenceData = nullptr;
    return err;
}

PF_Err Host::globalSetdown() {
    PF_Err err = send(PF_Cmd_GLOBAL_SETDOWN);
    // The module's global data is gone after global setdown, whether or not
    // the module disposed of it (a handle it kept shows as a leak).
    state->in.global_data = nullptr;
    return err;
}

PF_Err Host::updateParamsUI() { return send(PF_Cmd_UPDATE_PARAMS_UI); }

PF_Err Host::userChangedParam(int32_t index) {
    state->paramOf(index, "user change");
    PF_UserChangedParamExtra extra{index};
    return send(PF_Cmd_USER_CHANGED_PARAM, &extra);
}

PF_Err Host::event(int32_t index, int32_t* outFlags) {
    PF_EventExtra extra{};
    extra.e_type = PF_Event_DRAW;
    extra.effect_win.index = index;
    extra.effect_win.area = PF_EA_CONTROL;
    PF_Err err = send(PF_Cmd_EVENT, &extra);
    if (outFlags) *outFlags = extra.evt_out_flags;
    return err;
}

PF_Err Host::start() {
    PF_Err err = globalSetup();
    if (err == PF_Err_NONE) err = paramsSetup();
    if (err == PF_Err_NONE) err = sequenceSetup();
    return err;
}

void Host::adoptGlobalSetup(const Host& other) {
    const State& o = *other.state;
    State& s = *state;
    s.version = o.version;
    s.flags = o.flags;
    s.flags2 = o.flags2;
    s.in.global_data = o.in.global_data;
    s.declaredFormats = o.declaredFormats;
    s.adoptedGlobal = true;
}

PF_Err Host::finish() {
    PF_Err err = state->sequenceData ? sequenceSetdown() : PF_Err_NONE;
    // Adopted global data belongs to the host that ran global setup; that
    // host alone sends global setdown, once.
    if (state->adoptedGlobal) {
        state->in.global_data = nullptr;
        state->adoptedGlobal = false;
        return err;
    }
    PF_Err last = globalSetdown();
    return err != PF_Err_NONE ? err : last;
}

PF_Err Host::saveAndReload() {
    State& s = *state;
    // Save: the host keeps the bytes of the flat copy.
    const PF_Handle live = s.sequenceData;
    PF_Err err = send(PF_Cmd_SEQUENCE_FLATTEN);
    if (err != PF_Err_NONE) return err;
    const PF_Handle flat = s.out.sequence_data;
    s.saved.clear();
    if (flat && s.handles.isLive(flat)) {
        const uint8_t* bytes = static_cast<const uint8_t*>(s.handles.lock(flat));
        s.saved.assign(bytes, bytes + s.handles.size(flat));
        s.handles.unlock(flat);
    }
    // Close. A module that kept its live data gets it back at setdown and the
    // host disposes of the flat copy; a module that freed it when flattening
    // (as the published interface asks) gets the flat copy instead.
    if (live && s.handles.isLive(live)) {
        if (flat && flat != live && s.handles.isLive(flat)) s.handles.dispose(flat);
    } else {
        s.sequenceData = flat;
    }
    err = sequenceSetdown();
    if (err != PF_Err_NONE) return err;
    // Reopen from the saved bytes; the host disposes of that block afterwards
    // unless the module did.
    PF_Handle loaded = s.handles.create(s.saved.size(), "host: reloaded sequence data");
    if (!loaded) return PF_Err_OUT_OF_MEMORY;
    if (!s.saved.empty()) std::memcpy(*loaded, s.saved.data(), s.saved.size());
    s.sequenceData = loaded;
    err = send(PF_Cmd_SEQUENCE_RESETUP);
    const PF_Handle rebuilt = s.out.sequence_data;
    if (rebuilt != loaded && s.handles.isLive(loaded)) s.handles.dispose(loaded);
    s.sequenceData = rebuilt;
    return err;
}

std::vector<uint8_t> Host::savedSequenceData() const { return state->saved; }

void Host::useSequenceData(const std::vector<uint8_t>& bytes) {
    State& s = *state;
    if (s.sequenceData) throw Error("the instance already has sequence data");
    PF_Handle block = s.handles.create(bytes.size(), "host: sequence data given on request");
    if (!block) throw Error("no memory for " + std::to_string(bytes.size()) + " bytes of sequence data");
    if (!bytes.empty()) std::memcpy(*block, bytes.data(), bytes.size());
    s.sequenceData = block;
}

RenderResult Host::render(int32_t time, Image storage) {
    State& s = *state;
    RenderResult result;
    s.in.current_time = time;
    s.presetInData();
    World& input = s.ensureInputWorld();
    const int32_t inputWidth = input.def.width, inputHeight = input.def.height;

    auto fail = [&result](PF_Cmd cmd, PF_Err err) {
        if (err != PF_Err_NONE && result.result == PF_Err_NONE) {
            result.result = err;
            result.failedCommand = cmd;
        }
        return err != PF_Err_NONE;
    };

    auto keepReport = [&result, &s] {
        result.message = s.out.return_msg;
        result.outFlags = uint32_t(s.out.out_flags);
    };

    // Like the real host, smart rendering only for a module that declared it.
    const bool smart = s.config.kind == HostKind::Compositing && s.config.smartRender &&
                       (s.flags2 & PF_OutFlag2_SUPPORTS_SMART_RENDER);
    if (smart) {
        PF_PreRenderInput preInput{};
        preInput.output_request.rect = {0, 0, inputWidth, inputHeight};
        preInput.output_request.channel_mask = PF_ChannelMask_ARGB;
        preInput.bitdepth = short(s.config.depth);
        PF_PreRenderOutput preOutput{};
        PF_PreRenderCallbacks preCallbacks{};
        State::installPreRenderCallbacks(preCallbacks);
        PF_PreRenderExtra pre{&preInput, &preOutput, &preCallbacks};
        s.resetOut();
        const PF_Err preResult = s.dispatch(PF_Cmd_SMART_PRE_RENDER, nullptr, &pre);
        result.resultRect = preOutput.result_rect;
        result.maxResultRect = preOutput.max_result_rect;
        result.preRenderFlags = preOutput.flags;
        if (!fail(PF_Cmd_SMART_PRE_RENDER, preResult)) {
            PF_Rect rect = isEmpty(preOutput.result_rect) ? preInput.output_request.rect : preOutput.result_rect;
            s.outputWorld = s.makeOutputWorld(uint32_t(rect.right - rect.left), uint32_t(rect.bottom - rect.top));
            s.outputWorld->def.origin_x = rect.left;
            s.outputWorld->def.origin_y = rect.top;
            PF_SmartRenderInput renderInput{};
            renderInput.output_request = preInput.output_request;
            renderInput.bitdepth = short(s.config.depth);
            renderInput.pre_render_data = preOutput.pre_render_data;
            PF_SmartRenderCallbacks renderCallbacks{};
            State::installSmartRenderCallbacks(renderCallbacks);
            PF_SmartRenderExtra render{&renderInput, &renderCallbacks};
            s.resetOut();
            fail(PF_Cmd_SMART_RENDER, s.dispatch(PF_Cmd_SMART_RENDER, nullptr, &render));
            keepReport();
        }
        if (preOutput.delete_pre_render_data_func && preOutput.pre_render_data)
            preOutput.delete_pre_render_data_func(preOutput.pre_render_data);
    } else {
        s.resetOut();
        s.out.width = inputWidth;
        s.out.height = inputHeight;
        if (!s.config.frameSetup || !fail(PF_Cmd_FRAME_SETUP, s.dispatch(PF_Cmd_FRAME_SETUP, nullptr, nullptr))) {
            const PF_Handle frameData = s.out.frame_data;
            const int32_t width = s.out.width > 0 ? s.out.width : inputWidth;
            const int32_t height = s.out.height > 0 ? s.out.height : inputHeight;
            const PF_Point origin = s.out.origin;
            s.outputWorld = s.makeOutputWorld(uint32_t(width), uint32_t(height));
            s.outputWorld->def.origin_x = -origin.h;
            s.outputWorld->def.origin_y = -origin.v;
            // The frame-setup handle is handed back in both records: the
            // interface documents in_data, the module reads out_data.
            auto presetFrame = [&] {
                s.resetOut();
                s.out.width = width;
                s.out.height = height;
                s.out.origin = origin;
                s.out.frame_data = frameData;
                s.in.frame_data = frameData;
            };
            presetFrame();
            fail(PF_Cmd_RENDER, s.dispatch(PF_Cmd_RENDER, &s.outputWorld->def, nullptr));
            keepReport();
            presetFrame();
            fail(PF_Cmd_FRAME_SETDOWN, s.dispatch(PF_Cmd_FRAME_SETDOWN, nullptr, nullptr));
            s.in.frame_data = nullptr;
        }
    }
    if (s.outputWorld) {
        if (s.config.keepOutputImage) {
            result.image = std::move(storage);
            s.outputWorld->toImage(result.image);
        }
        result.originX = s.outputWorld->def.origin_x;
        result.originY = s.outputWorld->def.origin_y;
    }
    s.outputWorld.reset();
    s.frameWorlds.clear();
    s.layerCheckouts.clear();
    return result;
}

// ---- parameters ----------------------------------------------------------------

int32_t Host::paramCount() const { return int32_t(state->params.size()); }

const PF_ParamDef& Host::param(int32_t index) const {
    if (index < 0 || size_t(index) >= state->params.size())
        throw Error("no parameter at index " + std::to_string(index));
    return state->params[size_t(index)]->def;
}

int32_t Host::findParam(const std::string& name) const {
    for (size_t i = 1; i < state->params.size(); ++i)
        if (name == state->params[i]->def.name) return int32_t(i);
    return -1;
}

std::vector<std::string> Host::paramNames() const {
    std::vector<std::string> names;
    for (size_t i = 1; i < state->params.size(); ++i) {
        PF_ParamType t = state->params[i]->def.param_type;
        if (t != PF_Param_GROUP_START && t != PF_Param_GROUP_END) names.push_back(state->params[i]->def.name);
    }
    return names;
}

std::vector<std::string> Host::popupChoices(int32_t index) const {
    std::vector<std::string> entries;
    const HostParam& p = *state->params.at(size_t(index));
    if (p.def.param_type != PF_Param_POPUP) return entries;
    size_t start = 0;
    while (entries.size() < size_t(std::max<int16_t>(p.def.u.pd.num_choices, 0))) {
        size_t bar = p.choices.find('|', start);
        entries.push_back(p.choices.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return entries;
}

namespace {
void requireType(const PF_ParamDef& def, std::initializer_list<PF_ParamType> types, const char* wanted) {
    for (PF_ParamType t : types)
        if (def.param_type == t) return;
    throw Error(std::string("parameter '") + def.name + "' is a " + typeName(def.param_type) + ", not a " + wanted);
}

int32_t toFixed(double v) { return int32_t(std::llround(v * 65536.0)); }

std::string number(double v) {
    std::ostringstream text;
    text << v;
    return text.str();
}
}  // namespace

void Host::setFloat(int32_t index, double value) {
    PF_ParamDef& def = state->paramOf(index, "set value").def;
    requireType(def, {PF_Param_FLOAT_SLIDER, PF_Param_ANGLE}, "slider or angle");
    if (def.param_type == PF_Param_ANGLE) {
        def.u.ad.value = toFixed(value);
        return;
    }
    const PF_FloatSliderDef& fs = def.u.fs_d;
    if (value < fs.valid_min || value > fs.valid_max)
        throw Error("value " + number(value) + " of '" + def.name + "' is outside its range " + number(fs.valid_min) +
                    " to " + number(fs.valid_max));
    def.u.fs_d.value = value;
}

void Host::setCheckbox(int32_t index, bool value) {
    PF_ParamDef& def = state->paramOf(index, "set value").def;
    requireType(def, {PF_Param_CHECKBOX}, "checkbox");
    def.u.bd.value = value ? 1 : 0;
}

void Host::setPopup(int32_t index, int32_t entry) {
    PF_ParamDef& def = state->paramOf(index, "set value").def;
    requireType(def, {PF_Param_POPUP}, "popup");
    if (entry < 1 || entry > def.u.pd.num_choices)
        throw Error("entry " + std::to_string(entry) + " of '" + def.name + "' is not between 1 and " +
                    std::to_string(def.u.pd.num_choices));
    def.u.pd.value = entry;
}

void Host::setColor(int32_t index, const float rgba[4]) {
    HostParam& p = state->paramOf(index, "set value");
    requireType(p.def, {PF_Param_COLOR}, "colour");
    auto channel = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    p.def.u.cd.value = {channel(rgba[3]), channel(rgba[0]), channel(rgba[1]), channel(rgba[2])};
    std::copy(rgba, rgba + 4, p.color);
}

void Host::setPoint(int32_t index, const double* xyz) {
    PF_ParamDef& def = state->paramOf(index, "set value").def;
    requireType(def, {PF_Param_POINT, PF_Param_POINT_3D}, "point");
    if (def.param_type == PF_Param_POINT) {
        def.u.td.x_value = toFixed(xyz[0]);
        def.u.td.y_value = toFixed(xyz[1]);
    } else {
        def.u.point3d_d.x_value = xyz[0];
        def.u.point3d_d.y_value = xyz[1];
        def.u.point3d_d.z_value = xyz[2];
    }
}

void Host::setLayer(int32_t index, Image image) {
    HostParam& p = state->paramOf(index, "set layer");
    requireType(p.def, {PF_Param_LAYER}, "layer");
    if (image.width == 0 || image.height == 0)
        throw Error(std::string("the image for layer '") + p.def.name + "' is empty");
    p.layer = std::make_shared<const Image>(std::move(image));
}

void Host::setKeyframe(int32_t index, int32_t time) {
    HostParam& p = state->paramOf(index, "set keyframe");
    p.keyframes[time] = p.def.u;
}

// ---- observations ----------------------------------------------------------------

const std::vector<CommandRecord>& Host::log() const { return state->log; }
const std::vector<UiUpdate>& Host::uiUpdates() const { return state->uiUpdates; }
const std::string& Host::optionsButtonName() const { return state->optionsButton; }
const PF_CustomUIInfo* Host::registeredUI() const { return state->customUI ? &*state->customUI : nullptr; }
const std::string& Host::aegpName() const { return state->aegpName; }
const PF_OutData& Host::outData() const { return state->out; }
uint32_t Host::effectVersion() const { return state->version; }
uint32_t Host::effectFlags() const { return state->flags; }
uint32_t Host::effectFlags2() const { return state->flags2; }
const std::vector<uint32_t>& Host::declaredPixelFormats() const { return state->declaredFormats; }
int Host::checkedOutParams() const { return int(state->checkouts.size()); }
int Host::unmatchedCheckins() const { return state->unmatchedCheckins; }
int Host::unsupportedCalls() const { return state->unsupported; }
int Host::failedCallbacks() const { return state->failedCallbacks; }
double Host::moduleSeconds() const { return std::chrono::duration<double>(state->moduleTime).count(); }
SuiteRegistry& Host::suites() { return state->suites; }
HandleTable& Host::handles() { return state->handles; }

}  // namespace hostsim
