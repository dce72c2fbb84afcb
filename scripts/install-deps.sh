#!/usr/bin/env bash
# Installs the Debian packages this project builds, tests and runs with; does nothing when all are there.
set -euo pipefail

packages=(
    build-essential cmake pkg-config clang libclang-rt-14-dev
    libsdl1.2-dev libpulse-dev pulseaudio pulseaudio-utils libgl-dev libglu1-mesa-dev
    pipewire pipewire-pulse wireplumber dbus-daemon
    libgl1-mesa-dri libdevil-dev libpng-dev libjpeg-dev libmpg123-dev libkissfft-dev libmp3lame-dev
    libfreetype-dev
    fonts-dejavu-core fonts-dejavu-extra
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libegl-dev ffmpeg
    libgtest-dev libgmock-dev libbenchmark-dev valgrind libxdamage-dev
    xvfb xauth x11-utils x11-apps xdotool imagemagick
    dpkg-dev file lintian desktop-file-utils man-db
    emscripten chromium-headless-shell firefox-esr python3-websocket
    g++-mingw-w64-x86-64-posix wine64 zip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get update -q || ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    echo "install-deps: FAILED to install: ${missing[*]}" >&2
    exit 1
fi
