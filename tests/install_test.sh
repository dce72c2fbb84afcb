#!/usr/bin/env bash
# The installed program: `cmake --install` into a scratch folder, then the program started from
# another folder finds its data there, plays, and answers its command line.
# Usage: install_test.sh <build dir> <version>
set -uo pipefail
build=$1
version=$2
export SDL_AUDIODRIVER=dummy

work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    fail "cmake --install: $(cat "$work/install.log")"
usr=$work/root/usr
program=$usr/bin/zoomraxvandel
for file in bin/zoomraxvandel share/zoomraxvandel/Data/Zrax2011.mp3 \
    share/zoomraxvandel/Data/PlinketaLoading.png share/zoomraxvandel/data/Drusk/Drusk.obj \
    share/applications/zoomraxvandel.desktop share/icons/hicolor/48x48/apps/zoomraxvandel.png \
    share/icons/hicolor/256x256/apps/zoomraxvandel.png share/man/man6/zoomraxvandel.6.gz \
    share/doc/zoomraxvandel/copyright share/doc/zoomraxvandel/changelog.gz; do
    [ -f "$usr/$file" ] || fail "not installed: $file"
done
[ -x "$program" ] || fail "the program is not executable"

desktop-file-validate "$usr/share/applications/zoomraxvandel.desktop" ||
    fail "desktop-file-validate"
grep -qx 'Exec=zoomraxvandel' "$usr/share/applications/zoomraxvandel.desktop" ||
    fail "the menu entry does not start the program"
# man-db's own sandbox is refused inside some containers; the page is ours, so it goes without.
MAN_DISABLE_SECCOMP=1 LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat \
    man --warnings -l "$usr/share/man/man6/zoomraxvandel.6.gz" >"$work/man.txt" 2>"$work/man.err" ||
    fail "man -l: $(cat "$work/man.err")"
grep -i warning "$work/man.err" && fail "the manual page has formatting warnings"
grep -q '^ZOOMRAXVANDEL(6)' "$work/man.txt" || fail "the manual page has no section 6 heading"
for option in --help --version --windowed --start --no-sound; do
    grep -q -- "$option" "$work/man.txt" || fail "the manual page does not describe $option"
done

# From here on the program runs in a folder that holds no data.
mkdir "$work/elsewhere"
cd "$work/elsewhere" || fail "cd"

# run <args...>: runs the program to its end; sets status, out and err.
run() {
    "$program" "$@" >"$work/out" 2>"$work/err"
    status=$?
    out=$(cat "$work/out")
    err=$(cat "$work/err")
}

run --help
[ "$status" -eq 0 ] || fail "--help: exit status $status"
[[ $out == "Usage: zoomraxvandel "* ]] || fail "--help prints: $out"
[ -z "$err" ] || fail "--help writes to standard error: $err"
usage=$out

run --version
[ "$status" -eq 0 ] || fail "--version: exit status $status"
[ "$out" = "zoomraxvandel $version" ] || fail "--version prints: $out"
[ -z "$err" ] || fail "--version writes to standard error: $err"

for bad in "--bogus" "--start abc" "--start" "--windowed=yes"; do
    # shellcheck disable=SC2086 # each case is its own words
    run $bad
    [ "$status" -eq 2 ] || fail "$bad: exit status $status"
    [ -z "$out" ] || fail "$bad writes to standard output: $out"
    [ "$(tail -n +2 "$work/err")" = "$usage" ] || fail "$bad: no usage after the reason: $err"
    [[ $(head -n 1 "$work/err") == "zoomraxvandel: "* ]] || fail "$bad: reason: $err"
done

# The program alone, without its data beside it: it says where it looked. Without an X server it
# then ends at once.
mkdir -p "$work/alone/bin"
cp "$program" "$work/alone/bin/"
SDL_VIDEODRIVER=x11 DISPLAY=:65000 "$work/alone/bin/zoomraxvandel" >"$work/out" 2>"$work/err"
expected="ERROR: No show data (Data/ and data/) in the folders searched: $work/elsewhere, \
$work/alone/share/zoomraxvandel
ERROR: Unable to initialize SDL!"
[ "$(cat "$work/err")" = "$expected" ] || fail "without data: $(cat "$work/err")"

# The show itself, from 20 s on, in a window.
"$program" --windowed --start 20 >"$work/out" 2>"$work/err" &
pid=$!
window=""
for _ in $(seq 1200); do
    window=$(xdotool search --name '^Vellamarkfest 2011' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended during start-up: $(cat "$work/err")"
    sleep 0.1
done
[ -n "$window" ] || fail "no window with the show's caption"

musicTime() {
    local text
    text=$(xprop -id "$window" WM_NAME)
    [[ $text =~ Time:\ \ ([0-9]+\.[0-9]{6})\"$ ]] || fail "unexpected caption: $text"
    echo "${BASH_REMATCH[1]}"
}
less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

t1=$(musicTime)
less 19.99 "$t1" && less "$t1" 30 || fail "--start 20 shows the time $t1"
advanced=""
for _ in $(seq 100); do
    t2=$(musicTime)
    less "$t1" "$t2" && advanced=yes && break
    sleep 0.1
done
[ -n "$advanced" ] || fail "the time does not advance from $t1"

geometry=$(xwininfo -id "$window")
grep -q 'Width: 1280' <<<"$geometry" && grep -q 'Height: 720' <<<"$geometry" ||
    fail "the window is not 1280x720: $geometry"
# Full screen, SDL maps an override-redirect window over the whole screen; in a window it does not.
for child in $(xwininfo -root -children | awk '/^ +0x/ { print $1 }'); do
    info=$(xwininfo -id "$child")
    grep -q 'Map State: IsViewable' <<<"$info" && grep -q 'Override Redirect State: yes' <<<"$info" &&
        fail "--windowed, yet a full-screen window is mapped: $info"
done
# The show's pictures from 18.5 s on fill the screen; black would mean no data was drawn.
import -window "$window" "$work/shot.png" || fail "cannot capture the window"
mean=$(convert "$work/shot.png" -colorspace Gray -format '%[fx:mean]' info:)
less 0.1 "$mean" || fail "the screen is black (mean brightness $mean)"

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
[ "$status" -eq 0 ] || fail "exit status $status after Escape"
[ -s "$work/err" ] && fail "standard error: $(cat "$work/err")"
echo "ok"
