# Sourced by the end-to-end scripts that drive the real program under X: failing with its
# standard error, starting it and finding its window, reading the music time from the caption
# (once, or every new one for a while), quitting with Escape. The caller sets `work`, a scratch folder, and clears `pid` on exit.

fail() {
    echo "FAIL: $*" >&2
    [ -s "$work/err" ] && echo "the program's standard error: $(cat "$work/err")" >&2
    exit 1
}

# startProgram <program> [arguments...]: starts it with its output in $work/out and $work/err
# and waits (at most two minutes) for its first caption; sets pid and window.
startProgram() {
    "$@" >"$work/out" 2>"$work/err" &
    pid=$!
    window=""
    for _ in $(seq 1200); do
        window=$(xdotool search --name '^Vellamarkfest 2011' 2>/dev/null | head -n 1)
        [ -n "$window" ] && return 0
        kill -0 "$pid" 2>/dev/null || fail "the program ended during start-up"
        sleep 0.1
    done
    fail "no window with the show's caption"
}

# The music time that the caption shows.
musicTime() {
    local text
    text=$(xprop -id "$window" WM_NAME)
    [[ $text =~ ^WM_NAME\(STRING\)\ =\ \"Vellamarkfest\ 2011\ -\ Zoomraxvandel\ {26}Time:\ \ (-?[0-9]+\.[0-9]{6})\"$ ]] ||
        fail "unexpected caption: $text"
    echo "${BASH_REMATCH[1]}"
}

# Reads the caption's music time into $music with one process.
readTime() {
    local text
    text=$(xprop -id "$window" WM_NAME)
    [[ $text =~ Time:\ \ (-?[0-9]+\.[0-9]{6})\"$ ]] || fail "unexpected caption: $text"
    music=${BASH_REMATCH[1]}
}

# Writes "BEFORE AFTER MUSIC" to $2 for each new caption seen during $1 seconds: the wall clock
# (seconds) at the start of the look before it and at the end of the look that found it; it was
# set between the two.
sampleCaptions() {
    local previous="" before after end
    before=${EPOCHREALTIME/./}
    end=$((before + $1 * 1000000))
    : >"$2"
    while [ "$before" -lt "$end" ]; do
        readTime
        after=${EPOCHREALTIME/./}
        if [ "$music" != "$previous" ]; then
            [ -n "$previous" ] && echo "$before $after $music" >>"$2"
            previous=$music
        fi
        before=$after
    done
    awk '{ printf "%.6f %.6f %s\n", $1 / 1e6, $2 / 1e6, $3 }' "$2" >"$2.s" && mv "$2.s" "$2"
}

# less a b: true when a < b, as decimal numbers.
less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# Waits until the caption's time differs from $1; fails after ten seconds without a change.
waitForChange() {
    for _ in $(seq 100); do
        [ "$(musicTime)" != "$1" ] && return 0
        sleep 0.1
    done
    fail "$2: the time stays at $1"
}

# Holds Escape until the program has ended (at most 30 s); sets status and clears pid.
quitWithEscape() {
    xdotool keydown Escape
    for _ in $(seq 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    xdotool keyup Escape
    kill -0 "$pid" 2>/dev/null && fail "the program is still running after Escape"
    wait "$pid"
    status=$?
    pid=""
}
