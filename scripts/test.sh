#!/bin/sh
# Installs dependencies, builds and runs every test, then the Windows build's.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# Every C and C++ file as clang-format writes it.
./scripts/check-format.sh
./scripts/build.sh -DLUMIVEX_WERROR=ON
ctest --test-dir build --output-on-failure -j2 --timeout 300
# Reads of never-written memory (valgrind) in the decoder, quantizer,
# package and script suites.
./scripts/memcheck.sh
# Every fuzz target built with clang under the sanitizers, 15 s each on its
# corpus; fuzz/run.sh SECONDS runs them longer.
./fuzz/run.sh 15
# The Windows module, cross-built and run under Wine against this build.
./scripts/test-windows.sh -j2
