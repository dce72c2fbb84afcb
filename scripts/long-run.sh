#!/usr/bin/env bash
# The real program for a long time under random keys (space and the arrows, tapped and held),
# its resident memory sampled every second, then Escape. Fails unless it exits with status 0,
# printed nothing on standard error, and its memory grew by no more than a few megabytes.
#
#   scripts/long-run.sh [seconds] [program]          (defaults: 300, build/zoomraxvandel)
#
# Runs the program from the source root, which holds its data, with SDL's dummy audio, on the
# current X display or a private Xvfb. LONG_RUN_SEED fixes the keys (default: a random seed,
# printed); LONG_RUN_GROWTH_KB is the growth allowed (default 4096), "none" to only report it:
# a sanitizer's allocator holds freed memory back for a while, so there it says nothing.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${LONG_RUN_UNDER_X:-}" ]; then
    LONG_RUN_UNDER_X=1 exec "$root/scripts/with-x.sh" "$0" "$@"
fi
seconds=${1:-300}
program=${2:-$root/build/zoomraxvandel}
seed=${LONG_RUN_SEED:-$((SRANDOM % 32768))}
growth_kb=${LONG_RUN_GROWTH_KB:-4096}
export SDL_AUDIODRIVER=dummy
RANDOM=$seed

work=$(mktemp -d)
pid=""
sampler=""
cleanup() {
    [ -n "$sampler" ] && kill "$sampler" 2>/dev/null
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    xdotool keyup space Right Left Escape 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "long-run: FAIL: $*" >&2
    [ -s "$work/err" ] && { echo "long-run: the program's standard error:" >&2; head -c 4000 "$work/err" >&2; }
    exit 1
}

# The music time in the caption, in seconds.
musicTime() {
    xprop -id "$window" WM_NAME 2>/dev/null | sed -n 's/.*Time:  \([0-9.]*\)".*/\1/p'
}

alive() { kill -0 "$pid" 2>/dev/null; }

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
while [ $SECONDS -lt $end ]; do
    alive || fail "the program ended by itself after $actions key actions"
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
# Baseline and end: the medians of the first and the last five samples.
median5() { sort -n | awk '{ v[NR] = $1 } END { print v[3] }'; }
baseline=$(head -n 5 "$work/rss" | awk '{ print $2 }' | median5)
final=$(tail -n 5 "$work/rss" | awk '{ print $2 }' | median5)
peak=$(awk '$2 > m { m = $2 } END { print m }' "$work/rss")
growth=$((final - baseline))

echo "long-run: seed $seed, $seconds s, $actions key actions, last caption time $lastTime s"
echo "long-run: resident memory (kB) every 30 s:" $(awk 'NR % 30 == 1 { printf "%s:%s ", $1, $2 }' "$work/rss")
echo "long-run: baseline $baseline kB, end $final kB, peak $peak kB, growth $growth kB"
echo "long-run: exit status $status, standard error $(wc -c <"$work/err") bytes"

[ "$status" -eq 0 ] || fail "exit status $status after Escape"
[ -s "$work/err" ] && fail "the program wrote to standard error"
if [ "$growth_kb" != none ] && [ "$growth" -gt "$growth_kb" ]; then
    fail "resident memory grew by $growth kB (allowed $growth_kb kB)"
fi
echo "long-run: ok"
