#!/usr/bin/env bash
# Installs whatever the build, the program and the test suite need and is not there yet (Debian 12).
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

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
