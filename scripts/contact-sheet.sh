#!/usr/bin/env bash
# Makes out/contact-sheet.png: every picture of Data/ (transparent cards over a checkerboard),
# then the stacked scenes as the show layers them. Needs ImageMagick.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
data=${1:-$root}/Data
out=$root/out
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

convert -size 1280x720 pattern:checkerboard -modulate 60 "$work/checker.png"
n=0
for file in "$data"/*.png "$data"/*.jpg; do
    name=$(basename "$file")
    n=$((n + 1))
    thumb=$(printf '%s/a%02d.png' "$work" "$n")
    if [ "$(identify -format '%w' "$file")" -lt "$(identify -format '%h' "$file")" ]; then
        convert "$file" -resize x360 -background '#222' -gravity center -extent 640x360 \
            -set label "$name" "$thumb"
    else
        convert "$work/checker.png" "$file" -composite -resize 640x360 -set label "$name" "$thumb"
    fi
done

# The layered scenes: cards over their backgrounds, alpha cut at one half as the show does.
scene() {
    local label=$1 base=$2
    shift 2
    n=$((n + 1))
    local result
    result=$(printf '%s/b%02d.png' "$work" "$n")
    cp "$data/$base" "$result"
    for card in "$@"; do
        convert "$data/$card" -channel A -threshold 50% +channel "$work/card.png"
        convert "$result" "$work/card.png" -composite "$result"
    done
    convert "$result" -resize 640x360 -set label "$label" "$result"
}
scene "opening (0-9 s)" CreditsBackground.png Ostravel.png Presents.png
scene "9-11.1 s" LondonBackground.png GlimmoxZuror.png
for card in Graphics ZPT Didovari Music KeB Code; do
    scene "credits: $card (model in the middle)" Credits2Background.png "$card.png"
done

# The portrait, 720 texels wide on 720 pixels: at 53 s it has risen 253 pixels over London,
# from 55.5 s it stands centred alone.
n=$((n + 1))
convert "$data/LondonBackground.png" \( "$data/cyglimmox_wadawda.png" -crop 720x720+0+536 +repage \) \
    -geometry +280+0 -composite -resize 640x360 -set label "53 s: rising over London" \
    "$(printf '%s/b%02d.png' "$work" "$n")"
n=$((n + 1))
convert -size 1280x720 xc:black \( "$data/cyglimmox_wadawda.png" -crop 720x720+0+283 +repage \) \
    -geometry +280+0 -composite -resize 640x360 -set label "55.5-59 s: centred" \
    "$(printf '%s/b%02d.png' "$work" "$n")"

montage "$work"/a*.png "$work"/b*.png -tile 4x -geometry 640x360+8+8 -pointsize 22 \
    -background "#3a3a3a" -fill white -depth 8 "$out/contact-sheet.png"
echo "$out/contact-sheet.png"
