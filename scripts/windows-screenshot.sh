#!/usr/bin/env bash
# Builds the Windows program and saves what it shows under Wine, on a private X server, at 13.8 s
# of music (the clock held there) as docs/windows-wine.png, for the README. Without -e, as the
# tests' helpers it uses (tests/program.sh, tests/wine.sh) fail through their own `fail`.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/windows.sh" >/dev/null || exit 1
version=$(sed -n 's/^project(Zoomraxvandel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
zip=${WIN_BUILD_DIR:-$root/build-win}/zoomraxvandel-$version-win64.zip

work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wineTearDown; rm -rf "$work"' EXIT
source "$root/tests/program.sh"
source "$root/tests/wine.sh"
wineSetUp "$zip"
cd "$root"
startProgram "$wine" "$exe" --windowed --no-sound --hold 13.8
# The frame with the spectrum of the held moment: two reads of the screen alike.
: >"$work/before.png"
for _ in $(seq 100); do
    import -window root -crop 1280x720+0+0 +repage png:"$work/shot.png"
    cmp -s "$work/shot.png" "$work/before.png" && break
    cp "$work/shot.png" "$work/before.png"
    sleep 0.2
done
# Half size in 256 colours, as the desktop's pictures.
convert "$work/shot.png" -resize 640x360 -depth 8 -colors 256 -strip PNG8:docs/windows-wine.png
echo "docs/windows-wine.png at $(musicTime) s"
