#!/usr/bin/env bash
# The Windows program's sound under Wine, through WASAPI and Wine's PulseAudio driver into a
# private daemon: its music reaches the sink at the caption's time (within 20 ms, the recording
# found in the track as the PulseAudio tests find it); the daemon killed, the caption runs on at
# one second per second with one line on standard error; the daemon started again, the sound is
# back within 5 s, at the caption's time within 100 ms: Wine's new stream keeps more queued than
# its first, which its reported position leaves out and the program cannot see (on a quiet machine
# in 10 runs the sound came back from 33 ms behind the caption to 5 ms ahead of it; with the
# machine's host taking a tenth to half of a processor, 58 ms behind).
# Usage: windows_sound_test.sh <zip> <soundcheck>
#
# The program's clock follows the position Wine's WASAPI reports to within a millisecond; that
# position is Wine's account of the PulseAudio stream it feeds a period (10 ms) at a time from a
# thread of the program's own process, some 20 ms ahead of the sink. Software GL drawing on every
# core starves that thread (dozens of gaps in 4 s, each shifting what is heard against Wine's
# position), so the drawing gets one thread here; a machine with a GPU draws without the cores.
set -uo pipefail
zip=$1
soundcheck=$(realpath "$2")
export LP_NUM_THREADS=1

work=$(mktemp -d)
pid=""
recorder=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null
    wineTearDown
    # Closing its input stops the daemon and removes its folder.
    [ -n "${DAEMON_PID:-}" ] && exec {DAEMON[1]}>&- && wait "$DAEMON_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/program.sh"
source "$(dirname "$0")/wine.sh"
wineSetUp "$zip"
# Wine's PulseAudio driver alone: its ALSA driver would find no card.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winealsa.drv="

coproc DAEMON { "$soundcheck" daemon; }
# Tells the daemon helper `$1` and waits for its answer, at most 60 s (a server start tries twice).
daemonDo() {
    echo "$1" >&"${DAEMON[1]}"
    local answer
    read -r -t 60 -u "${DAEMON[0]}" answer || fail "no answer from the daemon to $1"
    echo "$answer"
}
read -r -t 60 -u "${DAEMON[0]}" server || fail "the private sound server did not start"
export PULSE_SERVER=$server

# Records 4 s of the sink once sound comes (at most 20 s) into $work/$1.*, reading captions all
# along.
recordWithCaptions() {
    "$soundcheck" record null.monitor 4 "$work/$1.raw" "$work/$1.stamps" &
    recorder=$!
    : >"$work/$1.captions"
    for _ in $(seq 30); do
        sampleCaptions 1 "$work/part"
        cat "$work/part" >>"$work/$1.captions"
        kill -0 "$recorder" 2>/dev/null || break
    done
    wait "$recorder" || fail "$1: nothing recorded from the sink"
    recorder=""
}

# Finds the pieces of recording $1 in the track: the median offset from the caption's time and at
# least half of the pieces within $2 ms (tests/pulse_show_test.sh says why half).
heardAtCaption() {
    "$soundcheck" locate Data/Zrax2011.mp3 "$work/$1.raw" "$work/$1.stamps" \
        "$work/$1.captions" >"$work/$1.located" ||
        fail "$1: the recorded sound is not found in the track: $(cat "$work/$1.located")"
    {
        grep -c unmatched "$work/$1.located"
        awk '$1 == "offset" { print $2 }' "$work/$1.located" | sort -g
    } | awk -v t="$2" -v what="$1" 'NR == 1 { u = $1; next }
        { n++; o[n] = $1; if ($1 <= t && $1 >= -t) good++ }
        END {
            if (n < 3) { print what ": only " n " pieces found"; exit 1 }
            median = o[int((n + 1) / 2)]
            printf "%s: median offset %.1f ms, %d of %d pieces within %d ms\n", what, median, good, n + u, t
            exit !(median <= t && median >= -t && 2 * good >= n + u)
        }' || fail "$1: the sound is not heard at the caption's time"
}

startProgram "$wine" "$exe" --windowed
# Past the part decoded before the show starts (tests/pulse_show_test.sh says why).
for _ in $(seq 600); do
    awk -v t="$(musicTime)" 'BEGIN { exit !(t > 5) }' && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended"
    sleep 0.1
done
recordWithCaptions playing
heardAtCaption playing 20
[ -s "$work/err" ] && fail "standard error before the loss: $(cat "$work/err")"

[ "$(daemonDo kill)" = killed ] || fail "cannot kill the daemon"
sampleCaptions 3 "$work/lost"
awk '{ n++; x[n] = ($1 + $2) / 2; y[n] = $3; w[n] = 1 / ($2 - $1 + 0.001) ^ 2; sw += w[n] }
    END {
        if (n < 10) { print "only " n " captions in 3 s"; exit 1 }
        for (i = 1; i <= n; i++) { mx += w[i] * x[i] / sw; my += w[i] * y[i] / sw }
        for (i = 1; i <= n; i++) { sxy += w[i] * (x[i] - mx) * (y[i] - my); sxx += w[i] * (x[i] - mx) ^ 2 }
        slope = sxy / sxx
        printf "after the loss: %d captions, slope %.4f\n", n, slope
        exit !(slope > 0.99 && slope < 1.01)
    }' "$work/lost" || fail "the time does not run at one second per second without the server"
# The Windows C runtime ends each line it writes with CR LF.
lost=$(tr -d '\r' <"$work/err")
[ "$lost" = "Sound lost: the show goes on without it." ] || fail "standard error after the loss: $lost"

[ "$(daemonDo start)" = started ] || fail "the daemon does not start again"
started=$EPOCHREALTIME
recordWithCaptions back
# The first sound recorded: the earliest read's stamp less the frames read by then.
awk -v s="$started" 'NR == 1 || $1 - $2 / 44100 < first { first = $1 - $2 / 44100 }
    END { printf "sound back %.2f s after the daemon\n", first - s; exit !(first - s < 5) }' \
    "$work/back.stamps" || fail "the sound is not back within 5 s"
heardAtCaption back 100

focusWindow
quitWithEscape
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
[ "$(tr -d '\r' <"$work/err")" = "$lost" ] || fail "standard error at the end: $(cat "$work/err")"
echo "ok"
