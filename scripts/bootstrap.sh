#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the main job need. Idempotent: when all
# packages are present it changes nothing and asks no package server.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libzip-dev zlib1g-dev libssl-dev libisofs-dev libburn-dev xorriso
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    wine wine64 gcc-mingw-w64-x86-64 p7zip-full zip unzip
    clang-format time desktop-file-utils
    qt6-base-dev qt6-wayland libqt6svg6 xvfb xauth xdotool openbox x11-apps
    cron
    libdeflate-dev libisal-dev pigz
    libcli11-dev scdoc librsvg2-bin dpkg-dev fakeroot
    libnotify-bin zsh ccache libarchive-tools python3
    lintian fish
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev nasm nsis
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

# The Windows build compiles libzip, libdeflate and ISA-L from Debian's source packages
# (scripts/win64-deps.sh), which `apt-get source` fetches through a deb-src entry for the archive
# the system already uses.
deb_src_added=0
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list &&
    [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $sudo tee /etc/apt/sources.list.d/qob-deb-src.sources >/dev/null
    deb_src_added=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    if [ "$deb_src_added" -eq 1 ]; then
        $sudo apt-get update -qq
    fi
    exit 0
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
