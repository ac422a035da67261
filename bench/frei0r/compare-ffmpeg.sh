#!/bin/sh
# Times the default effect's frei0r plug-in inside FFmpeg against lumivex
# render of the same module on the same 1080p frames: both read one lossless
# FFV1 clip of FRAMES frames of FFmpeg's moving test picture and write the
# same kind of clip (FFV1, BGRA), whole command against whole command. The
# two commands take turns, RUNS times each, so that a busy machine slows both
# alike; the best time of each counts. Prints each rate in frames per second
# and the plug-in's rate as a share of lumivex render's.
#   bench/frei0r/compare-ffmpeg.sh [BUILD_DIR] [RUNS] [FRAMES]   (defaults: build, 3, 60)
# Needs ffmpeg (scripts/install-deps.sh) and a build with the lumivex command,
# Vantrel.so and its plug-in: cmake --build BUILD_DIR --target lumivex Vantrel Vantrel_frei0r
set -eu
cd "$(dirname "$0")/../.."
build=$(cd "${1:-build}" && pwd)
runs="${2:-3}"
frames="${3:-60}"
lumivex="$build/tools/lumivex"
module="$build/modules/Vantrel.so"
plugins="$build/frei0r"
for file in "$lumivex" "$module" "$plugins/vantrel.so"; do
  [ -e "$file" ] || { echo "compare-ffmpeg: $file is missing; build lumivex, Vantrel and Vantrel_frei0r first" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "compare-ffmpeg: ffmpeg is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -frames:v "$frames" -c:v ffv1 -pix_fmt bgra "$work/in.mkv"

python3 - "$work" "$runs" "$frames" "$lumivex" "$module" "$plugins" <<'PY'
import os, subprocess, sys, time
work, runs, frames, lumivex, module, plugins = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), *sys.argv[4:]
clip = f"{work}/in.mkv"
commands = {
    "lumivex render": [lumivex, "render", "--module", module, "--input", clip, "--output", f"{work}/render.mkv"],
    "ffmpeg frei0r": ["ffmpeg", "-v", "error", "-y", "-i", clip, "-vf", "frei0r=filter_name=vantrel",
                      "-c:v", "ffv1", "-pix_fmt", "bgra", f"{work}/frei0r.mkv"],
}
env = dict(os.environ, FREI0R_PATH=plugins)
best = {name: float("inf") for name in commands}
for run in range(runs):
    for name, command in commands.items():
        start = time.perf_counter()
        subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        best[name] = min(best[name], time.perf_counter() - start)
for name in commands:
    print(f"{name:15s} {frames / best[name]:7.2f} frames/s  (best of {runs}: {best[name]:.2f} s for {frames} frames)")
share = best["lumivex render"] / best["ffmpeg frei0r"]
print(f"ffmpeg frei0r at {100 * share:.0f}% of lumivex render's rate (goal: 90% or more)")
PY
