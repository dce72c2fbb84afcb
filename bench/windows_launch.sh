#!/usr/bin/env bash
# The Windows program's start under Wine, watched from outside as launch_bench watches the Linux
# program: process start to its window, to the first frame of the show, and the peak memory (of
# the Windows process, Wine's loader and libraries included). The Wine server and its desktop
# process run before the first run and stay up throughout, as Windows itself is up before a
# program starts; the prefix is the tests' (beside the zip).
# Usage, from the source root: windows_launch.sh <launch_bench> <zip> [runs, default 5]
set -euo pipefail
launch=$1
zip=$(realpath "$2")
runs=${3:-5}
wine=/usr/lib/wine/wine64
export WINEPREFIX
WINEPREFIX=$(dirname "$zip")/wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" SDL_VIDEO_WINDOW_POS=0,0
# Silent, as the other benchmarks run the Linux program: no sound server, no ALSA driver.
export PULSE_SERVER=unix:/nonexistent/zoomraxvandel-bench
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winealsa.drv="

work=$(mktemp -d)
trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
exe=$(find "$work" -name zoomraxvandel.exe | head -n 1)
/usr/lib/wine/wineserver -p
"$wine" "$exe" --version # the server, the prefix's registry and the desktop up and warm
"$launch" "$wine" "$runs" "Windows program under Wine" "$exe"
