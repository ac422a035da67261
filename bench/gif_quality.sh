#!/bin/sh
# GIF output quality: a photograph rendered to a one-frame .gif through the
# pass-through effect with every --gif-dither kernel, against FFmpeg's own
# palettegen + paletteuse (no dither, bayer, sierra2_4a) on the same picture;
# prints each one's PSNR against the source (FFmpeg's psnr filter, over R, G
# and B). With --time, also the wall time of `lumivex render` for a 1920x1080
# still to .gif and to lossless .mkv, and for a 100-frame 640x360 clip to
# .gif and to .mkv (the difference is about what the palettes cost), best of
# RUNS.
#   bench/gif_quality.sh [--time] [BUILD_DIR] [RUNS]   (defaults: build, 3)
# Needs ffmpeg and python3-skimage's coffee.png (scripts/install-deps.sh).
set -eu
cd "$(dirname "$0")/.."
timing=false
if [ "${1:-}" = --time ]; then timing=true; shift; fi
build="${1:-build}"
runs="${2:-3}"
lumivex="$build/tools/lumivex"
[ -x "$lumivex" ] || { echo "build lumivex first: cmake --build $build --target lumivex" >&2; exit 1; }
src=/usr/lib/python3/dist-packages/skimage/data/coffee.png
[ -r "$src" ] || { echo "$src is missing (python3-skimage)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# PSNR of the first picture of $1 against the source, in dB ("inf" when equal).
psnr() {
  ffmpeg -nostdin -hide_banner -i "$1" -i "$src" \
    -lavfi "[0:v]format=gbrp[a];[1:v]format=gbrp[b];[a][b]psnr" -frames:v 1 -f null - 2>&1 |
    sed -n 's/.*PSNR r:.* average:\([^ ]*\).*/\1/p'
}
render() { "$lumivex" render --effect tests/effects/passthru "$@" >/dev/null; }

render --input "$src" --output "$work/same.png"
printf '%-34s %10s\n' "coffee.png $(ffprobe -v error -select_streams v -show_entries stream=width,height \
  -of csv=s=x:p=0 "$src")" "PSNR dB"
printf '%-34s %10s\n' "lumivex to .png (must be inf)" "$(psnr "$work/same.png")"
for k in none floyd-steinberg jarvis stucki atkinson burkes sierra sierra2 sierra-lite stevenson-arce \
         ordered-2x2 ordered-4x4 ordered-8x8; do
  render --input "$src" --output "$work/$k.gif" --gif-dither "$k"
  printf '%-34s %10s\n' "lumivex --gif-dither $k" "$(psnr "$work/$k.gif")"
done
for d in none bayer sierra2_4a; do
  ff -i "$src" -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse=dither=$d" "$work/ff-$d.gif"
  printf '%-34s %10s\n' "ffmpeg paletteuse dither=$d" "$(psnr "$work/ff-$d.gif")"
done

$timing || exit 0
echo
# Best wall time of RUNS runs of a command, in seconds.
best() {
  python3 - "$runs" "$@" <<'PY'
import subprocess, sys, time
runs, cmd = int(sys.argv[1]), sys.argv[2:]
t = float("inf")
for _ in range(runs):
    s = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    t = min(t, time.perf_counter() - s)
print(f"{t:.3f}")
PY
}
ff -i "$src" -vf scale=1920:1080 "$work/hd.png"
# A moving picture: the photograph panned across, 100 frames of 640x360.
ff -loop 1 -i "$src" -vf "crop=480:270:'t*30':'t*30',scale=640:360" -frames:v 100 -r 25 -c:v ffv1 "$work/clip.mkv"
for k in none floyd-steinberg ordered-8x8; do
  printf '%-44s %8s s\n' "1920x1080 still to .gif, $k" \
    "$(best "$lumivex" render --effect tests/effects/passthru --input "$work/hd.png" -o "$work/t.gif" --gif-dither "$k")"
done
printf '%-44s %8s s\n' "1920x1080 still to .mkv" \
  "$(best "$lumivex" render --effect tests/effects/passthru --input "$work/hd.png" -o "$work/t.mkv")"
for k in none floyd-steinberg ordered-8x8; do
  printf '%-44s %8s s\n' "100 frames 640x360 to .gif, $k" \
    "$(best "$lumivex" render --effect tests/effects/passthru --input "$work/clip.mkv" -o "$work/t.gif" --gif-dither "$k")"
done
printf '%-44s %8s s\n' "100 frames 640x360 to .mkv" \
  "$(best "$lumivex" render --effect tests/effects/passthru --input "$work/clip.mkv" -o "$work/t.mkv")"
