#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under an X server: the suite, then the
# sanitizer and fuzz runs of scripts/test-hardened.sh (ZRX_QUICK=1 leaves those out). The web
# program is built too (scripts/web.sh), for the suite's test of the page, and the Windows program
# (scripts/windows.sh), for the suite's tests of it under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# stage NAME COMMAND...: runs the command and then says how long it took (wall seconds), so that
# a run's log shows what each stage costs a fresh machine.
stage() {
    local name=$1 start=$SECONDS
    shift
    "$@"
    echo "test.sh: $name took $((SECONDS - start)) s"
}

stage "installing packages" "$root/scripts/install-deps.sh"
stage "the build" "$root/scripts/build.sh"
# The web program, for the web page's test; on a fresh machine this compiles its libraries too.
stage "the web build" "$root/scripts/web.sh"
# The Windows program, for its tests under Wine; on a fresh machine this compiles its libraries too.
stage "the Windows build" "$root/scripts/windows.sh"
cd "${BUILD_DIR:-$root/build}"
# Tests choose their own audio driver; none of them may reach a sound card.
export SDL_AUDIODRIVER=dummy
stage "the suite" "$root/scripts/with-x.sh" ctest --output-on-failure -j "$(nproc)" --timeout 300
if [ "${ZRX_QUICK:-0}" != 1 ]; then
    stage "the sanitizer and fuzz runs" "$root/scripts/test-hardened.sh"
fi
