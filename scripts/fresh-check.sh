#!/usr/bin/env bash
# Runs the README's two commands on a minimal Debian 12 root made afresh with debootstrap.
#
#   scripts/fresh-check.sh            (as root: it runs debootstrap, mount and chroot)
#
# A clone of the current commit (not uncommitted changes) goes into the root; there, as root and
# with a minimal environment, `scripts/show.sh --no-sound` plays on a private Xvfb until its
# window has been up for FRESH_WATCH seconds (default 5) and is then quit with Escape, and then
# `scripts/test.sh` runs with no display. Each command's exit status and wall time is printed at
# the end, and for each test stage how many test processes hit a sanitizer's report or fatal error
# (scripts/sanitizer-count.sh); the exit status is 0 only when both commands passed.
#
# FRESH_QUICK=1   runs the test command with ZRX_QUICK=1 (no sanitizer or fuzz stages)
# FRESH_DIR       where the scratch folder is made (default /var/tmp)
# FRESH_KEEP=1    keeps the root afterwards (its mounts are removed all the same)
# FRESH_SUITE     the Debian suite (default bookworm)
#
# The host needs debootstrap, git, xvfb and xdotool. The root is made from the first archive the
# host's own apt sources name for the suite, and gets those source files whose keys it holds.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
suite=${FRESH_SUITE:-bookworm}
watch=${FRESH_WATCH:-5}
# Generous bounds: the show's command installs and builds before its window opens.
show_limit=5400
quit_limit=60

say() { echo "fresh-check: $*"; }
die() {
    echo "fresh-check: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || die "run as root (debootstrap, mount and chroot need it)"
for tool in debootstrap:debootstrap git:git Xvfb:xvfb xdotool:xdotool; do
    command -v "${tool%%:*}" >/dev/null || die "needs ${tool%%:*} on this machine (apt-get install ${tool#*:})"
done

# ---- The archive the host's apt uses ------------------------------------------------------------

# Active source files: the one-line list and the deb822 files that apt reads.
source_files() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && echo "$f"
    done
    return 0
}

# The first URI that serves "deb" packages of the suite's main component.
archive_uri() {
    local f
    while read -r f; do
        case $f in
        *.sources)
            awk -v suite="$suite" 'BEGIN { RS = ""; FS = "\n" }
                {
                    types = uris = suites = comps = ""; enabled = 1
                    for (i = 1; i <= NF; i++) {
                        split($i, kv, ":[ \t]*")
                        key = tolower(kv[1]); value = substr($i, length(kv[1]) + 2)
                        sub(/^[ \t]+/, "", value)
                        if (key == "types") types = " " value " "
                        else if (key == "uris") uris = value
                        else if (key == "suites") suites = " " value " "
                        else if (key == "components") comps = " " value " "
                        else if (key == "enabled" && tolower(value) == "no") enabled = 0
                    }
                    if (enabled && types ~ / deb / && suites ~ " " suite " " && comps ~ / main /) {
                        split(uris, u, /[ \t]+/); print u[1]; exit
                    }
                }' "$f"
            ;;
        *)
            sed -nE "s/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+$suite[[:space:]].*\bmain\b.*/\2/p" "$f"
            ;;
        esac
    done < <(source_files) | head -n 1
}

mirror=$(archive_uri)
[ -n "$mirror" ] || die "no apt source on this machine serves $suite main"

# ---- Scratch folder, mounts, and their removal --------------------------------------------------

mkdir -p "${FRESH_DIR:-/var/tmp}"
scratch=$(mktemp -d "${FRESH_DIR:-/var/tmp}/zrx-fresh.XXXXXX")
rootfs=$scratch/root
mounts=()  # mount points in the order they were made
xvfb=""
show=""

mounts_below() { awk -v top="$scratch/" 'index($2, top) == 1 { print $2 }' /proc/self/mounts; }

cleanup() {
    local status=$? p left
    trap - EXIT INT TERM
    set +e
    [ -n "$show" ] && kill "$show" 2>/dev/null
    # Everything still running inside the root was started by this run; it holds the mounts.
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$rootfs" ] && kill -TERM "${p#/proc/}" 2>/dev/null
    done
    for _ in $(seq 50); do
        left=0
        for p in /proc/[0-9]*; do
            [ "$(readlink "$p/root" 2>/dev/null)" = "$rootfs" ] && left=1 && break
        done
        [ $left -eq 0 ] && break
        sleep 0.1
    done
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$rootfs" ] && kill -KILL "${p#/proc/}" 2>/dev/null
    done
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null ||
            echo "fresh-check: cannot unmount ${mounts[i]}" >&2
    done
    # Anything mounted below the scratch folder by the commands inside goes too.
    for p in $(mounts_below | sort -r); do
        umount -l "$p" 2>/dev/null
    done
    if [ -n "$(mounts_below)" ]; then
        echo "fresh-check: mounts remain below $scratch; it is left in place" >&2
    elif [ "${FRESH_KEEP:-0}" = 1 ]; then
        echo "fresh-check: the root is kept in $rootfs"
    else
        rm -rf "$scratch"
    fi
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount_in() { # type source target [options]
    mkdir -p "$rootfs/$3"
    mount -t "$1" ${4:+-o "$4"} "$2" "$rootfs/$3"
    mounts+=("$rootfs/$3")
}

# ---- Results ------------------------------------------------------------------------------------

results=()
failed=0
duration() { printf '%dm%02ds (%d s)' $(($1 / 60)) $(($1 % 60)) "$1"; }
record() { # name status seconds
    results+=("$(printf '%-38s exit %3d   %s' "$1" "$2" "$(duration "$3")")")
    [ "$2" -eq 0 ] || failed=1
}

# ---- The root -----------------------------------------------------------------------------------

commit=$(git -C "$repo" rev-parse HEAD)
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
    say "uncommitted changes are not part of the check; it checks $commit"
say "commit $commit; Debian $suite minbase from $mirror into $rootfs"

start=$SECONDS
set +e
# Long steps run in the background: bash runs a trap only once the command it waits for is done.
debootstrap --variant=minbase "$suite" "$rootfs" "$mirror" >"$scratch/debootstrap.log" 2>&1 &
wait $!
status=$?
set -e
record "debootstrap --variant=minbase" $status $((SECONDS - start))
if [ $status -ne 0 ]; then
    tail -n 30 "$scratch/debootstrap.log" >&2
    die "debootstrap failed"
fi

# The host's sources whose keys the fresh root holds (debootstrap's own list names the same archive).
copied=0
while read -r f; do
    keys=$(sed -nE 's/^[[:space:]]*Signed-By:[[:space:]]*(.*)$/\1/p; s/.*signed-by=([^] ]+).*/\1/p' "$f")
    usable=1
    for k in $keys; do
        [ -e "$rootfs$k" ] || usable=0
    done
    if [ $usable -eq 1 ]; then
        mkdir -p "$rootfs$(dirname "$f")"
        cp "$f" "$rootfs$f"
        copied=1
    else
        say "leaving out $f: its key is not in a fresh root"
    fi
done < <(source_files)
[ $copied -eq 1 ] && [ ! -f /etc/apt/sources.list ] && rm -f "$rootfs/etc/apt/sources.list"
cp /etc/resolv.conf "$rootfs/etc/resolv.conf"

mount_in proc proc proc
mount_in sysfs sysfs sys
mount_in devpts devpts dev/pts newinstance,ptmxmode=0666,mode=0620,gid=5
mount --bind "$rootfs/dev/pts/ptmx" "$rootfs/dev/ptmx"
mounts+=("$rootfs/dev/ptmx")
mount_in tmpfs tmpfs dev/shm mode=1777

checkout=/root/zoomraxvandel
git clone --quiet --no-hardlinks --no-checkout "$repo" "$rootfs$checkout"
git -C "$rootfs$checkout" -c advice.detachedHead=false checkout --quiet --detach "$commit"

# Runs a command inside the root as root with a minimal environment; extra VAR=value words first.
inside() {
    chroot "$rootfs" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" "$@"
}

# ---- The show -----------------------------------------------------------------------------------

# Its own Xvfb on the host; the root reaches it through the abstract X socket.
fifo=$scratch/displayfd
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x720x24 -noreset -nolisten tcp 3>"$fifo" 2>"$scratch/xvfb.log" &
xvfb=$!
read -r -t 30 num <"$fifo" || die "Xvfb did not start"
display=":$num"

say "running scripts/show.sh --no-sound (display $display; log in $scratch/show.log while it runs)"
start=$SECONDS
inside DISPLAY="$display" bash -c "cd $checkout && exec scripts/show.sh --no-sound" \
    </dev/null >"$scratch/show.log" 2>&1 &
show=$!
window=""
problem=""
while [ $((SECONDS - start)) -lt $show_limit ]; do
    window=$(DISPLAY=$display xdotool search --name '^Vellamarkfest 2011' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    kill -0 "$show" 2>/dev/null || break
    sleep 1
done
if [ -z "$window" ]; then
    problem="no window with the show's caption"
else
    say "the show's window is up after $(duration $((SECONDS - start))); playing for $watch s"
    sleep "$watch"
    if ! kill -0 "$show" 2>/dev/null; then
        problem="the show ended by itself"
    else
        DISPLAY=$display xdotool keydown Escape
        sleep 0.3
        DISPLAY=$display xdotool keyup Escape
        quit_start=$SECONDS
        while kill -0 "$show" 2>/dev/null && [ $((SECONDS - quit_start)) -lt $quit_limit ]; do
            sleep 0.2
        done
        kill -0 "$show" 2>/dev/null && problem="the show still runs $quit_limit s after Escape" &&
            kill "$show"
    fi
fi
set +e
wait "$show"
status=$?
set -e
show=""
[ -n "$problem" ] && [ $status -eq 0 ] && status=1
record "scripts/show.sh --no-sound" $status $((SECONDS - start))
if [ $status -ne 0 ] || [ -n "$problem" ]; then
    tail -n 40 "$scratch/show.log"
    say "the show failed: ${problem:-exit status $status}"
else
    tail -n 3 "$scratch/show.log"
fi
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null || true
xvfb=""

# ---- The tests ----------------------------------------------------------------------------------

quick=()
test_name="scripts/test.sh"
if [ "${FRESH_QUICK:-0}" = 1 ]; then
    quick=(ZRX_QUICK=1)
    test_name="ZRX_QUICK=1 scripts/test.sh"
fi
say "running $test_name"
start=$SECONDS
set +e
inside "${quick[@]}" bash -c "cd $checkout && exec scripts/test.sh" </dev/null 2>&1 &
wait $!
status=$?
set -e
record "$test_name" $status $((SECONDS - start))

# Sanitizer reports in every test process's output, whether or not the tests passed: a fatal
# error that strikes one run in fifty shows here before it fails a machine's first run.
counts=()
stage_logs() { # label build-folder: its ctest log
    counts+=("$(bash "$repo/scripts/sanitizer-count.sh" "$1" "$rootfs$checkout/$2/Testing/Temporary/LastTest.log")")
}
stage_logs "plain suite" build
if [ "${FRESH_QUICK:-0}" != 1 ]; then
    stage_logs "AddressSanitizer + UBSan suite" build-asan
    stage_logs "ThreadSanitizer audio tests" build-tsan
    fuzz_logs=("$rootfs$checkout"/build-fuzz/*_fuzz.log)
    counts+=("$(bash "$repo/scripts/sanitizer-count.sh" "fuzz targets" "${fuzz_logs[@]}")")
fi

# ---- Summary ------------------------------------------------------------------------------------

say "commit $commit on a fresh Debian $suite minbase root"
for line in "${results[@]}"; do
    say "$line"
done
for line in "${counts[@]}"; do
    say "$line"
done
if [ $failed -eq 0 ]; then
    say "PASSED"
else
    say "FAILED"
    exit 1
fi
