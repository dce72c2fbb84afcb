#!/usr/bin/env bash
# Builds the web program into build-web/site/ (or $WEB_BUILD_DIR/site): the page, the .js, the
# .wasm and the show's data, static files any web server can serve.
#   scripts/web.sh                  build (installs what is missing, builds the libraries once)
#   scripts/web.sh --serve [PORT]   build, then serve the folder on 127.0.0.1 (default port 8080)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${WEB_BUILD_DIR:-$root/build-web}
serve=false
port=8080
case ${1:-} in
--serve)
    serve=true
    port=${2:-8080}
    ;;
"") ;;
*)
    echo "usage: scripts/web.sh [--serve [PORT]]" >&2
    exit 2
    ;;
esac

"$root/scripts/install-deps.sh"
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs} # emcc's own scripts, under a node not Debian's
libs=$("$root/scripts/cross-libs.sh" wasm)
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZRX_WEB_LIBS="$libs" >/dev/null
cmake --build "$build" -j "${ZRX_JOBS:-2}"

site=$build/site
rm -rf "$site" && mkdir -p "$site"
cp "$root/web/index.html" "$root/web/page.js" "$build/zoomraxvandel.js" "$build/zoomraxvandel.wasm" \
    "$build/zoomraxvandel.data" "$site/"
echo "web: the site is in $site"

if $serve; then
    echo "web: serving http://127.0.0.1:$port/ (Ctrl-C stops)"
    cd "$site"
    exec python3 -m http.server --bind 127.0.0.1 "$port"
fi
