#!/usr/bin/env bash
# Runs the suite under AddressSanitizer + UBSan, the audio-layer tests under ThreadSanitizer and
# every fuzz target for a bounded time, each from its own build directory.
#
#   scripts/test-hardened.sh [asan] [tsan] [fuzz]     (no argument: all three)
#
# FUZZ_SECONDS (default 20) bounds each fuzz target. A fuzz finding is kept under
# build-fuzz/artifacts/ and fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(asan tsan fuzz)
fuzz_seconds=${FUZZ_SECONDS:-20}
jobs=$(nproc)

# Tests choose their own audio driver; none of them may reach a sound card.
export SDL_AUDIODRIVER=dummy

# The tests of our audio layer and the music stream: everything that has a second thread.
audio_tests='^(Bass|Music|DeviceClock|StreamClock|Resample|Spectrum|Pulse|Servers/PulseServer|Latencies/PulseLatency)Test\.|^Encoder\.'
audio_executables="audiocore_test bass_test music_test pulse_test encoder_test"

elapsed() { echo "hardened: $1 took $((SECONDS - $2)) s"; }

run_asan() {
    local start=$SECONDS
    BUILD_DIR="$root/build-asan" "$root/scripts/build.sh" -DZRX_SANITIZE=address,undefined -DZRX_BENCH=OFF
    (cd "$root/build-asan" && "$root/scripts/with-x.sh" ctest --output-on-failure -j "$jobs" --timeout 600)
    elapsed "AddressSanitizer + UBSan suite" $start
}

run_tsan() {
    local start=$SECONDS
    # Only the executables that hold the audio tests: a test not built is one ctest does not pick.
    BUILD_DIR="$root/build-tsan" BUILD_TARGETS="$audio_executables" "$root/scripts/build.sh" \
        -DZRX_SANITIZE=thread -DZRX_BENCH=OFF
    # The encoder's tests run FFmpeg's own threads, which synchronise out of the sanitizer's sight.
    (cd "$root/build-tsan" &&
        TSAN_OPTIONS="suppressions=$root/tests/tsan.supp" "$root/scripts/with-x.sh" ctest --output-on-failure -j "$jobs" --timeout 600 -R "$audio_tests" \
            --no-tests=error)
    elapsed "ThreadSanitizer audio tests" $start
}

run_fuzz() {
    local start=$SECONDS build="$root/build-fuzz" targets=() t scratch=${TMPDIR:-/tmp}
    for t in "$root"/tests/fuzz/corpus/*/; do
        targets+=("$(basename "$t")")
    done
    FUZZ_BUILD_DIR="$build" FUZZ_SANITIZE=address,undefined "$root/scripts/fuzz-build.sh" "${targets[@]}"
    mkdir -p "$build/artifacts"
    # The targets hand each input to the readers as a file; a memory file system spares the disk.
    [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
    for t in "${targets[@]}"; do
        # Each run starts from the kept corpus, which libFuzzer only reads as the second
        # directory: what it finds goes to build-fuzz/corpus/<target>, emptied first, so that a
        # run never changes the checkout and every run starts from the same place.
        rm -rf "$build/corpus/$t"
        mkdir -p "$build/corpus/$t"
        echo "hardened: fuzzing $t for $fuzz_seconds s"
        if ! (cd "$build" && TMPDIR=$scratch "./$t" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
            -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
            "corpus/$t" "$root/tests/fuzz/corpus/$t" </dev/null >"$build/$t.log" 2>&1); then
            tail -n 60 "$build/$t.log"
            echo "hardened: $t found a fault; the input is in $build/artifacts/" >&2
            return 1
        fi
        grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' "$build/$t.log" || true
    done
    elapsed "fuzzing" $start
}

for stage in "${stages[@]}"; do
    case $stage in
    asan) run_asan ;;
    tsan) run_tsan ;;
    fuzz) run_fuzz ;;
    *)
        echo "test-hardened: unknown stage $stage (asan, tsan, fuzz)" >&2
        exit 2
        ;;
    esac
done
