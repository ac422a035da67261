#include "tests/host/FakeHost.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/EntryPoint.h"
#include "host/Handlers.h"

namespace {

FakeHost* currentHost = nullptr;
FakeHost& H() { return *currentHost; }

// --- basic suite ---
SPErr acquireSuite(const char* name, int32_t version, const void** suite) {
    const FakeHost::SuiteKey key{name, version};
    *suite = nullptr;
    const auto found = H().suites.find(key);
    if (found == H().suites.end() || H().missing.count(key)) return kSPSuiteNotFoundError;
    ++H().acquired[key];
    *suite = found->second;
    return kSPNoError;
}
SPErr releaseSuite(const char* name, int32_t version) {
    ++H().released[{name, version}];
    return kSPNoError;
}

// --- handles ---
PF_Handle newHandle(A_HandleSize size) {
    if (H().failNewHandle) return nullptr;
    auto* master = static_cast<void**>(std::malloc(sizeof(void*)));
    *master = std::calloc(1, size ? size : 1);
    H().liveHandles[master] = size;
    ++H().handlesMade;
    return master;
}
void* lockHandle(PF_Handle h) { return *h; }
void unlockHandle(PF_Handle) {}
void disposeHandle(PF_Handle h) {
    if (H().liveHandles.erase(h) == 0) std::abort();  // not a live handle: a double dispose
    std::free(*h);
    std::free(h);
}
A_HandleSize handleSize(PF_Handle h) { return H().liveHandles.at(h); }

// --- utility callbacks ---
PF_Err copyWorld(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect*, PF_Rect*) {
    ++H().copies;
    const int32_t rows = std::min(src->height, dst->height);
    const int32_t bytes = std::min(src->rowbytes, dst->rowbytes);
    for (int32_t y = 0; y < rows; ++y) {
        std::memcpy(static_cast<uint8_t*>(dst->data) + size_t(y) * dst->rowbytes,
                    static_cast<const uint8_t*>(src->data) + size_t(y) * src->rowbytes, bytes);
    }
    return PF_Err_NONE;
}
PF_Err fillWorld(PF_ProgPtr, const PF_Pixel* color, const PF_Rect*, PF_EffectWorld* world) {
    ++H().fills;
    H().lastFill = *color;
    for (int32_t y = 0; y < world->height; ++y) {
        std::memset(static_cast<uint8_t*>(world->data) + size_t(y) * world->rowbytes, 0, world->rowbytes);
    }
    return PF_Err_NONE;
}
int hostSprintf(char* buffer, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vsprintf(buffer, format, args);
    va_end(args);
    return n;
}
char* hostStrcpy(char* dst, const char* src) { return std::strcpy(dst, src); }
PF_Err platformData(PF_ProgPtr, PF_PlatDataID which, void* data) {
    if (which != PF_PlatData_RES_DLLINSTANCE) return PF_Err_BAD_CALLBACK_PARAM;
    *static_cast<void**>(data) = H().moduleInstance;
    return PF_Err_NONE;
}

// --- interact callbacks ---
PF_Err checkoutParam(PF_ProgPtr, PF_ParamIndex index, A_long, A_long, A_u_long, PF_ParamDef* param) {
    H().checkouts.push_back(index);
    if (index == H().checkoutFailsAt) return PF_Err_INVALID_INDEX;
    if (index < 0 || size_t(index) >= H().values.size()) return PF_Err_INVALID_INDEX;
    *param = H().values[index];
    return PF_Err_NONE;
}
PF_Err checkinParam(PF_ProgPtr, PF_ParamDef*) {
    H().checkins.push_back(1);
    return PF_Err_NONE;
}
PF_Err addParam(PF_ProgPtr, PF_ParamIndex, PF_ParamDef* def) {
    if (int(H().added.size()) == H().addParamFailsAt) return PF_Err_OUT_OF_MEMORY;
    H().added.push_back(*def);
    if (H().values.empty()) H().values.resize(1);
    H().values.push_back(*def);
    return PF_Err_NONE;
}
PF_Err registerUI(PF_ProgPtr, PF_CustomUIInfo* info) {
    ++H().uiRegistrations;
    H().registeredUI = *info;
    return PF_Err_NONE;
}

// --- suites ---
A_Err registerWithAEGP(AEGP_GlobalRefcon, const A_char* name, AEGP_PluginID* id) {
    H().registeredName = name;
    *id = 77;
    return H().registerResult;
}
PF_Err addFormat(PF_ProgPtr, PrPixelFormat format) {
    H().pixelFormatsAdded.push_back(format);
    return PF_Err_NONE;
}
PF_Err clearFormats(PF_ProgPtr) {
    ++H().pixelFormatsCleared;
    H().pixelFormatsAdded.clear();
    return PF_Err_NONE;
}
// Worlds are known by their pixels, so copies of a world (as in checked-out
// layer parameters) keep its format.
uint32_t formatOf(const PF_EffectWorld* world) {
    for (const auto& [known, format] : H().worldFormats) {
        if (known == world || (world->data && known->data == world->data)) return format;
    }
    return PF_PixelFormat_INVALID;
}
PF_Err premiereFormat(PF_EffectWorld* world, PrPixelFormat* format) {
    *format = formatOf(world);
    return PF_Err_NONE;
}
PF_Err worldFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
    *format = static_cast<PF_PixelFormat>(formatOf(world));
    return PF_Err_NONE;
}
template <class Pixel, uint32_t Depth>
PF_Err pixelData(PF_EffectWorld* world, PF_PixelPtr, Pixel** out) {
    *out = host::depthOfPixelFormat(formatOf(world)) == Depth ? static_cast<Pixel*>(world->data) : nullptr;
    return PF_Err_NONE;
}
PF_Err floatColor(PF_ProgPtr, const PF_ParamDef*, PF_PixelFloat* color) {
    *color = H().colorFloat;
    return PF_Err_NONE;
}
PF_Err updateParamUI(PF_ProgPtr, PF_ParamIndex index, const PF_ParamDef* def) {
    H().uiUpdates.emplace_back(index, *def);
    return PF_Err_NONE;
}
PF_Err setOptionsButtonName(PF_ProgPtr, const A_char* name) {
    H().optionsButtonName = name;
    return PF_Err_NONE;
}
A_Err effectLayer(PF_ProgPtr, AEGP_LayerH* layer) {
    *layer = reinterpret_cast<AEGP_LayerH>(0x10);
    return A_Err_NONE;
}
A_Err parentComp(AEGP_LayerH, AEGP_CompH* comp) {
    *comp = reinterpret_cast<AEGP_CompH>(0x20);
    return A_Err_NONE;
}
A_Err itemFromComp(AEGP_CompH, AEGP_ItemH* item) {
    *item = reinterpret_cast<AEGP_ItemH>(0x30);
    return A_Err_NONE;
}
A_Err itemDimensions(AEGP_ItemH, A_long* w, A_long* h) {
    *w = H().compWidth;
    *h = H().compHeight;
    return A_Err_NONE;
}
A_Err itemPar(AEGP_ItemH, A_Ratio* par) {
    *par = H().compPar;
    return A_Err_NONE;
}
PF_Err timelineId(PF_ProgPtr, PrTimelineID* id) {
    *id = 5;
    return PF_Err_NONE;
}
prSuiteError frameRect(PrTimelineID, prRect* rect) {
    *rect = H().timelineRect;
    return 0;
}
prSuiteError timelinePar(PrTimelineID, csSDK_uint32* num, csSDK_uint32* den) {
    *num = H().timelineParNum;
    *den = H().timelineParDen;
    return 0;
}

}  // namespace

TestWorld::TestWorld(int32_t width, int32_t height, uint32_t format, int32_t padBytes) {
    const uint32_t bpp = host::depthOfPixelFormat(format) / 2;
    def.width = width;
    def.height = height;
    def.rowbytes = width * static_cast<int32_t>(bpp ? bpp : 4) + padBytes;
    pixels.assign(size_t(def.rowbytes) * height, 0);
    def.data = pixels.data();
    if (host::depthOfPixelFormat(format) == 16) def.world_flags = PF_WorldFlag_DEEP;
    formatCode = format;
}

uint32_t TestWorld::depth() const { return host::depthOfPixelFormat(formatCode); }

FakeHost::FakeHost(bool premiere) {
    currentHost = this;
    basic.AcquireSuite = acquireSuite;
    basic.ReleaseSuite = releaseSuite;

    handleSuite = {newHandle, lockHandle, unlockHandle, disposeHandle, handleSize, nullptr};
    utilitySuite.AEGP_RegisterWithAEGP = registerWithAEGP;
    pixelFormatSuite.AddSupportedPixelFormat = addFormat;
    pixelFormatSuite.ClearSupportedPixelFormats = clearFormats;
    pixelFormatSuite.GetPixelFormat = premiereFormat;
    worldSuite.PF_GetPixelFormat = worldFormat;
    pixelDataSuite = {pixelData<PF_Pixel8, 8>, pixelData<PF_Pixel16, 16>, pixelData<PF_PixelFloat, 32>};
    colorParamSuite.PF_GetFloatingPointColorFromColorDef = floatColor;
    paramUtilsSuite.PF_UpdateParamUI = updateParamUI;
    effectUISuite.PF_SetOptionsButtonName = setOptionsButtonName;
    pfInterfaceSuite.AEGP_GetEffectLayer = effectLayer;
    layerSuite.AEGP_GetLayerParentComp = parentComp;
    compSuite.AEGP_GetItemFromComp = itemFromComp;
    itemSuite.AEGP_GetItemDimensions = itemDimensions;
    itemSuite.AEGP_GetItemPixelAspectRatio = itemPar;
    prUtilitySuite.GetContainingTimelineID = timelineId;
    sequenceInfoSuite.GetFrameRect = frameRect;
    sequenceInfoSuite.GetPixelAspectRatio = timelinePar;

    suites = {
        {{kPFHandleSuite, 2}, &handleSuite},
        {{kAEGPUtilitySuite, 7}, &utilitySuite},
        {{kPFPixelFormatSuite, 1}, &pixelFormatSuite},
        {{kPFWorldSuite, 2}, &worldSuite},
        {{kPFPixelDataSuite, 1}, &pixelDataSuite},
        {{kPFColorParamSuite, 1}, &colorParamSuite},
        {{kPFParamUtilsSuite, 3}, &paramUtilsSuite},
        {{kPFParamUtilsSuite, 2}, &paramUtilsSuite},
        {{kPFParamUtilsSuite, 1}, &paramUtilsSuite},
        {{kPFEffectUISuite, 1}, &effectUISuite},
        {{kAEGPPFInterfaceSuite, 1}, &pfInterfaceSuite},
        {{kAEGPLayerSuite, 11}, &layerSuite},
        {{kAEGPCompSuite, 9}, &compSuite},
        {{kAEGPItemSuite, 10}, &itemSuite},
        {{kPFUtilitySuite, 3}, &prUtilitySuite},
        {{kPrSDKSequenceInfoSuite, 2}, &sequenceInfoSuite},
    };

    utils.copy = copyWorld;
    utils.fill = fillWorld;
    utils.ansi.sprintf = hostSprintf;
    utils.ansi.strcpy = hostStrcpy;
    utils.get_platform_data = platformData;

    in.inter.checkout_param = checkoutParam;
    in.inter.checkin_param = checkinParam;
    in.inter.add_param = addParam;
    in.inter.register_ui = registerUI;
    in.utils = &utils;
    in.effect_ref = reinterpret_cast<PF_ProgPtr>(0x99);
    in.version = {13, 28};
    in.appl_id = premiere ? PF_APPL_ID_PREMIERE : PF_APPL_ID_AFTER_EFFECTS;
    in.current_time = 50;
    in.time_step = 1;
    in.time_scale = 25;
    in.width = 4;
    in.height = 2;
    in.downsample_x = {1, 1};
    in.downsample_y = {1, 1};
    in.pixel_aspect_ratio = {1, 1};
    in.pica_basicP = &basic;
    values.resize(1);
    values[0].param_type = PF_Param_LAYER;
}

FakeHost::~FakeHost() {
    for (auto& [h, size] : liveHandles) {
        std::free(*h);
        std::free(h);
    }
    currentHost = nullptr;
}

FakeHost& FakeHost::current() { return H(); }

PF_Err FakeHost::call(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
    return EntryPointFunc(cmd, &in, &out, params, output, extra);
}

int FakeHost::acquiredTotal() const {
    int n = 0;
    for (const auto& [key, count] : acquired) n += count;
    return n;
}

int FakeHost::releasedTotal() const {
    int n = 0;
    for (const auto& [key, count] : released) n += count;
    return n;
}

std::vector<uint8_t> FakeHost::handleBytes(PF_Handle h) const {
    const auto* block = static_cast<const uint8_t*>(*h);
    return std::vector<uint8_t>(block, block + liveHandles.at(h));
}

std::vector<PF_ParamDef*> FakeHost::paramList() {
    std::vector<PF_ParamDef*> list;
    for (PF_ParamDef& def : values) list.push_back(&def);
    return list;
}

void FakeHost::addWorld(TestWorld& world) { worldFormats[&world.def] = world.formatCode; }
