#!/usr/bin/env bash
# Configures and builds the project into build/ (or $BUILD_DIR) with the given CMake build type;
# BUILD_TARGETS names the targets to build when not all of them are wanted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
# shellcheck disable=SC2086 # the targets are a list of words
cmake --build "$build" -j "$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
