// The functions the module calls: interact and utility callbacks, the basic
// suite and every suite table, and the smart-render checkout callbacks.
// Each one finds its host (through the effect reference, or the host
// running on this thread) and answers an error rather than crash when the
// module passes something the host does not know.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "HostState.h"

namespace hostsim {
namespace {

using State = Host::State;

// Stands in for every slot the host does not implement: counts the call.
int32_t unsupportedCall() {
    if (State* s = currentHost()) ++s->unsupported;
    return PF_Err_INVALID_CALLBACK;
}

// Nothing may unwind through the module: a host failure inside a callback
// (out of memory, a world the host cannot make) becomes an error result.
template <typename Result, typename Body>
Result guarded(Result onFailure, Body body) {
    try {
        return body();
    } catch (...) {
        if (State* s = currentHost()) ++s->failedCallbacks;
        return onFailure;
    }
}

// Points every null slot of a table of function pointers at unsupportedCall.
void fillUnused(void* table, size_t bytes) {
    void** slots = static_cast<void**>(table);
    for (size_t i = 0; i < bytes / sizeof(void*); ++i)
        if (!slots[i]) slots[i] = reinterpret_cast<void*>(&unsupportedCall);
}

// ---- interact callbacks -----------------------------------------------------------

PF_Err addParam(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDef* def) {
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        State* s = hostOf(ref);
        if (!s || !def || !s->addingParams) return PF_Err_BAD_CALLBACK_PARAM;
        if (index != -1 && index != PF_ParamIndex(s->params.size())) return PF_Err_INVALID_INDEX;
        if (def->param_type < PF_Param_LAYER || def->param_type > PF_Param_POINT_3D)
            return PF_Err_UNRECOGNIZED_PARAM_TYPE;
        auto p = std::make_unique<HostParam>();
        p->def = *def;
        p->def.name[sizeof p->def.name - 1] = 0;
        if (def->param_type == PF_Param_POPUP) {
            p->choices = def->u.pd.u.namesptr ? def->u.pd.u.namesptr : "";
            p->def.u.pd.u.namesptr = p->choices.c_str();
        } else if (def->param_type == PF_Param_CHECKBOX) {
            p->label = def->u.bd.u.nameptr ? def->u.bd.u.nameptr : "";
            p->def.u.bd.u.nameptr = p->label.c_str();
        } else if (def->param_type == PF_Param_COLOR) {
            const PF_Pixel& c = def->u.cd.value;
            p->color[0] = c.red / 255.0f, p->color[1] = c.green / 255.0f, p->color[2] = c.blue / 255.0f;
            p->color[3] = c.alpha / 255.0f;
        }
        s->params.push_back(std::move(p));
        return PF_Err_NONE;
    });
}

PF_Err checkoutParam(PF_ProgPtr ref, PF_ParamIndex index, A_long time, A_long, A_u_long, PF_ParamDef* param) {
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        State* s = hostOf(ref);
        if (!s || !param) return PF_Err_BAD_CALLBACK_PARAM;
        std::memset(param, 0, sizeof *param);
        Checkout& checkout = s->checkouts[param];
        checkout = Checkout{index, nullptr, {0, 0, 0, 1}};
        if (index < 0 || size_t(index) >= s->params.size()) return PF_Err_BAD_CALLBACK_PARAM;
        *param = s->valueAt(index, time);
        if (param->param_type == PF_Param_LAYER) {
            std::memset(&param->u.ld, 0, sizeof param->u.ld);
            checkout.world = s->makeLayerWorld(index);
            if (checkout.world) param->u.ld = checkout.world->def;
        } else if (param->param_type == PF_Param_COLOR) {
            std::copy(s->params[size_t(index)]->color, s->params[size_t(index)]->color + 4, checkout.color);
        }
        return PF_Err_NONE;
    });
}

PF_Err checkinParam(PF_ProgPtr ref, PF_ParamDef* param) {
    State* s = hostOf(ref);
    if (!s) return PF_Err_BAD_CALLBACK_PARAM;
    if (s->checkouts.erase(param) == 0) {
        ++s->unmatchedCheckins;
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return PF_Err_NONE;
}

PF_Err registerUI(PF_ProgPtr ref, PF_CustomUIInfo* info) {
    State* s = hostOf(ref);
    if (!s || !info) return PF_Err_BAD_CALLBACK_PARAM;
    s->customUI = *info;
    return PF_Err_NONE;
}

// ---- utility callbacks ----------------------------------------------------------

PF_Err copyWorld(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcRect, PF_Rect* dstRect) {
    State* s = hostOf(ref);
    World* from = s ? s->findWorld(src) : nullptr;
    World* to = s ? s->findWorld(dst) : nullptr;
    if (!from || !to || from->depth() != to->depth() || from->order() != to->order()) return PF_Err_BAD_CALLBACK_PARAM;
    PF_Rect a = srcRect ? *srcRect : PF_Rect{0, 0, src->width, src->height};
    PF_Rect b = dstRect ? *dstRect : PF_Rect{0, 0, dst->width, dst->height};
    // Same-size copy of the overlap; the host does not scale.
    a.left = std::max(a.left, 0), a.top = std::max(a.top, 0), b.left = std::max(b.left, 0), b.top = std::max(b.top, 0);
    int32_t w = std::min({a.right - a.left, b.right - b.left, src->width - a.left, dst->width - b.left});
    int32_t h = std::min({a.bottom - a.top, b.bottom - b.top, src->height - a.top, dst->height - b.top});
    size_t pixel = from->bytesPerPixel();
    // Rows step by rowbytes with its sign: a bottom-up world's go down in memory.
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* to = static_cast<uint8_t*>(dst->data) + int64_t(b.top + y) * dst->rowbytes + size_t(b.left) * pixel;
        const uint8_t* from =
            static_cast<const uint8_t*>(src->data) + int64_t(a.top + y) * src->rowbytes + size_t(a.left) * pixel;
        std::memmove(to, from, size_t(std::max(w, 0)) * pixel);
    }
    return PF_Err_NONE;
}

PF_Err fillWorld(PF_ProgPtr ref, const PF_Pixel* color, const PF_Rect* rect, PF_EffectWorld* world) {
    State* s = hostOf(ref);
    World* target = s ? s->findWorld(world) : nullptr;
    if (!target) return PF_Err_BAD_CALLBACK_PARAM;
    target->fillRect(color ? *color : PF_Pixel{0, 0, 0, 0},
                     rect ? *rect : PF_Rect{0, 0, target->def.width, target->def.height});
    return PF_Err_NONE;
}

// The module formats messages into host fields of at most 256 bytes.
int hostSprintf(char* buffer, const char* format, ...) {
    if (!buffer || !format) return -1;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
    va_end(args);
    return n;
}

char* hostStrcpy(char* dst, const char* src) { return dst && src ? std::strcpy(dst, src) : dst; }

PF_Err getPlatformData(PF_ProgPtr ref, PF_PlatDataID which, void* data) {
    State* s = hostOf(ref);
    if (!s || !data) return PF_Err_BAD_CALLBACK_PARAM;
    if (which != PF_PlatData_RES_DLLINSTANCE) return PF_Err_BAD_CALLBACK_PARAM;
    *static_cast<const void**>(data) = s->module.instanceHandle();
    return PF_Err_NONE;
}

// ---- handles ------------------------------------------------------------------------

PF_Handle newHandle(A_HandleSize size) {
    return guarded<PF_Handle>(nullptr, [size]() -> PF_Handle {
        State* s = currentHost();
        return s ? s->handles.create(size, "module, " + commandName(s->running)) : nullptr;
    });
}
void* lockHandle(PF_Handle h) { return currentHost() ? currentHost()->handles.lock(h) : nullptr; }
void unlockHandle(PF_Handle h) {
    if (State* s = currentHost()) s->handles.unlock(h);
}
void disposeHandle(PF_Handle h) {
    if (State* s = currentHost()) s->handles.dispose(h);
}
A_HandleSize handleSize(PF_Handle h) { return currentHost() ? currentHost()->handles.size(h) : 0; }
PF_Err resizeHandle(A_HandleSize size, PF_Handle* h) {
    State* s = currentHost();
    return s && h && s->handles.resize(*h, size) ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
}

// ---- basic suite ----------------------------------------------------------------------

SPErr acquireSuite(const char* name, int32_t version, const void** suite) {
    return guarded<SPErr>(kSPOutOfMemoryError, [&]() -> SPErr {
        State* s = currentHost();
        if (!s) {
            if (suite) *suite = nullptr;
            return kSPBadParameterError;
        }
        return s->suites.acquire(name, version, suite);
    });
}

SPErr releaseSuite(const char* name, int32_t version) {
    return guarded<SPErr>(kSPOutOfMemoryError, [&]() -> SPErr {
        State* s = currentHost();
        return s ? s->suites.release(name, version) : kSPBadParameterError;
    });
}

SPBoolean isEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }
SPErr allocateBlock(size_t size, void** block) {
    if (!block) return kSPBadParameterError;
    *block = std::malloc(size ? size : 1);
    return *block ? kSPNoError : kSPOutOfMemoryError;
}
SPErr freeBlock(void* block) {
    std::free(block);
    return kSPNoError;
}
SPErr reallocateBlock(void* block, size_t size, void** grown) {
    if (!grown) return kSPBadParameterError;
    *grown = std::realloc(block, size ? size : 1);
    return *grown ? kSPNoError : kSPOutOfMemoryError;
}

// ---- pixel formats and pixel data ------------------------------------------------------

PF_Err addSupportedFormat(PF_ProgPtr ref, PrPixelFormat format) {
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        State* s = hostOf(ref);
        if (!s) return PF_Err_BAD_CALLBACK_PARAM;
        s->declaredFormats.push_back(format);
        return PF_Err_NONE;
    });
}
PF_Err addSupportedFormatAE(PF_ProgPtr ref, PF_PixelFormat format) {
    return addSupportedFormat(ref, PrPixelFormat(format));
}
PF_Err clearSupportedFormats(PF_ProgPtr ref) {
    State* s = hostOf(ref);
    if (!s) return PF_Err_BAD_CALLBACK_PARAM;
    s->declaredFormats.clear();
    return PF_Err_NONE;
}

PF_Err formatOf(const PF_EffectWorld* world, uint32_t* format) {
    State* s = currentHost();
    World* w = s ? s->findWorld(world) : nullptr;
    if (format)
        *format = !w ? PF_PixelFormat_INVALID : s->config.reportedFormat ? s->config.reportedFormat : w->pixelFormat();
    return w && format ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
}
PF_Err getPixelFormatPr(PF_EffectWorld* world, PrPixelFormat* format) { return formatOf(world, format); }
PF_Err getPixelFormatAE(const PF_EffectWorld* world, PF_PixelFormat* format) {
    return formatOf(world, reinterpret_cast<uint32_t*>(format));
}

template <uint32_t Depth, typename Pixel>
PF_Err pixelsOf(PF_EffectWorld* world, PF_PixelPtr pixels, Pixel** out) {
    if (!out) return PF_Err_BAD_CALLBACK_PARAM;
    *out = nullptr;
    State* s = currentHost();
    World* w = s ? s->findWorld(world) : nullptr;
    if (!w) return PF_Err_BAD_CALLBACK_PARAM;
    if (w->depth() == Depth) *out = static_cast<Pixel*>(pixels ? pixels : world->data);
    return PF_Err_NONE;
}

PF_Err floatColor(PF_ProgPtr ref, const PF_ParamDef* def, PF_PixelFloat* color) {
    State* s = hostOf(ref);
    if (!s || !def || !color || def->param_type != PF_Param_COLOR) return PF_Err_BAD_CALLBACK_PARAM;
    auto it = s->checkouts.find(def);
    if (it != s->checkouts.end()) {
        const float* c = it->second.color;
        *color = {c[3], c[0], c[1], c[2]};
    } else {
        const PF_Pixel& p = def->u.cd.value;
        *color = {p.alpha / 255.0f, p.red / 255.0f, p.green / 255.0f, p.blue / 255.0f};
    }
    return PF_Err_NONE;
}

// ---- parameter UI --------------------------------------------------------------------------

PF_Err updateParamUI(PF_ProgPtr ref, PF_ParamIndex index, const PF_ParamDef* def) {
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        State* s = hostOf(ref);
        if (!s || !def) return PF_Err_BAD_CALLBACK_PARAM;
        if (index <= 0 || size_t(index) >= s->params.size()) return PF_Err_INVALID_INDEX;
        PF_ParamDef& kept = s->params[size_t(index)]->def;
        if (kept.param_type != def->param_type) return PF_Err_BAD_CALLBACK_PARAM;
        kept.ui_flags = def->ui_flags;
        std::memcpy(kept.name, def->name, sizeof kept.name);
        kept.name[sizeof kept.name - 1] = 0;
        s->uiUpdates.push_back({index, def->ui_flags, kept.name});
        return PF_Err_NONE;
    });
}

PF_Err setOptionsButtonName(PF_ProgPtr ref, const A_char* name) {
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        State* s = hostOf(ref);
        if (!s || !name) return PF_Err_BAD_CALLBACK_PARAM;
        s->optionsButton = name;
        return PF_Err_NONE;
    });
}

A_Err registerWithAEGP(AEGP_GlobalRefcon, const A_char* name, AEGP_PluginID* id) {
    return guarded<A_Err>(A_Err_ALLOC, [&]() -> A_Err {
        State* s = currentHost();
        if (!s || !name || !id) return A_Err_PARAMETER;
        s->aegpName = name;
        *id = 42;
        return A_Err_NONE;
    });
}

// ---- composition (AEGP) and timeline (editing host) ------------------------------------------

A_Err getEffectLayer(PF_ProgPtr ref, AEGP_LayerH* layer) {
    State* s = hostOf(ref);
    if (!s || !layer) return A_Err_PARAMETER;
    *layer = reinterpret_cast<AEGP_LayerH>(&s->layerToken);
    return A_Err_NONE;
}
A_Err getLayerParentComp(AEGP_LayerH layer, AEGP_CompH* comp) {
    State* s = currentHost();
    if (!s || !comp || layer != reinterpret_cast<AEGP_LayerH>(&s->layerToken)) return A_Err_PARAMETER;
    *comp = reinterpret_cast<AEGP_CompH>(&s->compToken);
    return A_Err_NONE;
}
A_Err getItemFromComp(AEGP_CompH comp, AEGP_ItemH* item) {
    State* s = currentHost();
    if (!s || !item || comp != reinterpret_cast<AEGP_CompH>(&s->compToken)) return A_Err_PARAMETER;
    *item = reinterpret_cast<AEGP_ItemH>(&s->itemToken);
    return A_Err_NONE;
}
A_Err getItemDimensions(AEGP_ItemH item, A_long* width, A_long* height) {
    State* s = currentHost();
    if (!s || !width || !height || item != reinterpret_cast<AEGP_ItemH>(&s->itemToken)) return A_Err_PARAMETER;
    *width = int32_t(s->input.width);
    *height = int32_t(s->input.height);
    return A_Err_NONE;
}
A_Err getItemPixelAspect(AEGP_ItemH item, A_Ratio* ratio) {
    State* s = currentHost();
    if (!s || !ratio || item != reinterpret_cast<AEGP_ItemH>(&s->itemToken)) return A_Err_PARAMETER;
    *ratio = {s->config.pixelAspect.num, s->config.pixelAspect.den};
    return A_Err_NONE;
}

constexpr PrTimelineID kTimeline = 1;

PF_Err getContainingTimeline(PF_ProgPtr ref, PrTimelineID* id) {
    if (!hostOf(ref) || !id) return PF_Err_BAD_CALLBACK_PARAM;
    *id = kTimeline;
    return PF_Err_NONE;
}
prSuiteError getFrameRect(PrTimelineID id, prRect* rect) {
    State* s = currentHost();
    if (!s || !rect || id != kTimeline) return kSPBadParameterError;
    *rect = {0, 0, int32_t(s->input.width), int32_t(s->input.height)};
    return 0;
}
prSuiteError getTimelineAspect(PrTimelineID id, csSDK_uint32* num, csSDK_uint32* den) {
    State* s = currentHost();
    if (!s || !num || !den || id != kTimeline) return kSPBadParameterError;
    *num = uint32_t(s->config.pixelAspect.num);
    *den = s->config.pixelAspect.den;
    return 0;
}

// ---- smart render ----------------------------------------------------------------------------

PF_Err checkoutLayer(PF_ProgPtr ref, PF_ParamIndex index, A_long id, const PF_RenderRequest* request, A_long, A_long,
                     A_u_long, PF_CheckoutResult* result) {
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        State* s = hostOf(ref);
        if (!s || !request || !result || index < 0 || size_t(index) >= s->params.size() ||
            s->params[size_t(index)]->def.param_type != PF_Param_LAYER)
            return PF_Err_BAD_CALLBACK_PARAM;
        std::memset(result, 0, sizeof *result);
        s->layerCheckouts[id] = index;
        uint32_t width = 0, height = 0;
        if (!s->layerSize(index, width, height)) return PF_Err_NONE;  // no layer: empty rectangles
        const PF_Rect bounds{0, 0, int32_t(width), int32_t(height)};
        const PF_Rect& r = request->rect;
        result->max_result_rect = bounds;
        result->result_rect = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, bounds.right),
                               std::min(r.bottom, bounds.bottom)};
        result->par = s->config.pixelAspect;
        result->ref_width = int32_t(s->layerImage(index).width);
        result->ref_height = int32_t(s->layerImage(index).height);
        return PF_Err_NONE;
    });
}

PF_Err guidMixIn(PF_ProgPtr ref, A_u_long, const void*) {
    return hostOf(ref) ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err checkoutLayerPixels(PF_ProgPtr ref, A_long id, PF_EffectWorld** pixels) {
    return guarded<PF_Err>(PF_Err_OUT_OF_MEMORY, [&]() -> PF_Err {
        State* s = hostOf(ref);
        if (!s || !pixels) return PF_Err_BAD_CALLBACK_PARAM;
        *pixels = nullptr;
        auto it = s->layerCheckouts.find(id);
        if (it == s->layerCheckouts.end()) return PF_Err_BAD_CALLBACK_PARAM;
        if (it->second == 0) {
            *pixels = &s->ensureInputWorld().def;
        } else if (auto world = s->makeLayerWorld(it->second)) {
            *pixels = &world->def;
            s->frameWorlds.push_back(std::move(world));
        }
        return PF_Err_NONE;
    });
}

PF_Err checkinLayerPixels(PF_ProgPtr ref, A_long id) {
    State* s = hostOf(ref);
    return s && s->layerCheckouts.count(id) ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err checkoutOutput(PF_ProgPtr ref, PF_EffectWorld** output) {
    State* s = hostOf(ref);
    if (!s || !output || !s->outputWorld) return PF_Err_BAD_CALLBACK_PARAM;
    *output = &s->outputWorld->def;
    return PF_Err_NONE;
}

}  // namespace

void Host::State::installPreRenderCallbacks(PF_PreRenderCallbacks& cb) {
    cb.checkout_layer = checkoutLayer;
    cb.GuidMixInPtr = guidMixIn;
}

void Host::State::installSmartRenderCallbacks(PF_SmartRenderCallbacks& cb) {
    cb.checkout_layer_pixels = checkoutLayerPixels;
    cb.checkin_layer_pixels = checkinLayerPixels;
    cb.checkout_output = checkoutOutput;
}

void Host::State::installCallbacks() {
    in.inter.checkout_param = checkoutParam;
    in.inter.checkin_param = checkinParam;
    in.inter.add_param = addParam;
    in.inter.register_ui = registerUI;
    fillUnused(&in.inter, offsetof(PF_InteractCallbacks, reserved_str));

    utils.copy = copyWorld;
    utils.fill = fillWorld;
    utils.host_new_handle = newHandle;
    utils.host_lock_handle = lockHandle;
    utils.host_unlock_handle = unlockHandle;
    utils.host_dispose_handle = disposeHandle;
    utils.get_platform_data = getPlatformData;
    utils.host_get_handle_size = handleSize;
    utils.host_resize_handle = resizeHandle;
    PF_ANSICallbacks& ansi = utils.ansi;
    ansi.atan = [](double x) { return std::atan(x); };
    ansi.atan2 = [](double y, double x) { return std::atan2(y, x); };
    ansi.ceil = [](double x) { return std::ceil(x); };
    ansi.cos = [](double x) { return std::cos(x); };
    ansi.exp = [](double x) { return std::exp(x); };
    ansi.fabs = [](double x) { return std::fabs(x); };
    ansi.floor = [](double x) { return std::floor(x); };
    ansi.fmod = [](double x, double y) { return std::fmod(x, y); };
    ansi.hypot = [](double x, double y) { return std::hypot(x, y); };
    ansi.log = [](double x) { return std::log(x); };
    ansi.log10 = [](double x) { return std::log10(x); };
    ansi.pow = [](double x, double y) { return std::pow(x, y); };
    ansi.sin = [](double x) { return std::sin(x); };
    ansi.sqrt = [](double x) { return std::sqrt(x); };
    ansi.tan = [](double x) { return std::tan(x); };
    ansi.sprintf = hostSprintf;
    ansi.strcpy = hostStrcpy;
    ansi.asin = [](double x) { return std::asin(x); };
    ansi.acos = [](double x) { return std::acos(x); };
    fillUnused(&utils, offsetof(PF_UtilCallbacks, ansi));
    fillUnused(&utils.colorCB, sizeof utils.colorCB);
    fillUnused(&utils.get_platform_data,
               offsetof(PF_UtilCallbacks, reserved) - offsetof(PF_UtilCallbacks, get_platform_data));

    basic = {acquireSuite,
             releaseSuite,
             isEqual,
             allocateBlock,
             freeBlock,
             reallocateBlock,
             reinterpret_cast<SPErr (*)()>(&unsupportedCall)};

    handleSuite = {newHandle, lockHandle, unlockHandle, disposeHandle, handleSize, resizeHandle};
    aegpUtility.AEGP_RegisterWithAEGP = registerWithAEGP;
    pixelFormat1.AddSupportedPixelFormat = addSupportedFormat;
    pixelFormat1.ClearSupportedPixelFormats = clearSupportedFormats;
    pixelFormat1.GetPixelFormat = getPixelFormatPr;
    pixelFormat2 = {addSupportedFormatAE, clearSupportedFormats};
    worldSuite.PF_GetPixelFormat = getPixelFormatAE;
    pixelData = {pixelsOf<8, PF_Pixel8>, pixelsOf<16, PF_Pixel16>, pixelsOf<32, PF_PixelFloat>};
    colorParam.PF_GetFloatingPointColorFromColorDef = floatColor;
    paramUtils3.PF_UpdateParamUI = paramUtils2.PF_UpdateParamUI = paramUtils1.PF_UpdateParamUI = updateParamUI;
    effectUI.PF_SetOptionsButtonName = setOptionsButtonName;
    pfInterface.AEGP_GetEffectLayer = getEffectLayer;
    layerSuite.AEGP_GetLayerParentComp = getLayerParentComp;
    compSuite.AEGP_GetItemFromComp = getItemFromComp;
    itemSuite.AEGP_GetItemDimensions = getItemDimensions;
    itemSuite.AEGP_GetItemPixelAspectRatio = getItemPixelAspect;
    prUtility.GetContainingTimelineID = getContainingTimeline;
    sequenceInfo.GetFrameRect = getFrameRect;
    sequenceInfo.GetPixelAspectRatio = getTimelineAspect;

    struct Table {
        const char* name;
        int32_t version;
        void* table;
        size_t size;
        bool compositing, editing;
    };
    const Table tables[] = {
        {kPFHandleSuite, kPFHandleSuiteVersion1, &handleSuite, sizeof handleSuite, true, true},
        {kPFPixelDataSuite, kPFPixelDataSuiteVersion1, &pixelData, sizeof pixelData, true, true},
        {kPFColorParamSuite, kPFColorParamSuiteVersion1, &colorParam, sizeof colorParam, true, true},
        {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &paramUtils3, sizeof paramUtils3, true, true},
        {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1, &paramUtils2, sizeof paramUtils2, true, true},
        {kPFParamUtilsSuite, kPFParamUtilsSuiteVersionOld, &paramUtils1, sizeof paramUtils1, true, true},
        {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3, &aegpUtility, sizeof aegpUtility, true, false},
        {kPFPixelFormatSuite, 2, &pixelFormat2, sizeof pixelFormat2, true, false},
        {kPFWorldSuite, kPFWorldSuiteVersion2, &worldSuite, sizeof worldSuite, true, false},
        {kPFEffectUISuite, kPFEffectUISuiteVersion1, &effectUI, sizeof effectUI, true, false},
        {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &pfInterface, sizeof pfInterface, true, false},
        {kAEGPLayerSuite, kAEGPLayerSuiteVersion5, &layerSuite, sizeof layerSuite, true, false},
        {kAEGPCompSuite, kAEGPCompSuiteVersion4, &compSuite, sizeof compSuite, true, false},
        {kAEGPItemSuite, kAEGPItemSuiteVersion6, &itemSuite, sizeof itemSuite, true, false},
        {kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1, &pixelFormat1, sizeof pixelFormat1, false, true},
        {kPFUtilitySuite, kPFUtilitySuiteVersion3, &prUtility, sizeof prUtility, false, true},
        {kPrSDKSequenceInfoSuite, kPrSDKSequenceInfoSuiteVersion2, &sequenceInfo, sizeof sequenceInfo, false, true},
    };
    const bool editing = config.kind == HostKind::Editing;
    for (const Table& t : tables) {
        fillUnused(t.table, t.size);
        if (editing ? t.editing : t.compositing) suites.add(t.name, t.version, t.table);
    }
}

}  // namespace hostsim
