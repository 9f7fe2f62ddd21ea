#!/usr/bin/env bash
# Installs whatever the build, the program and the test suite need and is not there yet (Debian 12).
#   scripts/setup.sh           for the Linux build
#   scripts/setup.sh windows   for the Windows cross-build, in addition
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
    libsdl2-dev libsndfile1-dev
    libcivetweb-dev libqrencode-dev chromium
    fonts-ipafont-gothic
    libx11-dev xvfb xauth xdotool openbox wmctrl x11-utils x11-xserver-utils imagemagick sox
    dbus-daemon dbus-bin at-spi2-core python3-pyatspi
    clang libclang-rt-14-dev clang-format
    dpkg-dev lintian desktop-file-utils appstream
)

install_missing() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The MinGW-w64 cross compilers (the posix-threads flavour, which Qt needs) and what the Windows libraries'
# builds use: Qt's configure runs with the host Qt's tools and Ninja; dpkg-source unpacks Debian's sources.
# Then what makes the packages (zip, nsis; python3 packs the icon) and what runs the suites and the end-to-end
# pass: Wine, with the X server, window manager and tools of the Linux end-to-end tests.
setup_windows() {
    install_missing g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
        mingw-w64-tools ninja-build dpkg-dev debian-archive-keyring \
        zip nsis python3 wine wine64
}

install_missing "${packages[@]}"
case "${1:-}" in
    "") ;;
    windows) setup_windows ;;
    *)
        echo "usage: $0 [windows]" >&2
        exit 2
        ;;
esac
