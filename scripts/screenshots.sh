#!/usr/bin/env bash
# Builds, plays the show on a private X server and saves what it shows at a few moments in docs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

if [ "${1:-}" != "--on-display" ]; then
    # Always a private 1280x720 server, whatever display this shell has.
    DISPLAY="" exec "$root/scripts/with-x.sh" "$0" --on-display
fi

cd "$root"
mkdir -p docs
export SDL_AUDIODRIVER=dummy
"${BUILD_DIR:-$root/build}/zoomraxvandel" &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT

window=""
for _ in $(seq 1200); do
    window=$(xdotool search --name '^Vellamarkfest 2011' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "screenshots: the show did not start" >&2; exit 1; }

musicTime() { xprop -id "$window" WM_NAME | sed -n 's/.*Time:  \([0-9.]*\)"$/\1/p'; }
reached() { awk -v a="$(musicTime)" -v b="$1" 'BEGIN { exit !(a >= b) }'; }
space() { xdotool keydown space; sleep 0.15; xdotool keyup space; sleep 0.15; }

# Seconds of music time, one picture each: every scene of the show.
for moment in 2.5 6.5 10 13.8 22 51.2 57 79.5; do
    until reached "$moment"; do sleep 0.02; done
    space # paused: the picture stands still while it is taken
    name=$(printf 'docs/show-%05.1fs.png' "$moment")
    # Half size in 256 colours keeps each file near 100 KB.
    import -window root png:- | convert - -resize 640x360 -depth 8 -colors 256 -strip "PNG8:$name"
    echo "$name at $(musicTime) s"
    space
done
xdotool keydown Escape; sleep 0.3; xdotool keyup Escape
wait $pid
trap - EXIT
