// A small in-process host for the host-glue unit tests: in_data/out_data
// with working callbacks, every suite the module uses (each can be made
// missing per name and version), acquisition and release counts, handle
// accounting, parameter storage with checkout, and worlds with pixel
// formats. One FakeHost is current at a time (the C callbacks find it
// through a static pointer).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sdk/PF_Suites.h"

struct TestWorld {
    TestWorld(int32_t width, int32_t height, uint32_t format, int32_t padBytes = 0);
    std::vector<uint8_t> pixels;
    PF_LayerDef def{};
    uint32_t formatCode = 0;
    uint32_t depth() const;
    uint8_t* row(int32_t y) { return pixels.data() + size_t(y) * def.rowbytes; }
};

struct FakeHost {
    using SuiteKey = std::pair<std::string, int32_t>;

    explicit FakeHost(bool premiere = false);
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    static FakeHost& current();

    // Calls the module's entry point with this host's records.
    PF_Err call(PF_Cmd cmd, PF_ParamDef** params = nullptr, PF_LayerDef* output = nullptr, void* extra = nullptr);

    PF_InData in{};
    PF_OutData out{};
    PF_UtilCallbacks utils{};
    SPBasicSuite basic{};

    // Suites
    PF_HandleSuite1 handleSuite{};
    AEGP_UtilitySuite3 utilitySuite{};
    PF_PixelFormatSuite1 pixelFormatSuite{};
    PF_WorldSuite2 worldSuite{};
    PF_PixelDataSuite1 pixelDataSuite{};
    PF_ColorParamSuite1 colorParamSuite{};
    PF_ParamUtilsSuite3 paramUtilsSuite{};
    PF_EffectUISuite1 effectUISuite{};
    AEGP_PFInterfaceSuite1 pfInterfaceSuite{};
    AEGP_LayerSuite5 layerSuite{};
    AEGP_CompSuite4 compSuite{};
    AEGP_ItemSuite6 itemSuite{};
    PF_UtilitySuite3 prUtilitySuite{};
    PrSDKSequenceInfoSuite sequenceInfoSuite{};
    std::map<SuiteKey, const void*> suites;
    std::set<SuiteKey> missing;
    std::map<SuiteKey, int> acquired, released;
    int acquiredTotal() const;
    int releasedTotal() const;

    // Handles
    std::map<PF_Handle, size_t> liveHandles;
    int handlesMade = 0;
    bool failNewHandle = false;
    std::vector<uint8_t> handleBytes(PF_Handle h) const;

    // Parameters: the definitions the module added, and the values the
    // host holds by host index (index 0 is the input layer).
    std::vector<PF_ParamDef> added;
    int addParamFailsAt = -1;  // index in `added` whose add fails
    std::vector<PF_ParamDef> values;
    std::vector<PF_ParamDef*> paramList();  // pointers into values
    std::vector<int> checkouts, checkins;
    int checkoutFailsAt = -1;  // host index whose checkout fails
    int uiRegistrations = 0;
    PF_CustomUIInfo registeredUI{};
    std::vector<std::pair<PF_ParamIndex, PF_ParamDef>> uiUpdates;
    std::string optionsButtonName;
    PF_PixelFloat colorFloat{1.0f, 0.25f, 0.5f, 0.75f};

    // Global setup
    std::string registeredName;
    A_Err registerResult = A_Err_NONE;
    std::vector<uint32_t> pixelFormatsAdded;
    int pixelFormatsCleared = 0;
    void* moduleInstance = reinterpret_cast<void*>(0x1234);

    // Composition / timeline
    A_long compWidth = 1920, compHeight = 1080;
    A_Ratio compPar{1, 1};
    prRect timelineRect{0, 0, 1280, 720};
    csSDK_uint32 timelineParNum = 1, timelineParDen = 1;

    // Worlds
    std::map<const PF_LayerDef*, uint32_t> worldFormats;
    void addWorld(TestWorld& world);
    int copies = 0, fills = 0;
    PF_Pixel lastFill{};

    // Smart render
    PF_CheckoutResult checkoutResult{};
    PF_Err checkoutError = PF_Err_NONE;
    PF_RenderRequest lastRequest{};
    A_long lastCheckoutId = 0;
    PF_EffectWorld* smartInput = nullptr;
    PF_EffectWorld* smartOutput = nullptr;
    PF_Err pixelsCheckoutError = PF_Err_NONE;
};
