#!/bin/bash
# Imports every ISF (.fs), Shadertoy (.glsl, .json) file in FOLDER and
# renders 3 seconds of it (30 frames at 10 fps, 96x54) through the stand-in
# host; a file passes when the command succeeds (no shader or script error)
# and no frame is empty or one flat colour. Layer parameters get the default
# effect's tile picture.
#   tests/importer/real/run.sh LUMIVEX FOLDER
set -u
lumivex=$(realpath "$1"); folder=$(realpath "$2")
picture=$(realpath "$(dirname "$0")/../../../effects/default/tile.png")
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
ok=0; refused=0; failed=0
for file in "$folder"/*.fs "$folder"/*.glsl "$folder"/*.json; do
    [ -e "$file" ] || continue
    name=$(basename "$file"); out="$work/fx"; rm -rf "$out" "$work"/f*.png
    if ! "$lumivex" import "$file" -o "$out" >"$work/log" 2>&1; then
        refused=$((refused + 1)); echo "refused  $name: $(tail -1 "$work/log" | cut -c1-160)"; continue
    fi
    # Layer parameters (a transition's second image, a mask) get a picture.
    layers=()
    while IFS= read -r layer; do [ -n "$layer" ] && layers+=(--param "$layer=$picture"); done < <(
        "$lumivex" info --effect "$out" --json | python3 -c 'import json, sys
for p in json.load(sys.stdin)["parameters"]:
    if p["type"] == "layer": print(p["name"])')
    if ! (cd "$work" && "$lumivex" render --effect "$out" --size 96x54 --frames 30 --fps 10 \
            "${layers[@]}" --output "f%04d.png" >"$work/log" 2>&1); then
        failed=$((failed + 1)); echo "failed   $name: $(grep -v '^$' "$work/log" | head -3 | tr '\n' ' ' | cut -c1-200)"; continue
    fi
    if python3 - "$work"/f*.png <<'PY'
import struct, sys, zlib
def rows(path):
    data = open(path, 'rb').read(); i = 8; idat = b''
    while i < len(data):
        n, kind = struct.unpack('>I4s', data[i:i + 8])
        if kind == b'IHDR': w, h, depth, colour = struct.unpack('>IIBB', data[i + 8:i + 18])
        if kind == b'IDAT': idat += data[i + 8:i + 8 + n]
        i += 12 + n
    raw = zlib.decompress(idat); bpp = {6: 4, 2: 3}[colour] * depth // 8; stride = w * bpp
    prev = bytearray(stride); out = []
    for y in range(h):
        f = raw[y * (stride + 1)]; line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0; b = prev[x]; c = prev[x - bpp] if x >= bpp else 0
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out.append(bytes(line)); prev = line
    return out, bpp
def varied(path):
    lines, bpp = rows(path)
    return len({line[x:x + bpp] for line in lines for x in range(0, len(line), bpp)}) > 1
sys.exit(0 if all(varied(p) for p in sys.argv[1:]) else 1)
PY
    then ok=$((ok + 1)); echo "ok       $name"
    else failed=$((failed + 1)); echo "flat     $name (a frame is empty or one colour)"; fi
done
echo "imported and rendered: $ok, refused at import: $refused, failed to render: $failed"
