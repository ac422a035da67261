#!/bin/sh
# Times our quantizer (bench_quantize_file) against ImageMagick and pngquant
# on the same 1920x1080 photographic image, whole command against whole
# command (decode, quantize, encode), best of RUNS, and prints megapixels per
# second and our speed relative to theirs. Then, where it is built,
# bench_quantize_paths times the quantizer's vector paths against its scalar
# reference on the same frame and on full-range noise (RUNS each).
#   bench/compare-quantize.sh [BUILD_DIR] [RUNS]      (defaults: build-img, 3)
# Needs imagemagick and pngquant (scripts/install-deps.sh) and python3.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build-img}"
runs="${2:-3}"
ours="$build/bench/ImageLib/bench_quantize_file"
[ -x "$ours" ] || { echo "build bench_quantize_file first: cmake --build $build --target bench_quantize_file" >&2; exit 1; }
# The packaged ImageMagick 6 binary, not whatever 'convert' is first on PATH.
im=/usr/bin/convert-im6.q16
[ -x "$im" ] || im=$(command -v convert)
pq=$(command -v pngquant) || { echo "pngquant is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A photograph-like test frame: a seeded plasma fractal (smooth gradients
# with fine detail), slightly blurred like a camera image.
"$im" -seed 7 -size 1920x1080 plasma:fractal -blur 0x1 "$work/photo.png"
# Our fixed palette 20 (16 colours) as a remap image for ImageMagick.
set --
for c in 000000 0000AA 00AA00 00AAAA AA0000 AA00AA AA5500 AAAAAA \
         555555 5555FF 55FF55 55FFFF FF5555 FF55FF FFFF55 FFFFFF; do
  set -- "$@" "xc:#$c"
done
"$im" -size 1x1 "$@" +append "$work/pal16.png"

python3 - "$work" "$runs" "$ours" "$im" "$pq" <<'PY'
import subprocess, sys, time
work, runs, ours, im, pq = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
src, mp = f"{work}/photo.png", 1920 * 1080 / 1e6

def best(cmd):
    t = float("inf")
    for _ in range(runs):
        s = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        t = min(t, time.perf_counter() - s)
    return t

def our_quantize_ms(args):
    out = subprocess.run([ours, src, f"{work}/o.png", *args], check=True, capture_output=True, text=True).stdout
    return float(out.split()[0].split("=")[1])

cases = [
    ("FS remap 16 colours", ["20", "3", "0"], [im, src, "-dither", "FloydSteinberg", "-remap", f"{work}/pal16.png", f"{work}/t.png"], "ImageMagick"),
    ("ordered 8x8", ["9", "15", "0.25"], [im, src, "-ordered-dither", "o8x8", f"{work}/t.png"], "ImageMagick"),
    ("256 colours, no dither", ["7", "1", "0"], [im, src, "+dither", "-colors", "256", f"{work}/t.png"], "ImageMagick"),
    ("256 colours, FS", ["7", "3", "0"], [im, src, "-dither", "FloydSteinberg", "-colors", "256", f"{work}/t.png"], "ImageMagick"),
    ("256 colours, no dither", ["7", "1", "0"], [pq, "--force", "--nofs", "--output", f"{work}/t.png", "256", src], "pngquant --nofs"),
    ("256 colours, dithered", ["7", "3", "0"], [pq, "--force", "--output", f"{work}/t.png", "256", src], "pngquant"),
]
print(f"{'case':26} {'tool':16} {'ours MP/s':>10} {'theirs MP/s':>12} {'ratio':>7} {'ours quantize-only MP/s':>24}")
for name, args, theirs, tool in cases:
    t_ours = best([ours, src, f"{work}/o.png", *args])
    t_theirs = best(theirs)
    q = our_quantize_ms(args)
    print(f"{name:26} {tool:16} {mp / t_ours:10.2f} {mp / t_theirs:12.2f} {t_theirs / t_ours:7.2f} {mp / (q / 1000):24.2f}")
PY

paths="$build/bench/ImageLib/bench_quantize_paths"
if [ -x "$paths" ]; then
  echo
  "$im" -seed 3 -size 1920x1080 xc: +noise Random "$work/noise.png"
  "$paths" "$work/photo.png" "$work/noise.png" "$runs"
fi
