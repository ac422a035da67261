// The LX_ API: the global functions through which the effect script creates
// and drives entities by id.
//
// Errors: the functions never throw for wrong ids or values; misuse gives
// false or 0, and lookups of unknown ids act on shared empty objects. Script
// code run by an argument conversion (valueOf, toString) may still throw.
// Ownership: every entity lives in the registry (gpu/Context.h); the script
// holds ids only.
// Threads: called by the script engine under the entry lock and the GL lock.
#pragma once

#include "duktape/duktape.h"

namespace script {

// Stores the 32 LX_ functions as properties of the global object, in the
// order of their groups: parameters, render targets, shaders, textures,
// surfaces, context.
void registerScriptApi(duk_context* ctx);

}  // namespace script
