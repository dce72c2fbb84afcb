#!/usr/bin/env bash
# Builds the named libFuzzer targets with clang, AddressSanitizer and UBSan into build-fuzz/.
#
#   scripts/fuzz-build.sh TARGET...        (obj_fuzz, mtl_fuzz, mp3_fuzz)
#
# FUZZ_SANITIZE (default address,undefined) names other sanitizers, FUZZ_BUILD_DIR another folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || { echo "fuzz-build: name at least one target" >&2; exit 2; }
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZRX_SANITIZE="${FUZZ_SANITIZE:-address,undefined}" -DZRX_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target "$@"
