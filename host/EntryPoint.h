// The module's only exported symbol. The host calls it for every command;
// each call runs alone under the process-wide entry lock (a recursive mutex,
// so a nested call on the owning thread does not block). Nothing thrown
// inside escapes: a thrown PF_Err integer is returned as it is, anything
// else becomes PF_Err_INVALID_CALLBACK (515). Command codes outside 0..24 and
// the commands the module does not handle return PF_Err_NONE untouched.
#pragma once

#include "sdk/PF_Effect.h"

extern "C" __attribute__((visibility("default"))) PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data,
                                                                        PF_OutData* out_data, PF_ParamDef* params[],
                                                                        PF_LayerDef* output, void* extra);
