#!/usr/bin/env bash
# The Windows program's frames under Wine against the Linux recorder's: for each moment the program
# is started with its clock held there (--hold), its window read from the X server once two reads
# in a row agree (the spectrum of the held moment is in the frame from the second pass on), and
# compared with the recorder's lossless frame of that moment (tests/picturecompare). Fails under
# 45 dB PSNR over the frame, or when the reference is mostly black.
# Usage: windows_frames_test.sh <zip> <Linux program> <picturecompare>   (from the source root)
set -uo pipefail
zip=$1
native=$(realpath "$2")
compare=$(realpath "$3")

source "$(dirname "$0")/program.sh"
source "$(dirname "$0")/wine.sh"
wineTestBegin "$zip"

# music time, what the frame shows
moments=(
    "2.0 opening card"
    "6.0 'presents'"
    "11.5 the model, quiet"
    "16.0 the model, loud"
    "20.0 a full picture"
    "51.0 the three stacked windows"
    "79.5 the last picture"
)

failures=0
printf '%-30s %8s %10s\n' moment seconds "PSNR dB"
for row in "${moments[@]}"; do
    seconds=${row%% *}
    name=${row#* }
    "$native" --record "$work/at.mkv" --lossless --from "$seconds" \
        --to "$(awk -v s="$seconds" 'BEGIN { printf "%.6f", s + 1 / 60 }')" >/dev/null 2>&1 ||
        fail "the Linux recorder at $seconds s"
    ffmpeg -v error -i "$work/at.mkv" -frames:v 1 -f rawvideo -pix_fmt rgb24 -y "$work/reference.rgb" ||
        fail "decoding the recording at $seconds s"

    startProgram "$wine" "$exe" --windowed --no-sound --hold "$seconds"
    shown=""
    for _ in $(seq 100); do
        import -window root -crop 1280x720+0+0 -depth 8 "rgb:$work/drawn.rgb" ||
            fail "cannot read the screen"
        if [ "$(musicTime)" = "$(printf '%.6f' "$seconds")" ] && [ -n "$shown" ] &&
            cmp -s "$work/drawn.rgb" "$shown"; then
            break
        fi
        shown=$work/before.rgb
        cp "$work/drawn.rgb" "$shown"
        sleep 0.2
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    pid=""

    psnr=$("$compare" "$work/drawn.rgb" "$work/reference.rgb" 1280 720 3 | awk '{ print $2 }')
    # A black frame and a black reference would agree: the reference must show something.
    lit=$(od -An -v -tu1 -w3 "$work/reference.rgb" | awk 'NR % 97 == 0 { n++; if ($1 + $2 + $3 > 60) lit++ }
        END { printf "%.2f", lit / n }')
    verdict=""
    awk -v p="$psnr" -v l="$lit" 'BEGIN { exit !((p == "inf" || p >= 45) && l > 0.2) }' ||
        verdict="  FAILED" failures=$((failures + 1))
    printf '%-30s %8s %10s%s\n' "$name" "$seconds" "$psnr" "$verdict"
done
echo "windows_frames_test: $failures of ${#moments[@]} moments failed"
[ "$failures" -eq 0 ] || exit 1
echo "ok"
