#!/usr/bin/env bash
# Builds the libraries a cross-built program links from Debian's source packages, statically, and
# prints their install prefixes, separated by ';'. Usage: cross-libs.sh TARGET
#   wasm    the web program's, with emscripten: zlib, libpng, libjpeg-turbo, mpg123, kissfft
#   win64   the Windows program's, with mingw-w64 (x86_64-w64-mingw32, posix threads): the same
#           and SDL 1.2
#
# The sources come through `apt-get source` with a sources list of this script's own (deb-src
# lines for the Debian archive the system's apt already uses); the system's apt configuration is
# left as it is. Each library is built once per source version, target and compiler version into
# $ZRX_LIBS_CACHE (default ~/.cache/zoomraxvandel-libs), which outlives build folders and fresh
# clones on the same machine. Progress goes to standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-}
case $target in
wasm | win64) ;;
*)
    echo "usage: scripts/cross-libs.sh wasm|win64" >&2
    exit 2
    ;;
esac
cache=${ZRX_LIBS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zoomraxvandel-libs}
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs} # emcc's own scripts, under a node not Debian's
jobs=${ZRX_JOBS:-2}
host=x86_64-w64-mingw32 # win64's compilers: $host-gcc-posix, $host-g++-posix
toolchain=$root/cmake/mingw-w64.cmake

say() { echo "cross-libs: $*" >&2; }

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

# The compiler's name and version, part of each build's folder name.
if [ "$target" = wasm ]; then
    compiler=emcc$(emcc --version 2>/dev/null | sed -n '1s/.* \([0-9][0-9.]*\).*/\1/p')
else
    compiler=mingw$($host-gcc-posix -dumpversion 2>/dev/null || true)
fi
[ "$compiler" != emcc ] && [ "$compiler" != mingw ] || { say "no compiler for $target"; exit 1; }

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

# CMake configured for the target: emcmake's for wasm, our toolchain file for win64.
cross_cmake() {
    if [ "$target" = wasm ]; then
        emcmake cmake "$@"
    else
        cmake -DCMAKE_TOOLCHAIN_FILE="$toolchain" "$@"
    fi
}

# A configure script run for the target: emconfigure's for wasm (its config.sub predates the
# emscripten target: a generic 32-bit host), the mingw host for win64.
cross_configure() {
    if [ "$target" = wasm ]; then
        emconfigure ./configure --host=i686-pc-linux-gnu "$@"
    else
        ./configure --host=$host CC=$host-gcc-posix CXX=$host-g++-posix "$@"
    fi
}

cross_make() {
    if [ "$target" = wasm ]; then emmake make "$@"; else make "$@"; fi
}

cmake_lib() { # source dir, prefix, options...
    local src=$1 prefix=$2
    shift 2
    cross_cmake -S "$src" -B "$src/cross-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_C_FLAGS="-O2" "$@" >&2 &&
        cmake --build "$src/cross-build" -j "$jobs" >&2 &&
        cmake --install "$src/cross-build" >&2
}

prefixes=()
# Builds package $1 with build function $2 unless the cache holds it: the newest version that
# is built already or that the archive serves.
library() {
    local pkg=$1 build=$2 version prefix work
    for version in $(source_versions "$pkg"); do
        prefix=$cache/libs/$pkg-${version#*:}-$compiler
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
        say "building $pkg $version for $target"
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
    cd "$1" || return 1
    if [ "$target" = wasm ]; then
        # Its own configure: the source package leaves out a file its CMake build lists.
        emconfigure ./configure --static --prefix="$2" >&2 &&
            emmake make -j "$jobs" libz.a >&2 && emmake make install >&2
        return
    fi
    # Neither its configure (which takes mingw for a Unix) nor the source package (which has no
    # win32/Makefile.gcc) builds it for Windows: the library is its C files, archived.
    local file
    for file in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
        inflate inftrees trees uncompr zutil; do
        $host-gcc-posix -O2 -c "$file.c" -o "$file.o" || return 1
    done
    mkdir -p "$2/lib" "$2/include" && $host-ar rcs "$2/lib/libz.a" ./*.o &&
        cp zlib.h zconf.h "$2/include/"
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
    local src=$1 prefix=$2 sizes=()
    # For wasm the word size is given, as the toolchain's type-size checks misread it. No SIMD
    # (wasm has none we build, and for win64 it would need nasm). Only the library: its programs
    # and tests are many slow links.
    [ "$target" = wasm ] &&
        sizes=(-DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4)
    # (installed by hand; the prefix given only because its default for Windows is a drive's)
    cross_cmake -S "$src" -B "$src/cross-build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="-O2" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DWITH_SIMD=0 -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 "${sizes[@]}" >&2 &&
        cmake --build "$src/cross-build" -j "$jobs" --target jpeg-static >&2 &&
        mkdir -p "$prefix/lib" "$prefix/include" &&
        cp "$src/cross-build/libjpeg.a" "$prefix/lib/" &&
        cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$src/cross-build/jconfig.h" \
            "$prefix/include/"
}

build_mpg123() {
    local src=$1 prefix=$2
    local cpu=x86-64
    cd "$src" || return 1
    # For wasm the portable floating-point decoder, no assembly (and no large-file calls); for
    # win64 the x86-64 decoders. Only the decoding library is built.
    [ "$target" = wasm ] && cpu="generic_fpu --disable-largefile"
    # shellcheck disable=SC2086 # $cpu is two words for wasm
    cross_configure --prefix="$prefix" --disable-shared --enable-static --with-cpu=$cpu \
        --disable-components --enable-libmpg123 --disable-modules --with-audio=dummy \
        --disable-dependency-tracking >&2 &&
        cross_make -j "$jobs" src/libmpg123/libmpg123.la >&2 &&
        mkdir -p "$prefix/lib" "$prefix/include" &&
        cp src/libmpg123/.libs/libmpg123.a "$prefix/lib/" &&
        cp "$(find src -name mpg123.h | head -1)" "$(find src -name fmt123.h | head -1)" \
            "$prefix/include/"
}

build_kissfft() {
    # Its install folders inside the prefix: outside emscripten's sysroot they default to /.
    cmake_lib "$1" "$2" -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF -DKISSFFT_TOOLS=OFF \
        -DKISSFFT_DATATYPE=float -DKISSFFT_OPENMP=OFF -DKISSFFT_PKGCONFIG=OFF \
        -DCMAKE_INSTALL_INCLUDEDIR="$2/include" -DCMAKE_INSTALL_LIBDIR="$2/lib" \
        -DKISSFFT_INSTALL_CMAKE="$2/lib/cmake/kissfft"
}

build_libsdl1_2() {
    # Windows' own video (GDI windows with WGL) and audio (DirectSound, then waveOut); standard
    # output and error stay the process's, not files beside the program.
    cd "$1" && cross_configure --prefix="$2" --disable-shared --enable-static --enable-directx \
        --disable-stdio-redirect --disable-dependency-tracking >&2 &&
        cross_make -j "$jobs" >&2 && cross_make install >&2
}

library zlib build_zlib
library libpng1.6 build_libpng
library libjpeg-turbo build_libjpeg_turbo
library mpg123 build_mpg123
library kissfft build_kissfft
[ "$target" = win64 ] && library libsdl1.2 build_libsdl1_2

(
    IFS=';'
    echo "${prefixes[*]}"
)
