// The stand-in host: drives an effect module through the command sequences
// of the compositing host (smart pre-render and smart render, or frame
// setup and render) and of the editing host (appl_id 'PrMr': frame setup,
// render, frame setdown), with the records, callbacks, suites, worlds,
// parameters and handles those hosts provide.
//
// Errors: commands return the module's PF_Err unchanged and log it; misuse
// of the Host itself (an unknown parameter, a value of the wrong kind, a
// depth the module did not declare) throws hostsim::Error.
// Ownership: the Host borrows the Module, which must outlive it; it owns
// every record, world, handle and suite table it gives the module.
// Threads: one thread at a time. While a command runs, the thread records
// which Host it is in, so that callbacks without an effect reference
// (handle, pixel and world suites) find their host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hostsim/Handles.h"
#include "hostsim/Image.h"
#include "hostsim/Module.h"
#include "hostsim/Suites.h"
#include "sdk/PF_Effect.h"

namespace hostsim {

enum class HostKind { Compositing, Editing };

struct HostConfig {
    HostKind kind = HostKind::Compositing;
    int16_t versionMajor = 13, versionMinor = 28;  // effect API version the host reports
    uint32_t depth = 8;                            // 8, 16 or 32 bits per channel
    int32_t timeStep = 1000;
    uint32_t timeScale = 30000;  // 30 frames a second
    PF_RationalScale downsampleX{1, 1}, downsampleY{1, 1};
    PF_RationalScale pixelAspect{1, 1};
    int32_t preEffectOriginX = 0, preEffectOriginY = 0;
    bool smartRender =
        true;  // compositing host: smart commands when the module supports them, else frame setup + render
    uint32_t rowPadding = 16;     // extra bytes at the end of every world row
    bool bottomUp = false;        // worlds stored last row first: negative rowbytes
    bool staleOutput = false;     // output worlds start opaque white, as a reused host buffer may, not cleared
    bool keepOutputImage = true;  // false: render() leaves RenderResult::image empty (benchmarks)
    // Misbehaviour on request: a pixel-format code reported for every world
    // instead of its own (0: none), and frame and render commands without
    // frame setup (so, in the editing host, without frame data).
    uint32_t reportedFormat = 0;
    bool frameSetup = true;
};

struct CommandRecord {
    PF_Cmd cmd;
    PF_Err result;
    std::string message;  // out_data->return_msg after the command
    uint32_t outFlags;
};

struct UiUpdate {
    int32_t index;
    int32_t uiFlags;
    std::string name;
};

struct RenderResult {
    PF_Err result = PF_Err_NONE;
    PF_Cmd failedCommand = -1;         // the first command that returned an error
    Image image;                       // the output world, converted
    int32_t originX = 0, originY = 0;  // output position in layer coordinates
    // out_data of the render (or smart render) command: what the module
    // reported for this frame (return_msg with PF_OutFlag_DISPLAY_ERROR_MESSAGE).
    std::string message;
    uint32_t outFlags = 0;
    // What smart pre-render declared (compositing host, smart path only).
    PF_Rect resultRect{}, maxResultRect{};
    int32_t preRenderFlags = 0;
};

// Names from the effect interface, for messages: "PF_Cmd_RENDER",
// "PF_Err_BAD_CALLBACK_PARAM", "error 12345".
std::string commandName(PF_Cmd cmd);
std::string errorName(PF_Err err);

class Host {
public:
    Host(Module& module, HostConfig config);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const HostConfig& config() const;
    // Changes the depth for later renders (8, 16 or 32).
    void setDepth(uint32_t depth);

    // The input layer at full resolution; also fixes in_data's width and
    // height and the composition size. A 1280x720 transparent layer until set.
    // Taken by move, the picture it replaces is given back for reuse.
    void setInput(const Image& image);
    Image setInput(Image&& image);

    // --- single commands (each logged) ---------------------------------------
    PF_Err about(std::string* text = nullptr);
    PF_Err globalSetup();
    PF_Err paramsSetup();
    PF_Err sequenceSetup();
    PF_Err sequenceSetdown();
    PF_Err globalSetdown();
    PF_Err updateParamsUI();
    PF_Err userChangedParam(int32_t index);
    // An effect-window event on parameter `index`; *outFlags gets evt_out_flags.
    PF_Err event(int32_t index, int32_t* outFlags);
    // Any command with the current records; `extra` is passed through.
    PF_Err send(PF_Cmd cmd, void* extra = nullptr);

    // --- sequences ------------------------------------------------------------
    // global setup, params setup, sequence setup: a new effect instance.
    PF_Err start();
    // Takes what another host's global setup gave (version, flags, global
    // data, declared pixel formats) instead of sending one: instances of an
    // effect share the module's one global setup, so a further instance is
    // adoptGlobalSetup, paramsSetup, sequenceSetup, and only the host that
    // ran global setup sends global setdown.
    void adoptGlobalSetup(const Host& other);
    // Saves the project (flatten) and reloads it: sequence setdown of the
    // live instance, then resetup from the saved bytes.
    PF_Err saveAndReload();
    std::vector<uint8_t> savedSequenceData() const;
    // Renders one frame at `time` (in time-scale units) with the host's
    // command sequence. The output is read back into `storage` (a spent
    // picture given for reuse) when it has the output's size.
    RenderResult render(int32_t time, Image storage = {});
    // sequence setdown then global setdown; a host that adopted another's
    // global setup sends sequence setdown only.
    PF_Err finish();
    // Misbehaviour on request, for an instance without sequence data: a new
    // host block holding `bytes` becomes its sequence data, a block the
    // module never made (all zeros: one without a sequence handle).
    void useSequenceData(const std::vector<uint8_t>& bytes);

    // --- parameters as the host keeps them (index 0 is the input layer) ------
    int32_t paramCount() const;
    const PF_ParamDef& param(int32_t index) const;
    // The index of the parameter with this name, or -1.
    int32_t findParam(const std::string& name) const;
    std::vector<std::string> paramNames() const;
    // Popup entries of a popup parameter.
    std::vector<std::string> popupChoices(int32_t index) const;
    void setFloat(int32_t index, double value);  // float slider, angle (degrees)
    void setCheckbox(int32_t index, bool value);
    void setPopup(int32_t index, int32_t entry);        // from 1
    void setColor(int32_t index, const float rgba[4]);  // 1.0 full
    void setPoint(int32_t index, const double* xyz);    // 2 values for a point, 3 for a 3D point
    void setLayer(int32_t index, Image image);          // full resolution
    // Records the parameter's current value as a keyframe at `time`
    // (time-scale units). A parameter with keyframes has, at any time, the
    // value of the latest keyframe at or before it (before the first: the
    // first), held until the next.
    void setKeyframe(int32_t index, int32_t time);

    // --- what the host observed ---------------------------------------------
    const std::vector<CommandRecord>& log() const;
    const std::vector<UiUpdate>& uiUpdates() const;
    const std::string& optionsButtonName() const;
    const PF_CustomUIInfo* registeredUI() const;  // null until register_ui
    const std::string& aegpName() const;          // name given to the AEGP registration
    const PF_OutData& outData() const;            // after the last command
    uint32_t effectVersion() const;               // my_version from global setup
    uint32_t effectFlags() const;                 // out_flags from global setup
    uint32_t effectFlags2() const;
    const std::vector<uint32_t>& declaredPixelFormats() const;  // editing host
    int checkedOutParams() const;                               // outstanding checkouts
    int unmatchedCheckins() const;
    int unsupportedCalls() const;  // calls into slots the host does not implement
    int failedCallbacks() const;   // callbacks the host itself could not serve
    double moduleSeconds() const;  // time spent inside the module's entry point, in all
    SuiteRegistry& suites();
    HandleTable& handles();

    struct State;

private:
    std::unique_ptr<State> state;
};

}  // namespace hostsim
