# Sourced by the tests of the Windows program: Wine with a prefix of its own beside the zip (never
# the user's ~/.wine), a private X server, and the program unzipped into a folder of the test's
# own. Sourced after tests/program.sh. Usage: wineTestBegin <zip> (or, with a `work` folder of the
# caller's, wineSetUp <zip>); then startProgram "$wine" "$exe" [options...].

wine=/usr/lib/wine/wine64
export WINEDEBUG=-all                  # Wine's own notes stay off the program's standard error
export WINEDLLOVERRIDES="mscoree=;mshtml=" # no Mono or Gecko to install into the prefix
# SDL's window at the screen's corner: on a screen larger than the window, all of it is visible.
export SDL_VIDEO_WINDOW_POS=0,0

# Starts a private Xvfb (24-bit, GLX: Mesa's llvmpipe through Wine's opengl32) larger than the
# show's window, and unzips the program; sets DISPLAY, WINEPREFIX, `xvfb` and `exe`. A fresh prefix
# is made once (wineboot, some 15 s) and kept beside the zip, for later runs.
wineSetUp() {
    local zip=$1 fifo=$work/displayfd
    [ -f "$zip" ] || fail "no Windows program: $zip (scripts/windows.sh builds it)"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1600x900x24 -noreset -nolisten tcp 3>"$fifo" 2>/dev/null &
    xvfb=$!
    local display
    read -r -t 20 display <"$fifo" || fail "Xvfb did not start"
    export DISPLAY=:$display
    export WINEPREFIX
    WINEPREFIX=$(cd "$(dirname "$zip")" && pwd)/wineprefix
    (
        flock 9
        [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -u >/dev/null 2>&1
    ) 9>"$(dirname "$zip")/wineprefix.lock" || fail "no Wine prefix"
    mkdir -p "$work/program"
    unzip -q "$zip" -d "$work/program" || fail "cannot unzip $zip"
    exe=$(find "$work/program" -name zoomraxvandel.exe | head -n 1)
    [ -n "$exe" ] || fail "no zoomraxvandel.exe in $zip"
}

# A test's start: a scratch folder `work`, Wine set up for <zip>, and on exit the program
# (`pid`) killed, Wine's processes and the X server ended and the folder removed. A test with
# more to clean up sets its own trap after this, calling wineTestEnd in it.
wineTestBegin() {
    work=$(mktemp -d)
    pid=""
    trap wineTestEnd EXIT
    wineSetUp "$1"
}

wineTestEnd() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    wineTearDown
    rm -rf "$work"
}

# Ends the Wine processes of this prefix and the X server; for the caller's cleanup.
wineTearDown() {
    [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    return 0
}

# Keys reach a window only once it has been clicked into: no window manager gives it the focus.
focusWindow() {
    xdotool mousemove --window "$window" 640 360 click 1 || fail "cannot click into the window"
}
