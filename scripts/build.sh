#!/bin/sh
# Configures and builds into build/:
#   build.sh [CMAKE_ARGUMENT...] [--target TARGET...]
# CMake arguments pass through to the configure step; without --target every
# target is built. Tests and benchmarks are built unless an argument turns
# them off, so a build folder configured without them once gets them back.
set -eu
cd "$(dirname "$0")/.."
configure=""
targets=""
while [ $# -gt 0 ]; do
  if [ "$1" = "--target" ]; then
    shift
    targets="$*"
    break
  fi
  configure="$configure $1"
  shift
done
# shellcheck disable=SC2086  # the arguments are words on purpose
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVEX_TESTS=ON -DLUMIVEX_BENCH=ON $configure >/dev/null
if [ -n "$targets" ]; then
  # shellcheck disable=SC2086
  cmake --build build --target $targets
else
  cmake --build build
fi
