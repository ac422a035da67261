#!/bin/sh
# Runs a Windows program under Wine for CTest (CMAKE_CROSSCOMPILING_EMULATOR):
#   wine-run.sh PROGRAM.exe [ARGS...]
# Each run is bounded by LUMIVEX_WINE_TIMEOUT seconds (default 120); Wine's
# own diagnostics are kept out of the program's output unless WINEDEBUG says
# otherwise. The environment (WINEPREFIX, DISPLAY) comes from
# scripts/test-windows.sh.
set -u
: "${WINEDEBUG:=-all}"
export WINEDEBUG
exec timeout --kill-after=10 "${LUMIVEX_WINE_TIMEOUT:-120}" wine "$@"
