# Cross-build for 64-bit Windows with mingw-w64 (Debian's posix-thread
# compilers, so that std::thread and std::mutex work). Runtimes are linked
# statically: the module and the test programs need no DLL beyond Windows'
# own.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
#         -DLUMIVEX_RESGEN=<native build>/package/lumivex_resgen
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LUMIVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LUMIVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMIVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMIVEX_MINGW_TRIPLE}-windres)

# Libraries and headers of the target come from the mingw-w64 tree only;
# programs (windres, glad, python) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${LUMIVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(_lumivex_static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_lumivex_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_lumivex_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_lumivex_static_runtime}")

# Test programs run under Wine through this wrapper (time limit, output).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
