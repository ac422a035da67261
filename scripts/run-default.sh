#!/bin/sh
# Installs what the command needs, builds the command and the default module
# only (no tests, benchmarks or fuzzers), and renders the default effect
# (Vantrel) over the generated test card into out/vantrel.png.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --command
./scripts/build.sh -DLUMIVEX_TESTS=OFF -DLUMIVEX_BENCH=OFF --target lumivex Vantrel
mkdir -p out
./build/tools/lumivex render --output out/vantrel.png
echo "Rendered the default effect to $(pwd)/out/vantrel.png"
