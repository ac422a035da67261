#include "EntryPoint.h"

#include "Handlers.h"
#include "platform/Mutex.h"

namespace {

// The entry lock. Made on the first call whatever its command (a
// function-local static, so two first calls at once still make one) and
// never destroyed: host threads may call in while the process is exiting.
platform::Mutex& entryLock() {
    static platform::Mutex* const lock = new platform::Mutex();
    return *lock;
}

class EntryGuard {
public:
    EntryGuard() { entryLock().wait(); }
    ~EntryGuard() { entryLock().release(); }
    EntryGuard(const EntryGuard&) = delete;
    EntryGuard& operator=(const EntryGuard&) = delete;
};

bool isUnhandled(PF_Cmd cmd) {
    return cmd == PF_Cmd_UNUSED_0 || cmd == PF_Cmd_DO_DIALOG ||
           (cmd >= PF_Cmd_GET_EXTERNAL_DEPENDENCIES && cmd <= PF_Cmd_ARBITRARY_CALLBACK);
}

// Whether a handled command lacks a record it reads (in_data) or writes
// (out_data). A host that leaves one out gets an error rather than a crash.
bool recordsMissing(PF_Cmd cmd, const PF_InData* in_data, const PF_OutData* out_data) {
    switch (cmd) {
        case PF_Cmd_EVENT: return false;
        case PF_Cmd_GLOBAL_SETDOWN:
        case PF_Cmd_SEQUENCE_SETDOWN:
        case PF_Cmd_SMART_PRE_RENDER: return !in_data;
        default: return !in_data || !out_data;
    }
}

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                void* extra) {
    using namespace host;
    switch (cmd) {
        case PF_Cmd_ABOUT: return handleAbout(in_data, out_data);
        case PF_Cmd_GLOBAL_SETUP: return handleGlobalSetup(in_data, out_data);
        case PF_Cmd_GLOBAL_SETDOWN: return handleGlobalSetdown(in_data, out_data);
        case PF_Cmd_PARAMS_SETUP: return handleParamsSetup(in_data, out_data);
        case PF_Cmd_SEQUENCE_SETUP: return handleSequenceSetup(in_data, out_data);
        case PF_Cmd_SEQUENCE_RESETUP: return handleSequenceResetup(in_data, out_data);
        case PF_Cmd_SEQUENCE_FLATTEN: return handleSequenceFlatten(in_data, out_data);
        case PF_Cmd_SEQUENCE_SETDOWN: return handleSequenceSetdown(in_data);
        case PF_Cmd_FRAME_SETUP: return handleFrameSetup(in_data, out_data, params);
        case PF_Cmd_RENDER: return handleRender(in_data, out_data, params, output, nullptr);
        case PF_Cmd_FRAME_SETDOWN: return handleFrameSetdown(in_data, out_data);
        case PF_Cmd_USER_CHANGED_PARAM: return handleUserChangedParam(in_data, out_data, params, extra);
        case PF_Cmd_UPDATE_PARAMS_UI: return handleUpdateParamsUI(in_data, out_data, params);
        case PF_Cmd_EVENT: return handleEvent(extra);
        case PF_Cmd_SMART_PRE_RENDER: return handleSmartPreRender(in_data, extra);
        case PF_Cmd_SMART_RENDER: return handleSmartRender(in_data, out_data, params, extra);
        default: return PF_Err_NONE;
    }
}

}  // namespace

extern "C" PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                 PF_LayerDef* output, void* extra) {
    EntryGuard guard;
    // Codes above the table, negative ones included, and commands without a
    // handler.
    if (static_cast<uint32_t>(cmd) >= static_cast<uint32_t>(PF_Cmd_NUM_CMDS) || isUnhandled(cmd)) {
        return PF_Err_NONE;
    }
    if (recordsMissing(cmd, in_data, out_data)) return PF_Err_BAD_CALLBACK_PARAM;
    try {
        return dispatch(cmd, in_data, out_data, params, output, extra);
    } catch (PF_Err err) {
        return err;
    } catch (...) {
        return PF_Err_INVALID_CALLBACK;
    }
}
