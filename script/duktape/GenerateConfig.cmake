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
#   - a native stack check, run at every call and every level of recursion
#     inside built-ins, that asks the runtime whether the call must stop for
#     its stack depth or its time, and a script-compiler recursion limit
#     that the runtime derives from the stack left when a compilation starts
#     (the compiler has no stack check of its own; HeapGuard.h);
#   - built as C++ with C++ exceptions, so that a script error unwinding
#     through a native binding runs the destructors of its locals;
#   - the API hidden like the rest of the module (only the host entry point
#     is exported).
# duktape.h and duktape.c are copied next to the patched header because they
# include "duk_config.h" relative to their own folder.

set(marker "/* __OVERRIDE_DEFINES__ */")
file(READ "${SOURCE_DIR}/duk_config.h" config)
# The stack check and the compiler limit read the heap's user data through
# the variable `thr` of the one place that expands each; stop here if a new
# engine version expands them anywhere else.
file(READ "${SOURCE_DIR}/duktape.c" engine)
function(expect_single_site name pattern site)
  string(REGEX MATCHALL "${pattern}" expansions "${engine}")
  list(LENGTH expansions count)
  string(FIND "${engine}" "${site}" at)
  if(at EQUAL -1 OR NOT count EQUAL 1)
    message(FATAL_ERROR "duktape.c in ${SOURCE_DIR} expands ${name} where the generated configuration does not expect it")
  endif()
endfunction()
expect_single_site(DUK_USE_NATIVE_STACK_CHECK "DUK_USE_NATIVE_STACK_CHECK\\(\\) !="
  "DUK_INTERNAL void duk_native_stack_check(duk_hthread *thr) {\n#if defined(DUK_USE_NATIVE_STACK_CHECK)\n\tif (DUK_USE_NATIVE_STACK_CHECK() != 0) {")
expect_single_site(DUK_USE_COMPILER_RECLIMIT "= DUK_USE_COMPILER_RECLIMIT"
  "\tcomp_ctx->thr = thr;\n\tcomp_ctx->h_filename = h_filename;\n\tcomp_ctx->tok11_idx = entry_top + 1;\n\tcomp_ctx->tok12_idx = entry_top + 2;\n\tcomp_ctx->tok21_idx = entry_top + 3;\n\tcomp_ctx->tok22_idx = entry_top + 4;\n\tcomp_ctx->recursion_limit = DUK_USE_COMPILER_RECLIMIT;")
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
int lumivexNativeStackCheck(void* heapUserData);
int lumivexCompilerRecursionLimit(void* heapUserData, int engineLimit);
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) lumivexScriptTimedOut((udata))
#define DUK_USE_NATIVE_STACK_CHECK() lumivexNativeStackCheck(thr->heap->heap_udata)
#undef DUK_USE_COMPILER_RECLIMIT
#define DUK_USE_COMPILER_RECLIMIT lumivexCompilerRecursionLimit(thr->heap->heap_udata, 2500)
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
