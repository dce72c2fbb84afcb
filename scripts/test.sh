#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under an X server: the suite, then the
# sanitizer and fuzz runs of scripts/test-hardened.sh (ZRX_QUICK=1 leaves those out). The web
# program is built too (scripts/web.sh), for the suite's test of the page.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# The web program, for the web page's test.
"$root/scripts/web.sh"
cd "${BUILD_DIR:-$root/build}"
# Tests choose their own audio driver; none of them may reach a sound card.
export SDL_AUDIODRIVER=dummy
"$root/scripts/with-x.sh" ctest --output-on-failure -j "$(nproc)" --timeout 300
if [ "${ZRX_QUICK:-0}" != 1 ]; then
    "$root/scripts/test-hardened.sh"
fi
