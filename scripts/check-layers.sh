#!/usr/bin/env bash
# Fails on an #include that points up a layer, or sideways into another folder of the same
# layer. Layers, lowest first: base; music and assets; show; app (the desktop program) and web
# (the web program, beside it); tools; bench and tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

rank() {
    case $1 in
    base) echo 0 ;;
    music | assets) echo 1 ;;
    show) echo 2 ;;
    app | web) echo 3 ;;
    tools) echo 4 ;;
    bench | tests) echo 5 ;;
    *) echo -1 ;;
    esac
}

bad=0
while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include[[:space:]]*"([^"]+)".*/\1/' <<<"${line#*:}")
    from=${file%%/*}
    to=${target%%/*}
    [ "$target" = "$to" ] && continue # a file beside it, by its bare name
    [ "$from" = "$to" ] && continue
    from_rank=$(rank "$from")
    to_rank=$(rank "$to")
    if [ "$to_rank" -lt 0 ]; then
        echo "check-layers: $file includes \"$target\", which is in no layer" >&2
        bad=1
    elif [ "$to_rank" -ge "$from_rank" ]; then
        echo "check-layers: $file includes \"$target\": $from may only include layers below it" >&2
        bad=1
    fi
done < <(git ls-files -- '*.c' '*.cpp' '*.h' '*.def' | xargs grep -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"')

[ "$bad" -eq 0 ] && echo "check-layers: every include points down or within its folder"
exit "$bad"
