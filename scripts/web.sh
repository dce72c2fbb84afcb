#!/usr/bin/env bash
# Builds the web program into build-web/site/ (or $WEB_BUILD_DIR/site): the page, the .js, the
# .wasm and the show's data, static files any web server can serve; and beside it the same page
# as one file that holds them all, build-web/zoomraxvandel.html, which plays opened from disk.
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
cp "$root/web/index.html" "$root/web/page.js" "$root/web/opening.jpg" "$build/zoomraxvandel.js" \
    "$build/zoomraxvandel.wasm" "$build/zoomraxvandel.data" "$site/"
echo "web: the site is in $site"

# The one file: the page with its script, the still and the program in it, and the wasm and the
# data as base64 for page.js to hand over (window.zrxInline). The program's text goes in a
# script element the browser does not run, for page.js to run once its Module is made.
python3 - "$site" "$build/zoomraxvandel.html" <<'PYTHON'
import base64, sys
site, out = sys.argv[1], sys.argv[2]
read = lambda name, mode="r": open(site + "/" + name, mode).read()
encoded = lambda name: base64.b64encode(read(name, "rb")).decode()
page, program = read("index.html"), read("zoomraxvandel.js")
assert "</script" not in program.lower()
page = page.replace('src="opening.jpg"', 'src="data:image/jpeg;base64,%s"' % encoded("opening.jpg"))
page = page.replace('<script src="page.js"></script>',
                    '<script type="text/plain" id="zrx-program">%s</script>\n'
                    '<script>window.zrxInline = {wasm: "%s", data: "%s"};</script>\n'
                    '<script>%s</script>' % (program, encoded("zoomraxvandel.wasm"),
                                             encoded("zoomraxvandel.data"), read("page.js")))
open(out, "w").write(page)
PYTHON
size=$(stat -c %s "$build/zoomraxvandel.html")
echo "web: the one file is $build/zoomraxvandel.html ($((size / 1000000)) MB)"
[ "$size" -le 12000000 ] || { echo "web: the one file is over 12 MB" >&2; exit 1; }

if $serve; then
    echo "web: serving http://127.0.0.1:$port/ (Ctrl-C stops)"
    cd "$site"
    exec python3 -m http.server --bind 127.0.0.1 "$port"
fi
