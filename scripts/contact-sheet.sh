#!/usr/bin/env bash
# Makes out/contact-sheet.png: every picture of the show's asset table (transparent cards over a
# checkerboard), then the layered windows of the scene table as the show stacks them. Both tables
# are read from the program's own (tools/showtable). Needs ImageMagick.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
data=${1:-$root}
out=$root/out
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
"$root/scripts/build.sh" >/dev/null
"${BUILD_DIR:-$root/build}/showtable" >"$work/table"

convert -size 1280x720 pattern:checkerboard -modulate 60 "$work/checker.png"
n=0
for file in $(awk '$1 == "texture" && !seen[$3]++ { print $3 }' "$work/table"); do
    n=$((n + 1))
    thumb=$(printf '%s/a%02d.png' "$work" "$n")
    if [ "$(identify -format '%w' "$data/$file")" -lt "$(identify -format '%h' "$data/$file")" ]; then
        convert "$data/$file" -resize x360 -background '#222' -gravity center -extent 640x360 \
            -set label "${file#Data/}" "$thumb"
    else
        convert "$work/checker.png" "$data/$file" -composite -resize 640x360 \
            -set label "${file#Data/}" "$thumb"
    fi
done

# Windows of more than one layer: images stacked with alpha cut at one half, as the show does.
# The model cannot be drawn here; the label says where it lies.
while read -r _ number start end layers; do
    set -- $layers
    [ $# -ge 2 ] || continue
    case "$layers" in *portrait:* | *drifting:*) continue ;; esac
    n=$((n + 1))
    result=$(printf '%s/b%02d.png' "$work" "$n")
    label="window $number ($start-$end s)"
    first=1
    for layer in "$@"; do
        kind=${layer%%:*}
        file=${layer#*:}
        if [ "$kind" = model ]; then
            label="$label, the model in the middle"
        elif [ $first = 1 ]; then
            cp "$data/$file" "$result"
        else
            convert "$data/$file" -channel A -threshold 50% +channel "$work/card.png"
            convert "$result" "$work/card.png" -composite "$result"
        fi
        first=0
    done
    convert "$result" -resize 640x360 -set label "${label/none-/0-}" "$result"
done < <(awk '$1 == "window"' "$work/table")

# The portrait, 720 texels wide on 720 pixels: at 53 s it has risen 253 pixels over the image of
# the window beneath it; once it stands still it is centred alone.
read -r under portrait < <(awk '$1 == "window" && $5 ~ /^drifting:/ { print prev; print $5 }
    $1 == "window" { sub(/^image:/, "", $5); prev = $5 }' "$work/table" | paste -sd' ')
portrait=${portrait#drifting:}
n=$((n + 1))
convert "$data/$under" \( "$data/$portrait" -crop 720x720+0+536 +repage \) \
    -geometry +280+0 -composite -resize 640x360 -set label "53 s: rising" \
    "$(printf '%s/b%02d.png' "$work" "$n")"
n=$((n + 1))
convert -size 1280x720 xc:black \( "$data/$portrait" -crop 720x720+0+283 +repage \) \
    -geometry +280+0 -composite -resize 640x360 -set label "from 55.5 s: centred" \
    "$(printf '%s/b%02d.png' "$work" "$n")"

montage "$work"/a*.png "$work"/b*.png -tile 4x -geometry 640x360+8+8 -font DejaVu-Sans -pointsize 22 \
    -background "#3a3a3a" -fill white -depth 8 "$out/contact-sheet.png"
echo "$out/contact-sheet.png"
