#!/bin/sh
# The Windows deliverable: cross-builds the modules and the Windows test
# programs into build-win/ with mingw-w64, checks the module files, and runs
# the Windows suites under Wine on a virtual X server (Mesa's software GL
# behind Wine's opengl32).
#
# Needs a native build for the resource generator and the Linux modules the
# Windows ones are compared with: LUMIVEX_NATIVE_BUILD (default build/, made
# with scripts/build.sh when it has no resource generator yet).
# Extra arguments go to ctest (for example -R Render).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

native=${LUMIVEX_NATIVE_BUILD:-build}
if [ ! -x "$native/package/lumivex_resgen" ] || [ ! -f "$native/modules/Vantrel.so" ]; then
  if [ "$native" = build ]; then ./scripts/build.sh; else
    echo "test-windows: $native has no lumivex_resgen and Vantrel.so; build it first" >&2; exit 1
  fi
fi
native=$(cd "$native" && pwd)
# The Linux modules and frames the Windows ones are compared with.
cmake --build "$native"
ctest --test-dir "$native" -R '^EveryModule/SameFrames' --timeout 300 -j2 --output-on-failure >/dev/null || {
  echo "test-windows: the Linux reference frames could not be made (ctest -R SameFrames in $native)" >&2
  exit 1
}

cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
  -DLUMIVEX_RESGEN="$native/package/lumivex_resgen" \
  -DLUMIVEX_LINUX_BUILD="$native" -DLUMIVEX_WERROR=ON >/dev/null
cmake --build build-win

# A fresh Wine prefix and X server for this run only.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lumivex-wine.XXXXXX")
xvfb_pid=""
cleanup() {
  WINEPREFIX="$scratch/prefix" wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
  echo "test-windows: Xvfb did not start:" >&2; cat "$scratch/xvfb.log" >&2; exit 1
fi
export DISPLAY=":$(cat "$scratch/display")"
export WINEPREFIX="$scratch/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LIBGL_ALWAYS_SOFTWARE=1
timeout 300 wineboot --init >"$scratch/wineboot.log" 2>&1 || {
  echo "test-windows: wineboot failed:" >&2; cat "$scratch/wineboot.log" >&2; exit 1; }
# A crashing test fails; it must not wait on a dialog.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

ctest --test-dir build-win --output-on-failure --timeout 300 "$@"
