#!/bin/bash
# deps.sh [run|test]: installs with apt-get what building and running (or testing) needs.
# Safe to re-run: packages already present are left alone and apt is not even asked.
set -eu
what=${1:-run}

run_pkgs=(cmake ninja-build g++ qt6-base-dev qt6-multimedia-dev libxkbcommon-dev
    libqt6multimedia6 qt6-qpa-plugins fonts-liberation fonts-dancingscript fonts-dejavu-core
    pulseaudio-utils gstreamer1.0-plugins-base libcups2-dev)
test_pkgs=(xvfb xdotool openbox wmctrl bc x11-utils imagemagick pulseaudio sox cups printer-driver-cups-pdf poppler-utils
    clang libclang-rt-14-dev clang-format desktop-file-utils appstream dpkg-dev file dbus-daemon dbus-bin at-spi2-core)

pkgs=("${run_pkgs[@]}")
[ "$what" = test ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
