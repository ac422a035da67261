#!/bin/sh
# The quantizer's vector paths against its scalar reference, side by side
# (bench_quantize_paths), on the 1920x1080 photo-like frame of
# compare-quantize.sh and on full-range noise of the same size.
#   bench/quantize-paths.sh [BUILD_DIR] [REPS]      (defaults: build, 5)
# Needs imagemagick (scripts/install-deps.sh).
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
reps="${2:-5}"
bench="$build/bench/ImageLib/bench_quantize_paths"
[ -x "$bench" ] || { echo "build bench_quantize_paths first: cmake --build $build --target bench_quantize_paths" >&2; exit 1; }
im=/usr/bin/convert-im6.q16
[ -x "$im" ] || im=$(command -v convert)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$im" -seed 7 -size 1920x1080 plasma:fractal -blur 0x1 "$work/photo.png"
"$im" -seed 3 -size 1920x1080 xc: +noise Random "$work/noise.png"
"$bench" "$work/photo.png" "$work/noise.png" "$reps"
