#!/bin/sh
# Renders every effect in effects/ with the built lumivex command twice: over
# the generated test card into out/gallery/<effect>.png and over a photograph
# into out/gallery/photo/<effect>.png, then assembles the contact sheets
# docs/gallery.png and docs/gallery-photo.png with each tile labelled by its
# effect. The default effect is rendered from the default module, the others
# from their folders (--effect). BUILD_DIR names the build folder (default:
# build/, built with scripts/build.sh when the command is missing there).
# PHOTO names the photograph (default: the coffee cup that Debian's
# python3-skimage ships, CC0 by Rachel Michetti).
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
lumivex=$build/tools/lumivex
photo=${PHOTO:-/usr/lib/python3/dist-packages/skimage/data/coffee.png}
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
if [ ! -f "$photo" ]; then
    echo "render-gallery: the photograph $photo is missing (apt-get install python3-skimage)" >&2
    exit 1
fi

out=out/gallery
rm -rf "$out"
mkdir -p "$out/photo"
tiles=""
photo_tiles=""
for dir in effects/*/; do
    name=$(basename "$dir")
    [ -f "$dir/config.xml" ] || continue
    if [ "$name" = default ]; then
        "$lumivex" render --output "$out/$name.png"
        "$lumivex" render --input "$photo" --output "$out/photo/$name.png"
        tiles="$out/$name.png $tiles"
        photo_tiles="$out/photo/$name.png $photo_tiles"
    else
        "$lumivex" render --effect "$dir" --output "$out/$name.png"
        "$lumivex" render --effect "$dir" --input "$photo" --output "$out/photo/$name.png"
        tiles="$tiles $out/$name.png"
        photo_tiles="$photo_tiles $out/photo/$name.png"
    fi
    echo "rendered $name"
done

sheet() {
    # shellcheck disable=SC2086  # the tile list is split on purpose
    "$montage" -label '%t' $2 -tile 3x -geometry "$3+10+10" -background '#1c1c1c' \
        -font DejaVu-Sans -fill '#e8e8e8' -pointsize 20 -depth 8 "$1"
    echo "Contact sheet: $(pwd)/$1"
}
sheet docs/gallery.png "$tiles" 480x285
sheet docs/gallery-photo.png "$photo_tiles" 480x320
