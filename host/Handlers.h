// The host glue: one handler per host command, called by EntryPointFunc
// (host/EntryPoint.cpp) under the entry lock, plus the helpers the handlers
// share.
//
// Errors: a handler returns a host error code, or throws a PF_Err integer
// (PF_Err_BAD_CALLBACK_PARAM, 516, for a suite the host cannot give; a host
// callback's own failure where the command reports it). The entry point
// returns thrown integers unchanged and turns any other exception into
// PF_Err_INVALID_CALLBACK (515).
// Ownership: every record, world and handle comes from the host; handlers
// make host handles only through the PF Handle Suite and hand them over in
// out_data (global, sequence and frame data) or dispose of them.
// Threads: the host may call from several threads; the entry lock makes
// every command run alone. GL work takes the engine's GL lock inside it.
// The engine is reached only through effectPlugin() (script/IPlugin.h).
#pragma once

#include <cstdint>

#include "SuiteCache.h"
#include "sdk/PF_Effect.h"

namespace host {

struct SequenceData;

// The checkout id of the input layer in smart pre-render and smart render.
constexpr A_long kInputCheckoutId = 0x123456;

// Holds the engine's GL lock for one scope when asked to and the take
// succeeds; released on destruction, also while an exception passes.
class GLScope {
public:
    explicit GLScope(bool take);
    ~GLScope();
    GLScope(const GLScope&) = delete;
    GLScope& operator=(const GLScope&) = delete;
    bool taken() const { return held; }

private:
    bool held;
};

// A world's pixels as the PF Pixel Data Suite gives them, trying float,
// then 16-bit, then 8-bit; data is null (depth 0) when none matches.
struct WorldPixels {
    void* data = nullptr;
    uint32_t depth = 0;
};
WorldPixels worldPixels(SuiteCache& suites, PF_LayerDef* world);

// Makes the instance's Sequence current (none when the block has no handle)
// and gives it the stored composition size and pixel aspect ratio.
void selectSequence(const SequenceData& data);

// --- lifecycle (commands 0, 1, 3, 5 to 8) ---
PF_Err handleAbout(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleGlobalSetup(PF_InData* in_data, PF_OutData* out_data);
// Disposes of the global data; the engine itself lives until the process ends.
PF_Err handleGlobalSetdown(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleSequenceSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleSequenceResetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleSequenceFlatten(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleSequenceSetdown(PF_InData* in_data);

// --- parameters (commands 4, 13, 14) ---
PF_Err handleParamsSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err handleUserChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], void* extra);
PF_Err handleUpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
// Pushes enable state and names to the host (when params is given) and
// rebuilds the index maps; sets PF_OutFlag_REFRESH_UI.
void refreshParamUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
// Reads every host-backed parameter at the current time into the current
// sequence; all=false leaves out layer, texture and path parameters.
void readParamValues(SuiteCache& suites, PF_InData* in_data, bool all);
// Converts one checked-out definition at host index hostIndex and stores it.
void readParamValue(SuiteCache& suites, PF_InData* in_data, const PF_ParamDef& def, int32_t hostIndex);

// Host index of the first COLOR / POINT parameter registered (0 if none).
uint32_t firstColorIndex();
uint32_t firstPointIndex();

// 16.16 fixed point, rounded half away from zero / truncated; saturates.
PF_Fixed fixedRounded(double value);
PF_Fixed fixedTruncated(double value);

// --- events (command 15) ---
PF_Err handleEvent(void* extra);

// --- geometry (commands 10, 23) ---
PF_Err handleFrameSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
PF_Err handleSmartPreRender(PF_InData* in_data, void* extra);
// Stores the composition size and pixel aspect ratio into the sequence data.
void refreshCompositionInfo(SuiteCache& suites, PF_InData* in_data, SequenceData* data);
// size (at least 1) times num/den, rounded to the nearest whole pixel; 1/1
// (or an invalid rational) gives size itself.
uint32_t scale(uint32_t size, int32_t num, uint32_t den);

// --- render (commands 11, 12, 24) ---
// The current time in seconds (0 without a time scale).
double frameSeconds(const PF_InData* in_data);
PF_Err handleRender(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                    PF_LayerDef* input);
PF_Err handleSmartRender(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], void* extra);
PF_Err handleFrameSetdown(PF_InData* in_data, PF_OutData* out_data);
// Bits per channel of a world from its pixel format: 8, 16, 32, or 0.
uint32_t pixelDepth(PF_LayerDef* world, PF_InData* in_data, PF_OutData* out_data);
// The depth of a host pixel-format code (0 when unknown).
uint32_t depthOfPixelFormat(uint32_t format);

}  // namespace host
