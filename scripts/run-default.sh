#!/bin/sh
# Installs dependencies, builds and runs the main job on the default effect.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
./build/tools/lumivex info
