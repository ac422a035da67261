#!/bin/sh
# Installs dependencies, builds and runs every test, then the Windows build's.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
ctest --test-dir build --output-on-failure -j2 --timeout 300
# The Windows module, cross-built and run under Wine against this build.
./scripts/test-windows.sh -j2
