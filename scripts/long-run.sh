#!/usr/bin/env bash
# The real program for a long time under random keys (space and the arrows, tapped and held),
# its resident memory sampled every second, then Escape. Fails unless it exits with status 0,
# printed nothing else on standard error, and its memory grew by no more than a few megabytes.
usage() {
    cat <<'TEXT'
usage: scripts/long-run.sh [--server pulseaudio|pipewire] [--restart-every SECONDS]
                           [SECONDS [PROGRAM]]
       scripts/long-run.sh --web [SECONDS]

Plays the show for SECONDS (default 300) under random keys, from the source root, on the
current X display or a private Xvfb; PROGRAM defaults to build/zoomraxvandel.

  (no server)        SDL's dummy audio: the clock on the system clock.
  --server KIND      through a private sound server of its own (PulseAudio's daemon, or
                     PipeWire's stack as a desktop runs it; build/tests/soundcheck starts it),
                     killed and started again every few minutes (--restart-every, default 240
                     s, down for 1 to 10 s): the caption's time must run on meanwhile, and the
                     sound be heard again on the server's sink within 2 s of each return.
  --web              the web page (build-web/site, scripts/web.sh builds it) in headless
                     Chromium for SECONDS (default 1800): random taps and holds, the page now
                     and then hidden and shown again, its sound through a private PulseAudio
                     daemon; the wasm heap and the browser's memory sampled throughout.

Examples: 60 minutes on each server, and 30 minutes of the page:
  scripts/long-run.sh --server pulseaudio 3600
  scripts/long-run.sh --server pipewire 3600
  scripts/long-run.sh --web 1800

LONG_RUN_SEED fixes the keys (default: a random seed, printed). LONG_RUN_GROWTH_KB is the
growth allowed from the baseline to the end (default 4096 without a server, none with one),
"none" to only report it (a sanitizer's allocator holds freed memory back for a while);
LONG_RUN_HALF_GROWTH_KB the growth allowed over the second half (default 1024 with a server,
none without). With a server the second half is what counts: the first restarts raise the
memory in a few steps that then hold (60 minutes on PulseAudio: 4.4 MB in two steps at 9 and
26 minutes, 32 kB over the second half), and a leak at each restart shows in the second half.
TEXT
}
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
server=""
restart_every=240
case ${1:-} in
-h | --help)
    usage
    exit 0
    ;;
--web)
    shift
    exec /usr/bin/python3 "$root/scripts/long-run-web.py" "$@"
    ;;
esac
while [ $# -gt 0 ]; do
    case $1 in
    --server)
        server=${2:-}
        [ "$server" = pulseaudio ] || [ "$server" = pipewire ] || { usage >&2; exit 2; }
        shift 2
        ;;
    --restart-every)
        restart_every=${2:-}
        [[ $restart_every =~ ^[0-9]+$ ]] && [ "$restart_every" -ge 20 ] || { usage >&2; exit 2; }
        shift 2
        ;;
    *) break ;;
    esac
done
if [ -z "${LONG_RUN_UNDER_X:-}" ]; then
    LONG_RUN_UNDER_X=1 exec "$root/scripts/with-x.sh" "$0" ${server:+--server "$server"} \
        --restart-every "$restart_every" "$@"
fi
seconds=${1:-300}
program=${2:-$root/build/zoomraxvandel}
soundcheck=${LONG_RUN_SOUNDCHECK:-$root/build/tests/soundcheck}
seed=${LONG_RUN_SEED:-$((SRANDOM % 32768))}
growth_kb=${LONG_RUN_GROWTH_KB:-$([ -n "$server" ] && echo none || echo 4096)}
half_growth_kb=${LONG_RUN_HALF_GROWTH_KB:-$([ -n "$server" ] && echo 1024 || echo none)}
RANDOM=$seed

work=$(mktemp -d)
pid=""
sampler=""
cleanup() {
    [ -n "$sampler" ] && kill "$sampler" 2>/dev/null
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    xdotool keyup space Right Left Escape 2>/dev/null
    # Closing its input stops the sound server and removes its folder.
    [ -n "${SERVER_PID:-}" ] && exec {SERVER[1]}>&- && wait "$SERVER_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "long-run: FAIL: $*" >&2
    [ -s "$work/restarts" ] && echo "long-run: restarts before, down s and sound back ms:" \
        $(awk '{ printf "%s/%s ", $1, $2 }' "$work/restarts") >&2
    [ -s "$work/err" ] && { echo "long-run: the program's standard error:" >&2; head -c 4000 "$work/err" >&2; }
    exit 1
}

# The music time in the caption, in seconds.
musicTime() {
    xprop -id "$window" WM_NAME 2>/dev/null | sed -n 's/.*Time:  \([0-9.]*\)".*/\1/p'
}

alive() { kill -0 "$pid" 2>/dev/null; }

# The line the program writes on standard error each time its sound server goes away.
lostLine="Sound lost: the show goes on without it."
# Standard error holds nothing but that line.
quietErrors() { ! grep -qvxF "$lostLine" "$work/err"; }

# Tells the sound server's helper `$1` and prints its answer (at most 30 s).
serverDo() {
    echo "$1" >&"${SERVER[1]}"
    local answer=""
    read -r -t 60 -u "${SERVER[0]}" answer
    echo "$answer"
}

# Whether the caption's time moves forward twice in a row, each time within two seconds: an arrow's
# last step after its key came up, or the music's last moments before its end, move it once.
playing() {
    local before after
    before=$(musicTime)
    for _ in 1 2; do
        for _ in $(seq 20); do
            sleep 0.1
            after=$(musicTime)
            [ "$after" != "$before" ] && break
        done
        awk -v a="$before" -v b="$after" 'BEGIN { exit !(b > a) }' || return 1
        before=$after
    done
}

# Makes the music play with at least `$1` seconds of the track (96 s) still to come: near or past
# the end, steps back to 30 s first; paused, a tap of space.
ensurePlaying() {
    local left=${1:-0}
    awk -v t="$(musicTime)" -v l="$left" 'BEGIN { exit !(t > 96 - l) }' && stepTo Left 30
    playing && return 0
    hold space 0.1
    playing && return 0
    stepTo Left 30
    hold space 0.1
    playing
}

# A server restart: the show made to play, the server killed and, 1 to 10 s later, started
# again. Meanwhile the caption's time must run on; afterwards the sink must play sound within
# 2 s of the server's return. Appends "DOWN BACK_MS" to $work/restarts.
restart() {
    # The music must not reach its end, where the time stands, while the server is away (up to
    # 10 s) and until the sound is heard again.
    ensurePlaying 40 || fail "the show does not play before a restart"
    [ "$(serverDo kill)" = killed ] || fail "cannot kill the sound server"
    pick 100 1000
    local down=$d t0 t1
    t0=$(musicTime)
    sleep "$down"
    t1=$(musicTime)
    awk -v a="$t0" -v b="$t1" -v d="$down" 'BEGIN { exit !(b - a > d / 2) }' ||
        fail "the caption's time stood while the server was away ($t0 s, then $t1 s after $down s)"
    # A loaded machine may take the daemon longer to come up than its helper waits: tried thrice.
    local tries=0
    until [ "$(serverDo start)" = started ]; do
        tries=$((tries + 1))
        [ $tries -lt 3 ] || fail "the sound server does not start again"
    done
    local back=${EPOCHREALTIME}
    "$soundcheck" record null.monitor 0.05 "$work/raw" "$work/stamps" 2>>"$work/recorder" ||
        fail "no sound on the returning server's sink"
    local heard
    heard=$(awk -v b="$back" 'NR == 1 { printf "%d", ($1 - b) * 1000 }' "$work/stamps")
    echo "$down $heard" >>"$work/restarts"
    [ "$heard" -le 2000 ] || fail "the sound came back $heard ms after the server's return"
}

# hold key... seconds: the keys go down together and come up together.
hold() {
    local duration=${*: -1} keys=("${@:1:$#-1}")
    xdotool keydown "${keys[@]}"
    sleep "$duration"
    xdotool keyup "${keys[@]}"
}

# Sets d to a number of seconds from $1 to $2 hundredths. (Not through $(...): a subshell's
# RANDOM would not move the sequence on.)
pick() {
    local h=$(($1 + RANDOM % ($2 - $1 + 1)))
    d=$(printf '%d.%02d' $((h / 100)) $((h % 100)))
}

# Holds an arrow until the caption's time passes `target` in its direction.
stepTo() {
    local key=$1 target=$2 t
    xdotool keydown "$key"
    for _ in $(seq 600); do
        t=$(musicTime)
        if [ "$key" = Right ]; then
            awk -v t="$t" -v g="$target" 'BEGIN { exit !(t >= g) }' && break
        else
            awk -v t="$t" -v g="$target" 'BEGIN { exit !(t <= g) }' && break
        fi
        alive || break
        sleep 0.1
    done
    xdotool keyup "$key"
}

cd "$root"
if [ -n "$server" ]; then
    [ -x "$soundcheck" ] || fail "no $soundcheck: build the project first (scripts/build.sh)"
    # The program finds the server through PULSE_SERVER; SDL_AUDIODRIVER would ask for SDL's.
    unset SDL_AUDIODRIVER
    kind=""
    [ "$server" = pipewire ] && kind=pipewire
    # shellcheck disable=SC2086
    coproc SERVER { "$soundcheck" daemon $kind; }
    read -r -t 60 -u "${SERVER[0]}" address || fail "the private sound server did not start"
    export PULSE_SERVER=$address
else
    export SDL_AUDIODRIVER=dummy
fi
: >"$work/restarts"
xdotool keyup space Right Left Escape # a key left down by an earlier client would act at once
"$program" >"$work/out" 2>"$work/err" &
pid=$!
window=""
for _ in $(seq 1800); do
    window=$(xdotool search --name '^Vellamarkfest 2011' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    alive || fail "the program ended during start-up"
    sleep 0.1
done
[ -n "$window" ] || fail "no window with the show's caption"

# Warm-up: every scene once, stepping through the whole track and back, so that whatever the
# GL builds on first use of a state is built before the baseline is taken. Then play.
stepTo Right 95
stepTo Left 0.3
hold space 0.2
sleep 2
alive || fail "the program ended during the warm-up"

# Resident memory every second, as "seconds-since-warm-up kB".
(
    start=$SECONDS
    while kill -0 "$pid" 2>/dev/null; do
        kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
        [ -n "$kb" ] && echo "$((SECONDS - start)) $kb"
        sleep 1
    done
) >"$work/rss" &
sampler=$!

actions=0
end=$((SECONDS + seconds))
nextRestart=$((SECONDS + restart_every))
while [ $SECONDS -lt $end ]; do
    alive || fail "the program ended by itself after $actions key actions"
    if [ -n "$server" ] && [ $SECONDS -ge $nextRestart ]; then
        restart
        nextRestart=$((SECONDS + restart_every))
    fi
    action=$((RANDOM % 10))
    pick 3 12
    case $action in
    0) hold space "$d" ;; # a tap: pause or resume
    1) pick 30 200 && hold space "$d" ;; # held: acts once
    2) hold Right "$d" ;; # one or a few steps
    3) hold Left "$d" ;;
    4) pick 20 150 && hold Right "$d" ;; # many steps, past the end too
    5) pick 20 150 && hold Left "$d" ;; # many steps, before the start too
    6) pick 10 100 && hold Right Left "$d" ;; # forward and back on every pass
    7) pick 10 100 && hold space Right "$d" ;; # resumes and pauses on every pass
    8) pick 10 100 && hold space Left "$d" ;;
    9) pick 50 300 && sleep "$d" ;; # let it play, or stand
    esac
    actions=$((actions + 1))
    pick 2 30
    sleep "$d"
done
lastTime=$(musicTime)

xdotool keydown Escape
for _ in $(seq 600); do
    alive || break
    sleep 0.1
done
xdotool keyup Escape
alive && fail "still running 60 s after Escape"
wait "$pid"
status=$?
pid=""
wait "$sampler" 2>/dev/null
sampler=""

samples=$(wc -l <"$work/rss")
[ "$samples" -ge 10 ] || fail "only $samples memory samples"
# Baseline, middle and end: the medians of the first, the middle and the last five samples.
median5() { sort -n | awk '{ v[NR] = $1 } END { print v[3] }'; }
baseline=$(head -n 5 "$work/rss" | awk '{ print $2 }' | median5)
middle=$(awk -v m=$((samples / 2)) 'NR > m - 3 && NR <= m + 2 { print $2 }' "$work/rss" | median5)
final=$(tail -n 5 "$work/rss" | awk '{ print $2 }' | median5)
peak=$(awk '$2 > m { m = $2 } END { print m }' "$work/rss")
growth=$((final - baseline))
half_growth=$((final - middle))
restarts=$(wc -l <"$work/restarts")
losses=$(grep -cxF "$lostLine" "$work/err")

echo "long-run: seed $seed, $seconds s, $actions key actions, last caption time $lastTime s"
[ -n "$server" ] && echo "long-run: $server restarted $restarts times, $losses losses said;" \
    "down s and sound back ms:" $(awk '{ printf "%s/%s ", $1, $2 }' "$work/restarts")
echo "long-run: resident memory (kB) every 30 s:" $(awk 'NR % 30 == 1 { printf "%s:%s ", $1, $2 }' "$work/rss")
echo "long-run: baseline $baseline kB, middle $middle kB, end $final kB, peak $peak kB," \
    "growth $growth kB, over the second half $half_growth kB"
echo "long-run: exit status $status, standard error $(wc -c <"$work/err") bytes"

[ "$status" -eq 0 ] || fail "exit status $status after Escape"
quietErrors || fail "the program wrote to standard error"
[ "$losses" -eq "$restarts" ] || fail "$losses losses said for $restarts restarts"
if [ "$growth_kb" != none ] && [ "$growth" -gt "$growth_kb" ]; then
    fail "resident memory grew by $growth kB (allowed $growth_kb kB)"
fi
if [ "$half_growth_kb" != none ] && [ "$half_growth" -gt "$half_growth_kb" ]; then
    fail "resident memory grew by $half_growth kB over the second half (allowed $half_growth_kb kB)"
fi
echo "long-run: ok"
