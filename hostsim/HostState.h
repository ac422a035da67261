// Internal to hostsim: the state behind a Host, shared by the command
// sequences (Host.cpp) and the C callbacks and suite tables the module
// calls (Callbacks.cpp). Not part of the public interface.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostsim/Host.h"
#include "World.h"
#include "sdk/PF_Suites.h"

namespace hostsim {

// The AE-side "PF Pixel Format Suite" version 2: add and clear only.
struct PF_PixelFormatSuite2 {
    PF_Err (*PF_AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PF_PixelFormat pixel_format);
    PF_Err (*PF_ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
};

struct HostParam {
    PF_ParamDef def{};                              // definition with the current value
    std::string choices;                            // owned copy behind def.u.pd.u.namesptr
    std::string label;                              // owned copy behind def.u.bd.u.nameptr
    float color[4] = {0, 0, 0, 1};                  // float colour (RGBA) of a colour parameter
    std::shared_ptr<const Image> layer;             // image behind a layer parameter
    std::map<int32_t, PF_ParamDefUnion> keyframes;  // time -> value, held until the next
};

struct Checkout {
    int32_t index;
    std::unique_ptr<World> world;  // pixels of a checked-out layer
    float color[4];
};

struct Host::State {
    State(Module& m, HostConfig c);

    Module& module;
    HostConfig config;

    PF_InData in{};
    PF_OutData out{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};

    SuiteRegistry suites;
    HandleTable handles;

    PF_HandleSuite1 handleSuite{};
    AEGP_UtilitySuite3 aegpUtility{};
    PF_PixelFormatSuite1 pixelFormat1{};
    PF_PixelFormatSuite2 pixelFormat2{};
    PF_WorldSuite2 worldSuite{};
    PF_PixelDataSuite1 pixelData{};
    PF_ColorParamSuite1 colorParam{};
    PF_ParamUtilsSuite3 paramUtils3{};
    PF_ParamUtilsSuite1 paramUtils2{}, paramUtils1{};
    PF_EffectUISuite1 effectUI{};
    AEGP_PFInterfaceSuite1 pfInterface{};
    AEGP_LayerSuite5 layerSuite{};
    AEGP_CompSuite4 compSuite{};
    AEGP_ItemSuite6 itemSuite{};
    PF_UtilitySuite3 prUtility{};
    PrSDKSequenceInfoSuite sequenceInfo{};
    int layerToken = 0, compToken = 0, itemToken = 0;  // addresses serve as AEGP handles

    // Parameters; [0] is the input layer.
    std::vector<std::unique_ptr<HostParam>> params;
    bool addingParams = false;
    PF_Cmd running = -1;  // the command in progress, -1 between commands
    Image input{1280, 720};

    // Worlds alive for the current frame or checkout.
    std::unique_ptr<World> inputWorld, outputWorld;
    bool inputChanged = false;  // `input` is not yet what inputWorld holds
    std::vector<std::unique_ptr<World>> frameWorlds;
    std::map<int32_t, int32_t> layerCheckouts;  // smart checkout id -> parameter index
    std::map<const PF_ParamDef*, Checkout> checkouts;

    PF_Handle sequenceData = nullptr;
    std::vector<uint8_t> saved;

    // Observed.
    std::vector<CommandRecord> log;
    std::vector<UiUpdate> uiUpdates;
    std::string optionsButton, aegpName;
    std::optional<PF_CustomUIInfo> customUI;
    uint32_t version = 0, flags = 0, flags2 = 0;
    std::vector<uint32_t> declaredFormats;
    bool adoptedGlobal = false;  // global data taken from another host, not ours to set down
    int unmatchedCheckins = 0, unsupported = 0, failedCallbacks = 0;
    std::chrono::steady_clock::duration moduleTime{};  // spent inside the entry point

    PF_ProgPtr ref() { return reinterpret_cast<PF_ProgPtr>(this); }
    void installCallbacks();  // Callbacks.cpp
    static void installPreRenderCallbacks(PF_PreRenderCallbacks& cb);
    static void installSmartRenderCallbacks(PF_SmartRenderCallbacks& cb);

    PF_Err dispatch(PF_Cmd cmd, PF_LayerDef* output, void* extra);
    void resetOut();
    void presetInData();
    HostParam& paramOf(int32_t index, const char* what);
    PF_ParamDef valueAt(int32_t index, int32_t time) const;
    const Image& layerImage(int32_t index) const;  // full resolution; empty when none
    std::unique_ptr<World> makeWorld(uint32_t width, uint32_t height);
    std::unique_ptr<World> makeOutputWorld(uint32_t width, uint32_t height);  // honours staleOutput
    // Null when the layer has no image. `reuse`, when it has the size, depth
    // and format, is filled rather than a new world made.
    std::unique_ptr<World> makeLayerWorld(int32_t index, std::unique_ptr<World> reuse = nullptr);
    // The size makeLayerWorld would give, without making it; false when none.
    bool layerSize(int32_t index, uint32_t& width, uint32_t& height) const;
    static uint32_t reduction(const PF_RationalScale& downsample);
    World& ensureInputWorld();
    World* findWorld(const PF_EffectWorld* world);
    uint32_t pixelFormat() const;  // throws when the editing host has none for the depth
    bool hasPixelFormat() const;
};

// The State of the command running on this thread, or null between commands.
Host::State* currentHost();
// The State behind an effect reference, when it is the one running.
Host::State* hostOf(PF_ProgPtr ref);

}  // namespace hostsim
