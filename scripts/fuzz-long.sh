#!/usr/bin/env bash
# One long libFuzzer run of a target from its kept corpus, with the figures it reached.
#
#   scripts/fuzz-long.sh TARGET [EXECUTIONS] [--merge]
#
# Fuzzes TARGET (obj_fuzz, mtl_fuzz, mp3_fuzz) for EXECUTIONS inputs (default 10000000) from
# tests/fuzz/corpus/TARGET, which it only reads: new inputs go to build-fuzz/long/TARGET, made
# afresh. It prints the executions, the coverage (libFuzzer's cov: edges and ft: features), the
# corpus reached and the wall time, and fails on a finding (kept in build-fuzz/artifacts/).
# --merge then minimises the kept corpus and what the run found into the kept corpus: the
# hand-named seeds stay, every other file is replaced by the merge's content-named ones.
# FUZZ_MAX_SECONDS bounds the run's time; FUZZ_MAX_LEN (default 65536) the input size;
# FUZZ_TIMEOUT (default 10 s) one input's time, longer where the run shares a busy machine at low
# priority and an input may wait for the processor that long.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-}
runs=${2:-10000000}
merge=${3:-}
kept="$root/tests/fuzz/corpus/$target"
if [ -z "$target" ] || [ ! -d "$kept" ] || ! [[ $runs =~ ^[0-9]+$ ]] ||
    { [ -n "$merge" ] && [ "$merge" != --merge ]; }; then
    echo "usage: fuzz-long.sh TARGET [EXECUTIONS] [--merge]; targets:" \
        "$(cd "$root/tests/fuzz/corpus" && echo *)" >&2
    exit 2
fi
max_len=${FUZZ_MAX_LEN:-65536}
build="$root/build-fuzz"
"$root/scripts/fuzz-build.sh" "$target"

# The targets hand each input to the readers as a file; a memory file system spares the disk.
scratch_files=${TMPDIR:-/tmp}
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && scratch_files=/dev/shm

scratch="$build/long/$target"
log="$build/long/$target.log"
rm -rf "$scratch"
mkdir -p "$scratch" "$build/artifacts"
limit=()
[ -n "${FUZZ_MAX_SECONDS:-}" ] && limit=(-max_total_time="$FUZZ_MAX_SECONDS")
echo "fuzz-long: $target for $runs executions from $kept"
start=$(date +%s)
status=0
(cd "$build" && TMPDIR=$scratch_files "./$target" -runs="$runs" "${limit[@]}" -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$scratch" "$kept" </dev/null >"$log" 2>&1) || status=$?
seconds=$(($(date +%s) - start))

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+' <<<"$last" || true)
echo "fuzz-long: $target: ${executions:-?} executions in $seconds s (${rate:-?} exec/s); ${coverage:-no coverage line}"
echo "fuzz-long: the run's log is $log"
if [ $status -ne 0 ]; then
    tail -n 40 "$log"
    echo "fuzz-long: $target found a fault; the input is in $build/artifacts/" >&2
    exit 1
fi

if [ "$merge" = --merge ]; then
    merged="$build/long/$target.merged"
    rm -rf "$merged"
    mkdir -p "$merged"
    # Seeds first: a merge keeps what its output directory already holds and adds only inputs
    # that reach something new, named by the SHA-1 of their content.
    find "$kept" -maxdepth 1 -regextype posix-extended -type f ! -regex '.*/[0-9a-f]{40}' -exec cp {} "$merged/" \;
    (cd "$build" && TMPDIR=$scratch_files "./$target" -merge=1 -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
        "$merged" "$kept" "$scratch" </dev/null >"$build/long/$target.merge.log" 2>&1)
    find "$kept" -maxdepth 1 -regextype posix-extended -type f -regex '.*/[0-9a-f]{40}' -delete
    find "$merged" -maxdepth 1 -regextype posix-extended -type f -regex '.*/[0-9a-f]{40}' -exec cp {} "$kept/" \;
    echo "fuzz-long: kept corpus of $target: $(find "$kept" -type f | wc -l) files," \
        "$(cat "$kept"/* | wc -c) bytes"
fi
