#!/bin/sh
# Installs dependencies, builds, and renders the default effect (Vantrel)
# over the generated test card into out/vantrel.png.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
mkdir -p out
./build/tools/lumivex render --output out/vantrel.png
echo "Rendered the default effect to $(pwd)/out/vantrel.png"
