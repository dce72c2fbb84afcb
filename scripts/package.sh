#!/usr/bin/env bash
# Builds the Debian package in build-package/ (a Release build of its own) and checks it: the
# files it installs (dpkg-deb -c), lintian, the menu entry (desktop-file-validate) and the
# manual page (man -l). Install it with: apt install ./build-package/zoomraxvandel_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PACKAGE_DIR:-$root/build-package}
"$root/scripts/install-deps.sh"
# Debian's own compiler and linker flags, with every hardening feature, as its packages have.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Only the program is built: packing it then builds nothing more (the install skips "all").
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DZRX_INSTALL_BINDIR=games \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)" --target zoomraxvandel installfiles
rm -f "$build"/zoomraxvandel_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/zoomraxvandel_*.deb)

echo "== dpkg-deb -I $(basename "$deb")"
dpkg-deb -I "$deb"
echo "== dpkg-deb -c $(basename "$deb")"
dpkg-deb -c "$deb"

# The installed tree, to check the files as they will lie on the system.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
echo "== desktop-file-validate"
desktop-file-validate "$tree/usr/share/applications/zoomraxvandel.desktop"
echo "ok"
echo "== man -l (the first lines)"
MAN_DISABLE_SECCOMP=1 MANWIDTH=80 MANPAGER=cat man --warnings -l "$tree/usr/share/man/man6/zoomraxvandel.6.gz" | head -n 20

# lintian exits non-zero on errors; the package is still made, and its findings are printed.
echo "== lintian"
lintian --info --display-info --pedantic "$deb" || echo "lintian: exit status $?"
echo "package: $deb"
