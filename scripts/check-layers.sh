#!/usr/bin/env bash
# Fails on an #include that points up a layer, or sideways into another folder of the same
# layer. Layers, lowest first: base and standin (the libraries we write in place of missing
# system ones, beside it); music and assets; show; app (the desktop program) and web (the web
# program, beside it); tools; bench and tests. <GL/gl.h>, <GL/glext.h> and <IL/il.h> count as
# includes of standin/, as its GL layer and image library stand in for them in some builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

rank() {
    case $1 in
    base | standin) echo 0 ;;
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
    from=${file%%/*}
    if [[ ${line#*:} =~ include[[:space:]]*\"([^\"]+)\" ]]; then
        target=${BASH_REMATCH[1]}
        to=${target%%/*}
        [ "$target" = "$to" ] && continue # a file beside it, by its bare name
        shown="\"$target\""
    else
        [[ ${line#*:} =~ include[[:space:]]*\<([^\>]+)\> ]]
        target=${BASH_REMATCH[1]}
        to=standin
        shown="<$target> (standin/)"
    fi
    [ "$from" = "$to" ] && continue
    from_rank=$(rank "$from")
    to_rank=$(rank "$to")
    if [ "$to_rank" -lt 0 ]; then
        echo "check-layers: $file includes $shown, which is in no layer" >&2
        bad=1
    elif [ "$to_rank" -ge "$from_rank" ]; then
        echo "check-layers: $file includes $shown: $from may only include layers below it" >&2
        bad=1
    fi
done < <(git ls-files -- '*.c' '*.cpp' '*.h' '*.def' |
    xargs grep -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*("|<(GL/gl(ext)?|IL/il)\.h>)')

[ "$bad" -eq 0 ] && echo "check-layers: every include points down or within its folder"
exit "$bad"
