# Builds the engine's own copy of the Duktape sources: the installed
# single-file distribution with its configuration header patched.
# Run as: cmake -DSOURCE_DIR=<installed dist> -DOUTPUT_DIR=<dir> -P GenerateConfig.cmake
#
# The installed duk_config.h is the default configuration; our choices go in
# at its override marker, so they win over everything above it:
#   - no voluntary garbage collection: the runtime runs one full collection
#     after every script call and nothing else;
#   - the interrupt counter and an execution-timeout check that asks the
#     runtime whether the running call is over its time budget;
#   - built as C++ with C++ exceptions, so that a script error unwinding
#     through a native binding runs the destructors of its locals;
#   - the API hidden like the rest of the module (only the host entry point
#     is exported).
# duktape.h and duktape.c are copied next to the patched header because they
# include "duk_config.h" relative to their own folder.

set(marker "/* __OVERRIDE_DEFINES__ */")
file(READ "${SOURCE_DIR}/duk_config.h" config)
string(FIND "${config}" "${marker}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "duk_config.h in ${SOURCE_DIR} has no override marker")
endif()

set(overrides [=[
/* Lumivex overrides (generated; see script/duktape/GenerateConfig.cmake). */
#undef DUK_USE_VOLUNTARY_GC
#define DUK_USE_INTERRUPT_COUNTER
#if defined(__cplusplus)
bool lumivexScriptTimedOut(void* heapUserData);
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) lumivexScriptTimedOut((udata))
#endif
#define DUK_USE_CPP_EXCEPTIONS
#undef DUK_EXTERNAL_DECL
#undef DUK_EXTERNAL
#define DUK_EXTERNAL_DECL extern
#define DUK_EXTERNAL
]=])
string(REPLACE "${marker}" "${marker}\n${overrides}" config "${config}")

file(MAKE_DIRECTORY "${OUTPUT_DIR}/duktape")
file(WRITE "${OUTPUT_DIR}/duktape/duk_config.h.tmp" "${config}")
file(COPY_FILE "${OUTPUT_DIR}/duktape/duk_config.h.tmp" "${OUTPUT_DIR}/duktape/duk_config.h" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT_DIR}/duktape/duk_config.h.tmp")
file(COPY_FILE "${SOURCE_DIR}/duktape.h" "${OUTPUT_DIR}/duktape/duktape.h" ONLY_IF_DIFFERENT)
file(COPY_FILE "${SOURCE_DIR}/duktape.c" "${OUTPUT_DIR}/duktape/duktape.cpp" ONLY_IF_DIFFERENT)
