#!/usr/bin/env bash
# Builds the benchmarks, runs every one under an X server with silent audio, prints one table.
#
# Each program's full output goes to build-bench/bench-logs/; the table gathers the "@figure"
# lines they print. Figures only: nothing here passes or fails on speed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}

if [ "${1:-}" != "--inside-x" ]; then
    "$root/scripts/install-deps.sh"
    mkdir -p "$build"
    echo "building into $build ..." >&2
    if ! BUILD_DIR="$build" BUILD_TYPE=RelWithDebInfo "$root/scripts/build.sh" >"$build/build.log" 2>&1; then
        tail -30 "$build/build.log" >&2
        exit 1
    fi
    echo "building the web program ..." >&2
    if ! "$root/scripts/web.sh" >"$build/web-build.log" 2>&1; then
        tail -30 "$build/web-build.log" >&2
        exit 1
    fi
    echo "building the Windows program ..." >&2
    if ! "$root/scripts/windows.sh" >"$build/windows-build.log" 2>&1; then
        tail -30 "$build/windows-build.log" >&2
        exit 1
    fi
    export SDL_AUDIODRIVER=dummy
    exec "$root/scripts/with-x.sh" "$0" --inside-x
fi

logs=$build/bench-logs
rm -rf "$logs"
mkdir -p "$logs"
figures=$logs/figures.tsv
: >"$figures"
cd "$root" # the show's data lies under relative paths
version=$(sed -n 's/^project(Zoomraxvandel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# run NAME COMMAND...: the command's output to its log, its figure lines to the table.
run() {
    local name=$1
    shift
    echo "running $name ..." >&2
    if ! "$@" >"$logs/$name.log" 2>&1; then
        echo "  $name stopped with an error; see $logs/$name.log" >&2
    fi
    grep '^@figure' "$logs/$name.log" | cut -f2- >>"$figures" || true
}

run model_bench "$build/bench/model_bench" --benchmark_color=false
run clock_bench "$build/bench/clock_bench"
# Its own PulseAudio daemons; it sets SDL_AUDIODRIVER itself where it compares with SDL.
run pulse_bench env -u SDL_AUDIODRIVER "$build/bench/pulse_bench"
run startup_bench "$build/bench/startup_bench" 5
run launch_bench "$build/bench/launch_bench" "$build/zoomraxvandel" 5
# The Windows program's start under Wine, right after the Linux program's.
run windows_launch bash "$root/bench/windows_launch.sh" "$build/bench/launch_bench" \
    "${WIN_BUILD_DIR:-$root/build-win}/zoomraxvandel-$version-win64.zip" 5
run frame_bench "$build/bench/frame_bench" 300
run legacygl_bench "$build/bench/legacygl_bench" 100
# The same moments drawn by the web page in headless Chromium, software WebGL 2.
run web_bench /usr/bin/python3 "$root/bench/web_bench.py" "${WEB_BUILD_DIR:-$root/build-web}/site" 20 5
# The page's start from the visitor's click to the first frame, and its peak memory, in each
# engine side by side, each playing through a private PulseAudio daemon.
run webstart_bench /usr/bin/python3 "$root/bench/webstart_bench.py" "${WEB_BUILD_DIR:-$root/build-web}/site" 3 \
    "$build/tests/soundcheck"
# The whole track recorded at 1280x720, 60 frames a second, beside drawing alone and encoding
# alone: three passes of software GL, many minutes. BENCH_RECORD=0 leaves it out; BENCH_RECORD_TO
# records only up to that music time.
if [ "${BENCH_RECORD:-1}" != 0 ]; then
    run record_bench env -u DISPLAY "$build/bench/record_bench" "$build/record_bench.mp4" \
        1280 720 60 ${BENCH_RECORD_TO:-}
    rm -f "$build/record_bench.mp4"
fi
# Instructions per frame by library: llvmpipe draws on the calling thread (LP_NUM_THREADS=0), so
# that its work is counted inside renderFrame; a few frames per kind, as callgrind is slow.
if [ "${BENCH_CALLGRIND:-1}" != 0 ]; then
    rm -f "$logs"/callgrind.out.*
    run callgrind env LP_NUM_THREADS=0 valgrind --tool=callgrind --collect-atstart=no \
        --callgrind-out-file="$logs/callgrind.out.%p" "$build/bench/frame_bench" 3
    run callgrind_split "$build/bench/callgrind_split" frame_bench 3 $(ls "$logs"/callgrind.out.*.*)
fi

echo
awk -F'\t' '
    { if (length($2) > width) width = length($2) }
    { section[NR] = $1; name[NR] = $2; value[NR] = $3; unit[NR] = $4 }
    END {
        last = ""
        for (i = 1; i <= NR; ++i) {
            if (section[i] != last) {
                printf "\n%s\n", section[i]
                last = section[i]
            }
            printf "  %-*s %12s %s\n", width, name[i], value[i], unit[i]
        }
    }' "$figures"
echo
# The figures the goals speak of, beside the goals; a figure, not a verdict.
awk -F'\t' '
    $2 == "real program: process start to first frame presented" { frame = $3 }
    $2 ~ /share of our own code$/ { if ($3 > share) share = $3; shares = 1 }
    $2 == "ours: largest gap from a straight line" { clock = $3 }
    $2 ~ /^recording over the slower alone/ { record = $3 }
    $2 ~ /^device pace/ { pace = $3 }
    $1 == "frame" && $2 ~ /^credits.*: mean$/ { nativeCredits = $3 }
    $1 == "frame" && $2 ~ /^picture sequence.*: mean$/ { nativePicture = $3 }
    $1 == "web frame" && $2 ~ /^credits.*in the browser$/ { webCredits = $3 }
    $1 == "web frame" && $2 ~ /^picture sequence.*in the browser$/ { webPicture = $3 }
    $1 == "web frame" && $2 ~ /^credits over picture: median/ { webRatio = $3 }
    $1 == "web frame" && $2 ~ /^credits over picture: most/ { webRatioMost = $3 }
    END {
        print "goals"
        if (frame != "") printf "  first frame within 1 s of process start:   %.0f ms\n", frame
        if (shares) printf "  our own code under 10%% of a frame:          at most %.2f%% of its instructions\n", share
        if (record != "") printf "  recording within 1.1 x the slower of drawing and encoding alone: %.2f x\n", record
        if (webCredits != "" && webPicture > 0)
            printf "  browser: a credits frame within 3 single-picture frames: %.2f x, at most %.2f x in a round (medians %.2f ms / %.2f ms; native %.2f ms / %.2f ms, %.2f x; browser over native %.1f x)\n", webRatio, webRatioMost, webCredits, webPicture, nativeCredits, nativePicture, (nativePicture > 0 ? nativeCredits / nativePicture : 0), (nativeCredits > 0 ? webCredits / nativeCredits : 0)
        if (clock != "") printf "  clock within 2 ms of a straight line:       %.2f ms (the device itself: %.2f ms)\n", clock, pace
    }' "$figures"
echo
echo "Full output: $logs/"
