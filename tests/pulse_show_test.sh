#!/usr/bin/env bash
# The real program on a private sound server that dies mid-show and comes back: the caption's time
# keeps running, one line on standard error, and the music is heard again at the caption's time.
# Usage: pulse_show_test.sh <program> <soundcheck> [pipewire]
set -uo pipefail
program=$1
soundcheck=$2
kind=${3:-}
# The program finds the server through PULSE_SERVER; SDL_AUDIODRIVER would ask for SDL's audio.
# A tenth of a second of latency rather than the program's 40 ms keeps its stream from starving
# while the machine is busy with other work.
unset SDL_AUDIODRIVER
export PULSE_LATENCY_MSEC=100

work=$(mktemp -d)
pid=""
recorder=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null
    # Closing its input stops the daemon and removes its folder.
    [ -n "${DAEMON_PID:-}" ] && exec {DAEMON[1]}>&- && wait "$DAEMON_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/program.sh"

# shellcheck disable=SC2086 # no server named: the default, PulseAudio's daemon
coproc DAEMON { "$soundcheck" daemon $kind; }
# Tells the daemon helper `$1` and waits for its answer, at most 60 s (a server start tries twice).
daemonDo() {
    echo "$1" >&"${DAEMON[1]}"
    local answer
    read -r -t 60 -u "${DAEMON[0]}" answer || fail "no answer from the daemon to $1"
    echo "$answer"
}
read -r -t 60 -u "${DAEMON[0]}" server || fail "the private sound server did not start"
export PULSE_SERVER=$server

startProgram "$program"

# The show plays on the server past its first 4.4 s of music: the part decoded before it starts
# (the rest is decoded in the background, and a busy machine may make the show wait for it there,
# which is not what this test is about).
for _ in $(seq 600); do
    awk -v t="$(musicTime)" 'BEGIN { exit !(t > 5) }' && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended"
    sleep 0.1
done
awk -v t="$(musicTime)" 'BEGIN { exit !(t > 5) }' || fail "the time does not reach 5 s: $(musicTime)"
[ -s "$work/err" ] && fail "standard error before the loss"

[ "$(daemonDo kill)" = killed ] || fail "cannot kill the daemon"
sampleCaptions 3 "$work/lost"
# One second per second within 1 %: the slope of the least-squares line through the captions
# seen, each at the middle of the span in which it appeared and weighted by one over that span
# squared (a look at the caption takes from 10 to 60 ms on a busy machine); and the captions kept
# changing (frames kept coming) all along: at least ten, none standing for two seconds (a frame
# of software GL on a busy machine has been seen to take one).
awk '{ n++; x[n] = ($1 + $2) / 2; y[n] = $3; w[n] = 1 / ($2 - $1 + 0.001) ^ 2; sw += w[n] }
    END {
        if (n < 10) { print "only " n " captions in 3 s"; exit 1 }
        for (i = 1; i <= n; i++) { mx += w[i] * x[i] / sw; my += w[i] * y[i] / sw }
        for (i = 1; i <= n; i++) { sxy += w[i] * (x[i] - mx) * (y[i] - my); sxx += w[i] * (x[i] - mx) ^ 2 }
        slope = sxy / sxx
        for (i = 2; i <= n; i++) if (x[i] - x[i - 1] > 2) { print "no new caption for " x[i] - x[i - 1] " s"; exit 1 }
        printf "after the loss: %d captions, slope %.4f\n", n, slope
        exit !(slope > 0.99 && slope < 1.01)
    }' "$work/lost" || fail "the time does not run at one second per second without the server"
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "standard error after the loss: $(cat "$work/err")"
[ "$(cat "$work/err")" = "Sound lost: the show goes on without it." ] ||
    fail "standard error after the loss: $(cat "$work/err")"

# The server comes back on the same socket: record what its sink plays while reading captions.
[ "$(daemonDo start)" = started ] || fail "the daemon does not start again"
"$soundcheck" record null.monitor 4 "$work/raw" "$work/stamps" &
recorder=$!
# The recording begins with the first sound; captions are read until it ends (at most 30 s).
: >"$work/back"
for _ in $(seq 30); do
    sampleCaptions 1 "$work/part"
    cat "$work/part" >>"$work/back"
    kill -0 "$recorder" 2>/dev/null || break
done
wait "$recorder" || fail "nothing recorded from the returning server"
recorder=""
"$soundcheck" locate Data/Zrax2011.mp3 "$work/raw" "$work/stamps" "$work/back" >"$work/located" ||
    fail "the recorded sound is not found in the track: $(cat "$work/located")"
cat "$work/located"
# The caption's time is the moment being heard; the recording is of what the sink plays out,
# which is heard its own latency later (about 10 ms on this sink); the caption's line is known to
# within a look at the caption (tens of milliseconds when the machine is busy) and the recording's
# to within one read (5 ms). So the pieces are found within 50 ms of the caption's time: the
# median, and at least half of them (a stream starved by a busy machine falls behind the clock
# for a moment, the clock waits for it, and a piece across that gap is found nowhere). Four
# seconds are recorded so that at least three pieces can be placed: on a busy machine captions
# come slowly, and a piece with no caption seen close to it is left out.
{
    grep -c unmatched "$work/located"
    awk '$1 == "offset" { print $2 }' "$work/located" | sort -g
} | awk 'NR == 1 { u = $1; next } { n++; o[n] = $1; if ($1 <= 50 && $1 >= -50) good++ }
    END {
        if (n < 3) { print "only " n " pieces found"; exit 1 }
        median = o[int((n + 1) / 2)]
        printf "median offset %.1f ms, %d of %d pieces within 50 ms\n", median, good, n + u
        exit !(median <= 50 && median >= -50 && 2 * good >= n + u)
    }' || fail "the sound is not heard at the caption's time"

quitWithEscape
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
[ "$(cat "$work/err")" = "Sound lost: the show goes on without it." ] ||
    fail "standard error at the end: $(cat "$work/err")"
echo "ok"
