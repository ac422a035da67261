#!/bin/sh
# Renders every effect in effects/ over the generated test card with the
# built lumivex command into out/gallery/<effect>.png, then assembles the
# contact sheet docs/gallery.png with each tile labelled by its effect.
# The default effect is rendered from the default module, the others from
# their folders (--effect). BUILD_DIR names the build folder (default:
# build/, built with scripts/build.sh when the command is missing there).
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
lumivex=$build/tools/lumivex
if [ ! -x "$lumivex" ]; then
    if [ "$build" = build ]; then
        ./scripts/build.sh
    else
        echo "render-gallery: $lumivex is missing; build $build first" >&2
        exit 1
    fi
fi
montage=$(command -v montage || command -v montage-im6.q16 || true)
if [ -z "$montage" ]; then
    echo "render-gallery: ImageMagick's montage is missing (apt-get install imagemagick)" >&2
    exit 1
fi

out=out/gallery
rm -rf "$out"
mkdir -p "$out"
tiles=""
for dir in effects/*/; do
    name=$(basename "$dir")
    [ -f "$dir/config.xml" ] || continue
    if [ "$name" = default ]; then
        "$lumivex" render --output "$out/$name.png"
        tiles="$out/$name.png $tiles"
    else
        "$lumivex" render --effect "$dir" --output "$out/$name.png"
        tiles="$tiles $out/$name.png"
    fi
    echo "rendered $name"
done

# shellcheck disable=SC2086  # the tile list is split on purpose
"$montage" -label '%t' $tiles -tile 3x -geometry 480x285+10+10 -background '#1c1c1c' \
    -font DejaVu-Sans -fill '#e8e8e8' -pointsize 20 -depth 8 docs/gallery.png
echo "Contact sheet: $(pwd)/docs/gallery.png"
