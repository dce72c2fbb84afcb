#!/usr/bin/env bash
# Regenerates every data file of the show (Data/ and data/) with the project's own generator.
# Extra arguments go to makedata, e.g. --skip-music or --only Rome.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
"${BUILD_DIR:-$root/build}/makedata" --out "$root" "$@"
