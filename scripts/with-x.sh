#!/usr/bin/env bash
# Runs a command with an X display: the current one if there is one, else a private Xvfb that stops afterwards.
set -euo pipefail

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$@"
fi

# -displayfd lets Xvfb pick a free display number, so parallel runs never collide.
# -noreset keeps the server up when its last client leaves.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x720x24 -noreset -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$fifo"' EXIT
read -r -t 20 num <"$fifo" || { echo "with-x: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$num"
for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || { echo "with-x: Xvfb on $DISPLAY does not answer" >&2; exit 1; }
set +e
"$@"
status=$?
exit $status
