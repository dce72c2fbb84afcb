#!/usr/bin/env bash
# One long libFuzzer run of a target from its kept corpus, with the figures it reached.
#
#   scripts/fuzz-long.sh TARGET [EXECUTIONS] [--merge]
#
# Fuzzes TARGET (obj_fuzz, mtl_fuzz, mp3_fuzz, image_fuzz) for EXECUTIONS inputs (default 10000000) from
# tests/fuzz/corpus/TARGET, which it only reads: new inputs go to build-fuzz/long/TARGET, made
# afresh. It prints the executions, the coverage (libFuzzer's cov: edges and ft: features), the
# corpus reached and the wall time, and fails on a finding (kept in build-fuzz/artifacts/).
# --merge then minimises the kept corpus and what the run found into the kept corpus: the
# hand-named seeds stay, every other file is replaced by the merge's content-named ones.
# FUZZ_MAX_SECONDS bounds the run's time; FUZZ_MAX_LEN (default 65536) the input size;
# FUZZ_TIMEOUT (default 10 s) one input's time, longer where the run shares a busy machine at low
# priority and an input may wait for the processor that long. FUZZ_JOBS (default 1) shares the
# executions among that many processes on one corpus folder. FUZZ_SANITIZE (default
# address,undefined) builds with other sanitizers, in build-fuzz-<names>/: a target that spends
# its time in the memory AddressSanitizer maps afresh for each large block (the MP3 stream's
# decoded samples) runs three times as fast with UBSan alone. Such a run then replays every
# input it kept under AddressSanitizer and UBSan, and fails on a report there too.
# FUZZ_NICE=N runs it in a session of its own whose scheduling group has nice N: the kernel shares
# the processor among sessions first (kernel.sched_autogroup_enabled), so `nice` alone leaves a
# run taking its session's share beside timing-sensitive work; at 19 it takes only idle time.
set -euo pipefail
if [ -n "${FUZZ_NICE:-}" ] && [ -z "${FUZZ_NICED:-}" ]; then
    FUZZ_NICED=1 exec setsid "$0" "$@"
fi
[ -n "${FUZZ_NICE:-}" ] && [ -w /proc/self/autogroup ] && echo "$FUZZ_NICE" >/proc/self/autogroup
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
jobs=${FUZZ_JOBS:-1}
[[ $jobs =~ ^[1-9][0-9]*$ ]] || { echo "fuzz-long: FUZZ_JOBS is a count of processes" >&2; exit 2; }
sanitize=${FUZZ_SANITIZE:-address,undefined}
build="$root/build-fuzz"
[ "$sanitize" = address,undefined ] || build="$root/build-fuzz-${sanitize//,/-}"
FUZZ_BUILD_DIR=$build FUZZ_SANITIZE=$sanitize "$root/scripts/fuzz-build.sh" "$target"

# The targets hand each input to the readers as a file; a memory file system spares the disk.
scratch_files=${TMPDIR:-/tmp}
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && scratch_files=/dev/shm

scratch="$build/long/$target"
log="$build/long/$target.log"
rm -rf "$scratch"
mkdir -p "$scratch" "$build/artifacts"
limit=()
[ -n "${FUZZ_MAX_SECONDS:-}" ] && limit=(-max_total_time="$FUZZ_MAX_SECONDS")
# Several processes: libFuzzer's jobs, each with its share and a log of its own (fuzz-N.log in
# the folder it starts in).
job_logs="$build/long/$target.jobs"
rm -rf "$job_logs"
mkdir -p "$job_logs"
parallel=()
[ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
echo "fuzz-long: $target for $runs executions from $kept ($jobs process(es), sanitizers $sanitize)"
start=$(date +%s)
status=0
(cd "$job_logs" && TMPDIR=$scratch_files "$build/$target" -runs=$(((runs + jobs - 1) / jobs)) "${parallel[@]}" "${limit[@]}" \
    -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$scratch" "$kept" </dev/null >"$log" 2>&1) || status=$?
seconds=$(($(date +%s) - start))

logs=("$log")
[ "$jobs" -gt 1 ] && logs=("$job_logs"/fuzz-*.log)
executions=0
for one in "${logs[@]}"; do
    count=$(sed -n 's/^stat::number_of_executed_units: *//p' "$one")
    executions=$((executions + ${count:-0}))
    last=$(grep -E '^#[0-9]+' "$one" | tail -n 1 || true)
    coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+' <<<"$last" || true)
    echo "fuzz-long: $(basename "$one"): ${count:-?} executions; ${coverage:-no coverage line}"
done
echo "fuzz-long: $target: $executions executions in $seconds s ($((executions / (seconds > 0 ? seconds : 1))) exec/s)"
echo "fuzz-long: the run's log is $log"
if [ $status -ne 0 ]; then
    for one in "${logs[@]}"; do tail -n 40 "$one"; done
    echo "fuzz-long: $target found a fault; the input is in $build/artifacts/" >&2
    exit 1
fi

if [[ $sanitize != *address* ]]; then
    # What the run kept, and the corpus it started from, once each under AddressSanitizer: a fault
    # that only corrupts memory would have passed unseen.
    FUZZ_BUILD_DIR="$root/build-fuzz" FUZZ_SANITIZE=address,undefined "$root/scripts/fuzz-build.sh" "$target"
    replay="$root/build-fuzz/long/$target.replay"
    rm -rf "$replay"
    mkdir -p "$replay" "$root/build-fuzz/artifacts"
    if ! (cd "$root/build-fuzz" && TMPDIR=$scratch_files "./$target" -runs=0 -timeout=10 -rss_limit_mb=2048 \
        -max_len="$max_len" -artifact_prefix="$root/build-fuzz/artifacts/$target-" "$replay" "$scratch" "$kept" \
        </dev/null >"$log.asan" 2>&1); then
        tail -n 40 "$log.asan"
        echo "fuzz-long: $target: an input of the run fails under AddressSanitizer; see $root/build-fuzz/artifacts/" >&2
        exit 1
    fi
    echo "fuzz-long: $(find "$scratch" "$kept" -type f | wc -l) inputs replayed under AddressSanitizer and UBSan, no report"
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
