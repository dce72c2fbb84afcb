#!/usr/bin/env bash
# Builds the Windows program with mingw-w64 into build-win/ (or $WIN_BUILD_DIR) and packs it as
# build-win/zoomraxvandel-<version>-win64.zip: zoomraxvandel.exe (statically linked: it needs only
# DLLs that come with Windows), Data/, data/ and README.txt with the keys and options.
# The libraries are compiled once from Debian's source packages (scripts/cross-libs.sh win64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${WIN_BUILD_DIR:-$root/build-win}

"$root/scripts/install-deps.sh"
libs=$("$root/scripts/cross-libs.sh" win64)
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZRX_WIN_LIBS="$libs" >/dev/null
cmake --build "$build" -j "${ZRX_JOBS:-2}"

exe=$build/zoomraxvandel.exe
# Every DLL it imports must be one that Windows has; one of the compiler's own (its C++ or thread
# runtime) would mean the static link let something through.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f)
system='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|winmm|opengl32|glu32|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
if grep -viE "$system" <<<"$imports" >/dev/null; then
    echo "windows: the program imports DLLs that Windows does not have:" $(grep -viE "$system" <<<"$imports") >&2
    exit 1
fi

version=$(sed -n 's/^project(Zoomraxvandel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=zoomraxvandel-$version-win64
stage=$build/package/$name
rm -rf "$build/package" && mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/zoomraxvandel.exe" "$exe"
cp -r "$root/Data" "$root/data" "$stage/"
# Windows' own line ends, for Notepad.
sed 's/$/\r/' "$root/dist/README-windows.txt" >"$stage/README.txt"
zip="$build/$name.zip"
rm -f "$zip"
# The same bytes from the same files: no extra attributes, the files in one order.
(cd "$build/package" && find "$name" -type f | LC_ALL=C sort | zip -q -9 -X -D "$zip" -@)
size=$(stat -c %s "$zip")
if [ "$size" -gt $((10 * 1024 * 1024)) ]; then
    echo "windows: $zip is $size bytes, over 10 MB" >&2
    exit 1
fi
echo "windows: $zip ($size bytes; imports" $imports")"
