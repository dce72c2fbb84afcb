#!/usr/bin/env bash
# Measures an earlier revision and the working tree in one run, taking turns, and prints each
# figure before and after with their ratio. Usage: scripts/bench-compare.sh <revision>
#
# The revision's sources are exported (git archive) and built apart, under
# build-bench/compare/; both sides run from the source root, on the same data. Each round runs
# both sides once, in turns (before first in odd rounds, after first in even ones), so that a
# machine whose load drifts favours neither side; the figures are medians over the rounds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
work=$build/compare
revision=${1:?usage: bench-compare.sh <revision>}  # BENCH_ROUNDS sets the rounds, 6 by default

if [ "${2:-}" != "--inside-x" ]; then
    "$root/scripts/install-deps.sh"
    rm -rf "$work/src"
    mkdir -p "$work/src"
    git -C "$root" archive "$revision" | tar -x -C "$work/src"
    for side in before after; do
        if [ $side = before ]; then src=$work/src out=$work/build; else src=$root out=$build; fi
        echo "building $side into $out ..." >&2
        if ! BUILD_DIR="$out" BUILD_TYPE=RelWithDebInfo "$src/scripts/build.sh" >"$work/$side-build.log" 2>&1; then
            tail -30 "$work/$side-build.log" >&2
            exit 1
        fi
    done
    export SDL_AUDIODRIVER=dummy
    exec "$root/scripts/with-x.sh" "$0" "$revision" --inside-x
fi

figures=$work/figures.tsv
: >"$figures"
cd "$root"

# turn SIDE BUILD: every compared benchmark once (the readers and model drawing, start-up, the
# first frame from outside, the frame cost, the clock), its figures tagged with the side.
turn() {
    local side=$1 bin=$2
    {
        "$bin/bench/model_bench" --benchmark_color=false \
            --benchmark_filter='objRead|mtlRead|applyScaleOnly|drawDrusk' || true
        "$bin/bench/startup_bench" 1 || true
        "$bin/bench/launch_bench" "$bin/zoomraxvandel" 1 || true
        "$bin/bench/frame_bench" 100 || true
        "$bin/bench/clock_bench" || true
    } 2>&1 | tee -a "$work/$side.log" | grep '^@figure' | cut -f2- |
        sed -e "s/^/$side\t/" -e 's/ (median of [0-9]* runs)//' >>"$figures" # older names
}

rounds=${BENCH_ROUNDS:-6}
rm -f "$work/before.log" "$work/after.log"
for round in $(seq "$rounds"); do
    echo "round $round of $rounds ..." >&2
    if [ $((round % 2)) = 1 ]; then
        turn before "$work/build"
        turn after "$build"
    else
        turn after "$build"
        turn before "$work/build"
    fi
done

echo
echo "before: $revision, after: the working tree; medians of $rounds turns each"
awk -F'\t' '
    {
        key = $2 "\t" $3 "\t" $5
        if (!(key in seen)) { seen[key] = 1; order[++n] = key }
        values[$1, key, ++count[$1, key]] = $4
        if (length($3) > width) width = length($3)
    }
    function median(side, key,    k, m, i, j, v, sorted) {
        m = count[side, key]
        for (i = 1; i <= m; ++i) {
            v = values[side, key, i]
            for (j = i - 1; j >= 1 && sorted[j] > v; --j) sorted[j + 1] = sorted[j]
            sorted[j + 1] = v
        }
        k = int((m + 1) / 2)
        return m % 2 ? sorted[k] : (sorted[k] + sorted[k + 1]) / 2
    }
    END {
        printf "%-*s %12s %12s %8s  %s\n", width + 2, "figure", "before", "after", "ratio", "unit"
        last = ""
        for (i = 1; i <= n; ++i) {
            key = order[i]
            split(key, part, "\t")
            if (!count["before", key] || !count["after", key]) continue
            before = median("before", key)
            after = median("after", key)
            if (part[1] != last) { printf "%s\n", part[1]; last = part[1] }
            ratio = before != 0 ? sprintf("%.2f", after / before) : "-"
            printf "  %-*s %12.4g %12.4g %8s  %s\n", width, part[2], before, after, ratio, part[3]
        }
    }' "$figures"
echo
echo "ratio = after / before (below 1: less time or memory; above 1: more MB/s)"
echo "Full output: $work/"
