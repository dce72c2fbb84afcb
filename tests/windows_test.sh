#!/usr/bin/env bash
# The Windows program under Wine, as a viewer has it: unzipped into a folder whose name is not
# ASCII and started from another folder; its caption's music time advances, space pauses, an arrow
# steps exactly 50000 bytes, Escape ends it with status 0; a missing picture shows the message box
# with the failure text and the show carries on; with no sound device it plays silently; --record
# says it is not in this build. Usage: windows_test.sh <zip>
set -uo pipefail
zip=$1

source "$(dirname "$0")/program.sh"
source "$(dirname "$0")/wine.sh"
wineTestBegin "$zip"
# No sound server answers, and Wine's ALSA driver is left out (the machine has no card): there
# is no sound device.
export PULSE_SERVER=unix:$work/no-server
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winealsa.drv="
# Wine's trace of each message box's text, which the test reads; nothing else of Wine's.
export WINEDEBUG=-all,trace+msgbox

folder="$work/Zoomräxvändel Ωμέγα"
mv "$(dirname "$exe")" "$folder" && exe="$folder/zoomraxvandel.exe"
cd "$work" || fail "no scratch folder"

# The caption's time after each of `count` arrow taps, paused: exactly 50000 bytes, 0.283447 s.
stepsExact() {
    local key=$1 before after
    before=$(musicTime)
    xdotool key "$key"
    waitForChange "$before" "a tap of $key"
    after=$(musicTime)
    awk -v a="$before" -v b="$after" -v k="$key" \
        'BEGIN { d = (k == "Right") ? b - a : a - b; exit !(d > 0.283445 && d < 0.283449) }' ||
        fail "a tap of $key: $before then $after"
}

# No sound device: silent, the clock runs, nothing on standard error.
startProgram "$wine" "$exe" --windowed
t1=$(musicTime)
waitForChange "$t1" "the show's start"
focusWindow
xdotool key space
# Paused once two looks half a second apart agree; the steps below then move it by exactly one
# step each, which a running clock would not.
p1=$(musicTime)
for _ in $(seq 20); do
    sleep 0.5
    p2=$(musicTime)
    [ "$p1" = "$p2" ] && break
    p1=$p2
done
[ "$p1" = "$p2" ] || fail "space does not pause: $p1 then $p2"
for key in Right Right Left; do
    stepsExact "$key"
done
before=$(musicTime)
xdotool key space
waitForChange "$before" "space again (resume)"
quitWithEscape
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
[ -s "$work/err" ] && fail "standard error: $(cat "$work/err")"

# A picture missing: its message box, titled ERROR, with the failure text; once it is closed the
# show goes on.
mv "$folder/Data/Rome.png" "$work/Rome.png" || fail "no Data/Rome.png in the zip"
"$wine" "$exe" --windowed --no-sound >"$work/out" 2>"$work/err" &
pid=$!
# Wine names the box as it creates it, and maps it once its text is set: a click or key sent
# before then is lost. So the box is looked for on the screen, and clicked and Return pressed
# again every two seconds while it stays there.
box=""
for _ in $(seq 1200); do
    box=$(xdotool search --onlyvisible --name '^ERROR$' 2>/dev/null | head -n 1)
    [ -n "$box" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended during start-up"
    sleep 0.1
done
[ -n "$box" ] || fail "no message box"
grep -qx '.*trace:msgbox:MSGBOX_OnInit L"DevIL failed to load the image!"' "$work/err" ||
    fail "the message box does not say the failure text"
window=""
for i in $(seq 0 1199); do
    window=$(xdotool search --name '^Vellamarkfest 2011' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    if [ $((i % 20)) -eq 0 ] && xwininfo -id "$box" 2>/dev/null | grep -q 'IsViewable'; then
        xdotool mousemove --window "$box" 20 20 click 1 key Return 2>/dev/null
    fi
    sleep 0.1
done
[ -n "$window" ] || fail "no show after the message box"
t1=$(musicTime)
waitForChange "$t1" "after the message box"
# The Windows C runtime ends each line it writes with CR LF.
[ "$(grep -v trace:msgbox "$work/err" | tr -d '\r')" = "ERROR: DevIL failed to load the image!" ] ||
    fail "standard error: $(cat "$work/err")"
focusWindow
quitWithEscape
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
mv "$work/Rome.png" "$folder/Data/Rome.png"

# No recorder in this build: it says so, and ends as on a bad option.
"$wine" "$exe" --record "$work/show.mp4" >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 2 ] || fail "exit status $status for --record"
[ "$(tr -d '\r' <"$work/err")" = "zoomraxvandel: recording is not in this build; --record needs the Linux program" ] ||
    fail "--record: $(cat "$work/err")"
echo "ok"
