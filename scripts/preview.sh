#!/usr/bin/env bash
# Makes the README's animated preview with the recorder itself: docs/recording-preview.webp.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Three seconds of the credits over the model, lossless, then 24 frames a second of animated
# WebP; the budget is 2 MB.
./build/zoomraxvandel --record "$work/preview.mkv" --lossless --from 12 --to 15 --size 480x270 \
    --fps 24 --blend 2
ffmpeg -loglevel error -y -i "$work/preview.mkv" -an -c:v libwebp_anim -lossless 0 -q:v 70 \
    -loop 0 docs/recording-preview.webp
size=$(stat -c %s docs/recording-preview.webp)
echo "docs/recording-preview.webp: $size bytes"
[ "$size" -le 2097152 ] || { echo "preview: larger than 2 MB" >&2; exit 1; }
