#!/usr/bin/env bash
# Installs what is missing, builds, and starts the show from the directory that holds its data;
# arguments go to the program (zoomraxvandel --help lists them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root"
exec "${BUILD_DIR:-$root/build}/zoomraxvandel" "$@"
