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
    export SDL_AUDIODRIVER=dummy
    exec "$root/scripts/with-x.sh" "$0" --inside-x
fi

logs=$build/bench-logs
rm -rf "$logs"
mkdir -p "$logs"
figures=$logs/figures.tsv
: >"$figures"
cd "$root" # the show's data lies under relative paths

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
echo "Full output: $logs/"
