#!/usr/bin/env bash
# The real program end to end: started from the source root with the committed data, driven by
# X key events, observed through its window caption. Usage: show_test.sh <program> <wmclose>
set -uo pipefail
program=$1
wmclose=$2
export SDL_AUDIODRIVER=dummy

work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/program.sh"
start() { startProgram "$program" "$@"; }

# Holds a key long enough for several passes of the main loop to see it down.
press() {
    xdotool keydown "$1"
    sleep "${2:-0.3}"
    xdotool keyup "$1"
    sleep 0.2
}

# Waits for the program to end; fails unless it exits with status 0 and printed no error.
expectCleanExit() {
    for _ in $(seq 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "the program is still running after $1"
    wait "$pid"
    local status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "exit status $status after $1"
    [ -s "$work/err" ] && fail "standard error after $1: $(cat "$work/err")"
    return 0
}

start
t1=$(musicTime)
sleep 1
t2=$(musicTime)
less "$t1" "$t2" || fail "the time does not advance: $t1 then $t2"

press space
p1=$(musicTime)
sleep 1
p2=$(musicTime)
[ "$p1" = "$p2" ] || fail "space does not pause: $p1 then $p2"

press space
sleep 1
r1=$(musicTime)
less "$p2" "$r1" || fail "space again does not resume: $p2 then $r1"

# One step is 50000 bytes, 0.283 s; the key is held over several passes.
press Right 0.5
f1=$(musicTime)
less "$(awk -v t="$r1" 'BEGIN { print t + 0.28 }')" "$f1" || fail "right arrow: $r1 then $f1"
sleep 1
f2=$(musicTime)
[ "$f1" = "$f2" ] || fail "the right arrow does not leave it paused: $f1 then $f2"

press Left 0.05
b1=$(musicTime)
less "$b1" "$f2" || fail "left arrow: $f2 then $b1"
sleep 1
[ "$(musicTime)" = "$b1" ] || fail "the left arrow does not leave it paused"

# Quick taps, press and release sent together as a fast finger or a key-repeat tool sends them:
# each one acts, however many events one pass of the main loop takes in. Paused, every tap of
# an arrow moves by exactly one step of 50000 bytes.
for key in Right Right Right Left; do
    before=$(musicTime)
    xdotool key "$key"
    waitForChange "$before" "a quick tap of $key"
    after=$(musicTime)
    awk -v a="$before" -v b="$after" -v k="$key" \
        'BEGIN { d = (k == "Right") ? b - a : a - b; exit !(d > 0.2830 && d < 0.2840) }' ||
        fail "a quick tap of $key: $before then $after"
done
before=$(musicTime)
xdotool key space
waitForChange "$before" "a quick tap of space (resume)"
xdotool key space
sleep 0.5
held=$(musicTime)
sleep 1
[ "$(musicTime)" = "$held" ] || fail "a quick tap of space does not pause again"

xdotool keydown Escape
expectCleanExit Escape
xdotool keyup Escape

start
"$wmclose" "$window" || fail "cannot send the close request"
expectCleanExit "a window close"

# Without a sound device: the four failure messages and a hint, and the clock does not start.
SDL_AUDIODRIVER=none start
for _ in $(seq 100); do
    [ "$(wc -l <"$work/err")" -ge 5 ] && break
    sleep 0.1
done
expected="ERROR: Bass init failed! Remembered the bass.dll file?
ERROR: Bass file loading failed!
ERROR: Music failed to play!
ERROR: Failed to start song at the start
To watch the show without sound, start it with --no-sound."
[ "$(cat "$work/err")" = "$expected" ] || fail "without a sound device: $(cat "$work/err")"
[ "$(musicTime)" = "-1.000000" ] || fail "without a sound device the time is $(musicTime)"
xdotool keydown Escape
kill -0 "$pid" 2>/dev/null && wait "$pid"
pid=""
xdotool keyup Escape

# --no-sound: the same machine plays the show silently.
SDL_AUDIODRIVER=none start --no-sound
t1=$(musicTime)
waitForChange "$t1" "--no-sound"
xdotool keydown Escape
expectCleanExit "--no-sound"
xdotool keyup Escape

# Without a window no key could ever stop it: it shows its message and ends with status 1.
SDL_VIDEODRIVER=x11 DISPLAY=:65000 "$program" >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] || fail "exit status $status without an X server"
[ "$(cat "$work/err")" = "ERROR: Unable to initialize SDL!" ] ||
    fail "without an X server: $(cat "$work/err")"
echo "ok"
