// About box, global setup and the four sequence commands.
#include <cstring>

#include "Handlers.h"
#include "HostSupport.h"
#include "SequenceData.h"
#include "package/ConfigDocument.h"
#include "package/Registration.h"
#include "script/IPlugin.h"

namespace host {

namespace {

// The flags added to the configured ones, as the registration resource
// carries them too: KEEP_RESOURCE_OPEN, NON_PARAM_VARY, CUSTOM_UI and
// SEND_UPDATE_PARAMS_UI.
using package::kFixedOutFlags;
static_assert(kFixedOutFlags == (PF_OutFlag_KEEP_RESOURCE_OPEN | PF_OutFlag_NON_PARAM_VARY | PF_OutFlag_CUSTOM_UI |
                                 PF_OutFlag_SEND_UPDATE_PARAMS_UI),
              "fixed output flags");

constexpr int kTextAbout = 0;
constexpr int kTextRegistrationName = 2;

// Allocates the 8-byte global data and, in the compositing host, registers
// with the AEGP layer. Stores the handle in out_data only when all went
// well; otherwise it is disposed of here.
PF_Err makeGlobalData(PF_InData* in_data, PF_OutData* out_data) {
    SuiteCache suites(in_data);
    const PF_HandleSuite1* handles = suites.handles();
    HostHandle handle(handles, sizeof(GlobalData));
    if (!handle.valid()) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    HandleLock lock(handles, handle.get());
    auto* data = static_cast<GlobalData*>(lock.data());
    if (!data) return PF_Err_NONE;  // go on without global data
    data->initialised = 1;
    if (isPremiereHost(in_data)) {
        out_data->global_data = handle.release();
        return PF_Err_NONE;
    }
    const std::string name = script::effectPlugin().getText(kTextRegistrationName);
    const auto* utility = suites.get<AEGP_UtilitySuite3>(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3);
    const A_Err err = utility->AEGP_RegisterWithAEGP(nullptr, name.c_str(), &data->pluginId);
    if (err == A_Err_NONE) out_data->global_data = handle.release();
    return err;
}

// The editing host's pixel formats: 8-bit always, 16-bit and float when the
// effect is deep- or float-colour aware (those flags are then taken out of
// what the editing host sees).
void declarePixelFormats(PF_InData* in_data, uint32_t& flags, uint32_t& flags2) {
    DirectSuite<PF_PixelFormatSuite1> formats(in_data, kPFPixelFormatSuite, {kPFPixelFormatSuiteVersion1});
    if (!formats) return;
    formats->ClearSupportedPixelFormats(in_data->effect_ref);
    formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_ARGB_4444_8u);
    formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_XRGB_4444_8u);
    if (flags & PF_OutFlag_DEEP_COLOR_AWARE) {
        formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_XRGB_4444_16u);
        formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_ARGB_4444_16u);
        flags &= ~PF_OutFlag_DEEP_COLOR_AWARE;
    }
    if (flags2 & PF_OutFlag2_FLOAT_COLOR_AWARE) {
        formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_ARGB_4444_32f);
        formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_XRGB_4444_32f);
        flags2 &= ~PF_OutFlag2_FLOAT_COLOR_AWARE;
    }
}

// A fresh zeroed sequence block with a new Sequence, handed to out_data.
// Returns false when the host gives no memory.
bool makeSequenceData(SuiteCache& suites, PF_OutData* out_data, script::SequenceHandle** made) {
    const PF_HandleSuite1* handles = suites.handles();
    HostHandle handle(handles, kSequenceDataSize);
    if (!handle.valid()) return false;
    {
        HandleLock lock(handles, handle.get());
        auto* data = static_cast<SequenceData*>(lock.data());
        if (!data) return false;
        std::memset(data, 0, kSequenceDataSize);
        data->handle = script::effectPlugin().newSequence();
        if (made) *made = data->handle;
    }
    out_data->sequence_data = handle.release();
    return true;
}

// Deletes the instance's Sequence and disposes of its block. When the host
// cannot give the handle suite, the block stays with the host, naming no
// Sequence (never a deleted one).
void disposeSequenceData(SuiteCache& suites, PF_InData* in_data) {
    if (!in_data->sequence_data) return;
    if (SequenceData* data = sequenceDataOf(in_data)) {
        if (data->handle) script::effectPlugin().deleteSequence(data->handle);
        data->handle = nullptr;
    }
    suites.handles()->host_dispose_handle(in_data->sequence_data);
    in_data->sequence_data = nullptr;
}

}  // namespace

PF_Err handleAbout(PF_InData* in_data, PF_OutData* out_data) {
    if (isPremiereHost(in_data)) return PF_Err_NONE;
    formatHostString(in_data, out_data->return_msg, sizeof(out_data->return_msg),
                     script::effectPlugin().getText(kTextAbout));
    return PF_Err_NONE;
}

PF_Err handleGlobalSetup(PF_InData* in_data, PF_OutData* out_data) {
    void* instance = nullptr;
    if (in_data->utils && in_data->utils->get_platform_data) {
        in_data->utils->get_platform_data(in_data->effect_ref, PF_PlatData_RES_DLLINSTANCE, &instance);
    }
    script::IPlugin& fx = script::effectPlugin();
    if (!fx.init(instance)) return PF_Err_INTERNAL_STRUCT_DAMAGED;

    EffectVersion version = 0;
    fx.getVersion(&version);
    out_data->my_version = package::hostVersionWord(version);
    uint32_t flags = fx.getFlags() | kFixedOutFlags;
    uint32_t flags2 = fx.getFlags2();
    if (isPremiereHost(in_data)) flags2 |= PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER;

    const PF_Err result = makeGlobalData(in_data, out_data);
    if (isPremiereHost(in_data)) declarePixelFormats(in_data, flags, flags2);
    out_data->out_flags = static_cast<PF_OutFlags>(flags);
    out_data->out_flags2 = static_cast<PF_OutFlags2>(flags2);
    return result;
}

PF_Err handleGlobalSetdown(PF_InData* in_data, PF_OutData* out_data) {
    if (!in_data->global_data) return PF_Err_NONE;
    // The handle was made through the host's handle suite at global setup;
    // the host expects it back before it unloads the module.
    SuiteCache suites(in_data);
    suites.handles()->host_dispose_handle(in_data->global_data);
    in_data->global_data = nullptr;
    if (out_data) out_data->global_data = nullptr;
    return PF_Err_NONE;
}

PF_Err handleSequenceSetup(PF_InData* in_data, PF_OutData* out_data) {
    SuiteCache suites(in_data);
    // Nothing can be made without the handle suite: asked for first, so that
    // an instance set up again keeps its data when the host cannot give it.
    suites.handles();
    disposeSequenceData(suites, in_data);
    return makeSequenceData(suites, out_data, nullptr) ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
}

PF_Err handleSequenceResetup(PF_InData* in_data, PF_OutData* out_data) {
    if (!in_data->sequence_data) return PF_Err_NONE;
    SuiteCache suites(in_data);
    script::SequenceHandle* made = nullptr;
    if (!makeSequenceData(suites, out_data, &made)) return PF_Err_NONE;
    if (*in_data->sequence_data) script::effectPlugin().setSequence(made);
    if (!isPremiereHost(in_data) && !isCurrentHost(in_data)) out_data->out_flags |= PF_OutFlag_FORCE_RERENDER;
    refreshParamUI(in_data, out_data, nullptr);
    return PF_Err_NONE;
}

PF_Err handleSequenceFlatten(PF_InData* in_data, PF_OutData* out_data) {
    if (!in_data->sequence_data) return PF_Err_NONE;
    SuiteCache suites(in_data);
    const PF_HandleSuite1* handles = suites.handles();
    HostHandle flat(handles, kSequenceDataSize);
    if (!flat.valid()) return PF_Err_NONE;
    {
        HandleLock lock(handles, flat.get());
        if (lock.data()) {
            // Nothing of the instance is saved: a reloaded project starts afresh.
            std::memset(lock.data(), 0, kSequenceDataSize);
            const SequenceData* current = sequenceDataOf(in_data);
            if (current && current->handle) script::effectPlugin().setSequence(current->handle);
        }
    }
    out_data->sequence_data = flat.release();
    return PF_Err_NONE;
}

PF_Err handleSequenceSetdown(PF_InData* in_data) {
    if (!in_data->sequence_data) return PF_Err_NONE;
    SuiteCache suites(in_data);
    disposeSequenceData(suites, in_data);
    return PF_Err_NONE;
}

}  // namespace host
