#!/usr/bin/env bash
# Builds the libraries the web program links (zlib, libpng, libjpeg-turbo, mpg123, kissfft) for
# wasm from Debian's source packages, and prints the install prefixes, separated by ';'.
#
# The sources come through `apt-get source` with a sources list of this script's own (deb-src
# lines for the Debian archive the system's apt already uses); the system's apt configuration is
# left as it is. Each library is built once per source version and emcc version into
# $ZRX_WEB_CACHE (default ~/.cache/zoomraxvandel-web), which outlives build folders and fresh
# clones on the same machine. Progress goes to standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${ZRX_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zoomraxvandel-web}
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs} # emcc's own scripts, under a node not Debian's
jobs=${ZRX_JOBS:-2}

say() { echo "web-libs: $*" >&2; }

# One run at a time on a cache: a second waits for the first.
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9

# ---- A private apt state: the system's Debian archives, as source lines -----------------------
aptdir=$cache/apt
mkdir -p "$aptdir/lists/partial" "$aptdir/cache/archives/partial"
sources=$aptdir/sources.list.new
{
    # One-line lists: "deb [options] URI SUITE COMPONENT..."
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        awk '$1 == "deb" { sub(/^deb/, "deb-src"); print }' || true
    # deb822 stanzas
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        awk 'BEGIN { RS = ""; FS = "\n" }
             { types = uris = suites = comps = ""
               for (i = 1; i <= NF; i++) {
                   split($i, kv, ":[ \t]*")
                   v = substr($i, length(kv[1]) + 2); sub(/^[ \t]+/, "", v)
                   if (kv[1] == "Types") types = v
                   if (kv[1] == "URIs") uris = v
                   if (kv[1] == "Suites") suites = v
                   if (kv[1] == "Components") comps = v
               }
               if (types !~ /deb/) next
               n = split(uris, u, " "); m = split(suites, s, " ")
               for (a = 1; a <= n; a++) for (b = 1; b <= m; b++)
                   print "deb-src " u[a] " " s[b] " " comps }' "$f"
    done
} | grep -E '://[^ ]*/debian(-security)?/? ' | sort -u >"$sources"
if [ ! -s "$sources" ]; then
    say "no Debian archive in /etc/apt/sources.list*: cannot fetch source packages"
    exit 1
fi
apt_opts=(-o "Dir::Etc::SourceList=$aptdir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$aptdir/lists" -o "Dir::Cache=$aptdir/cache" -o "Debug::NoLocking=1"
    -o "APT::Sandbox::User=root" -q)
# The index is fetched again when the list changed or is over a day old.
if ! cmp -s "$sources" "$aptdir/sources.list" ||
    [ -z "$(find "$aptdir/lists" -maxdepth 1 -name '*Sources*' -mtime -1 2>/dev/null)" ]; then
    mv "$sources" "$aptdir/sources.list"
    say "fetching the source index"
    apt-get "${apt_opts[@]}" update >&2
else
    rm -f "$sources"
fi

emver=$(emcc --version 2>/dev/null | sed -n '1s/.* \([0-9][0-9.]*\).*/\1/p')
[ -n "$emver" ] || { say "emcc does not run"; exit 1; }

# The versions of source package $1 the archives list, newest first.
source_versions() {
    apt-cache "${apt_opts[@]}" madison "$1" | awk -F' *[|] *' '/Sources$/ { print $2 }' |
        sort -u -r -V
}

# Fetches and unpacks version $2 of source package $1 into a fresh folder $3; false when the
# archive does not serve it (not every mirror serves the security archive's sources). A missing
# upstream signature (.asc) alone is no obstacle: the tarballs are unpacked and Debian's patches
# applied as dpkg-source would.
fetch() {
    rm -rf "$3" && mkdir -p "$3" && cd "$3" || return 1
    apt-get "${apt_opts[@]}" source "$1=$2" >"$3/fetch.log" 2>&1 && return 0
    grep -q '^E: Failed to fetch .*\.asc ' "$3/fetch.log" &&
        ! grep '^E: Failed to fetch http' "$3/fetch.log" | grep -qv '\.asc ' || return 1
    local orig debian
    orig=$(ls ./*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -1)
    debian=$(ls ./*.debian.tar.* 2>/dev/null | head -1)
    [ -n "$orig" ] && [ -n "$debian" ] || return 1
    mkdir tree && tar -xf "$orig" -C tree --strip-components=1 && tar -xf "$debian" -C tree &&
        if [ -f tree/debian/patches/series ]; then
            grep -v '^[[:space:]]*\(#\|$\)' tree/debian/patches/series |
                while read -r patch _; do
                    patch -d tree -p1 -s <"tree/debian/patches/$patch" || exit 1
                done
        fi
}

cmake_lib() { # source dir, prefix, options...
    local src=$1 prefix=$2
    shift 2
    emcmake cmake -S "$src" -B "$src/wasm-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_C_FLAGS="-O2" "$@" >&2 &&
        cmake --build "$src/wasm-build" -j "$jobs" >&2 &&
        cmake --install "$src/wasm-build" >&2
}

prefixes=()
# Builds package $1 with build function $2 unless the cache holds it: the newest version that
# is built already or that the archive serves.
library() {
    local pkg=$1 build=$2 version prefix work
    for version in $(source_versions "$pkg"); do
        prefix=$cache/libs/$pkg-${version#*:}-emcc$emver
        if [ -e "$prefix/.built" ]; then
            prefixes+=("$prefix")
            return
        fi
        [ -e "$cache/unserved/$pkg=$version" ] && continue
        work=$cache/src/$pkg
        if ! (fetch "$pkg" "$version" "$work"); then
            say "$pkg $version is not served; trying an older version"
            mkdir -p "$cache/unserved" && touch "$cache/unserved/$pkg=$version"
            continue
        fi
        say "building $pkg $version for wasm"
        rm -rf "$prefix"
        (cd "$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -1)" &&
            "$build" "$PWD" "$prefix") || {
            say "building $pkg failed (its sources are kept in $work)"
            exit 1
        }
        touch "$prefix/.built"
        rm -rf "$work"
        prefixes+=("$prefix")
        return
    done
    say "no version of the source package $pkg could be fetched"
    exit 1
}

build_zlib() {
    # Its own configure: the source package leaves out a file its CMake build lists.
    cd "$1" && emconfigure ./configure --static --prefix="$2" >&2 &&
        emmake make -j "$jobs" libz.a >&2 && emmake make install >&2
}

zlib_prefix() { printf '%s\n' "${prefixes[@]}" | grep '/zlib-'; }

build_libpng() {
    local z
    z=$(zlib_prefix)
    cmake_lib "$1" "$2" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DZLIB_INCLUDE_DIR="$z/include" \
        -DZLIB_LIBRARY="$z/lib/libz.a" -DSKIP_INSTALL_PROGRAMS=ON
}

build_libjpeg_turbo() {
    local src=$1 prefix=$2
    # No SIMD for wasm; the word size is given, as the toolchain's type-size checks misread it.
    # Only the library: its programs and tests are many slow links.
    emcmake cmake -S "$src" -B "$src/wasm-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="-O2" \
        -DWITH_SIMD=0 -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 \
        -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4 >&2 &&
        cmake --build "$src/wasm-build" -j "$jobs" --target jpeg-static >&2 &&
        mkdir -p "$prefix/lib" "$prefix/include" &&
        cp "$src/wasm-build/libjpeg.a" "$prefix/lib/" &&
        cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$src/wasm-build/jconfig.h" \
            "$prefix/include/"
}

build_mpg123() {
    local src=$1 prefix=$2
    cd "$src" || return 1
    # Its config.sub predates the emscripten target: configure for a generic 32-bit host and
    # take the portable floating-point decoder, no assembly; only the decoding library is built.
    emconfigure ./configure --host=i686-pc-linux-gnu --prefix="$prefix" --disable-shared \
        --enable-static --with-cpu=generic_fpu --disable-components --enable-libmpg123 \
        --disable-modules --with-audio=dummy --disable-largefile \
        --disable-dependency-tracking >&2 &&
        emmake make -j "$jobs" src/libmpg123/libmpg123.la >&2 &&
        mkdir -p "$prefix/lib" "$prefix/include" &&
        cp src/libmpg123/.libs/libmpg123.a "$prefix/lib/" &&
        cp "$(find src -name mpg123.h | head -1)" "$(find src -name fmt123.h | head -1)" \
            "$prefix/include/"
}

build_kissfft() {
    cmake_lib "$1" "$2" -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF -DKISSFFT_TOOLS=OFF \
        -DKISSFFT_DATATYPE=float -DKISSFFT_OPENMP=OFF -DKISSFFT_PKGCONFIG=OFF
}

library zlib build_zlib
library libpng1.6 build_libpng
library libjpeg-turbo build_libjpeg_turbo
library mpg123 build_mpg123
library kissfft build_kissfft

(
    IFS=';'
    echo "${prefixes[*]}"
)
