#!/bin/bash
# deps.sh [run|test]: installs with apt-get what building and running (or testing) needs.
# Safe to re-run: packages already present are left alone and apt is not even asked.
set -eu
what=${1:-run}

run_pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev libxkbcommon-dev libcups2-dev libpulse-dev
    qt6-qpa-plugins qt6-translations-l10n fonts-liberation fonts-dancingscript fonts-dejavu-core
    pulseaudio-utils libqt6sql6-sqlite libsqlite3-dev qt6-websockets-dev libqrencode-dev libnats-dev)
# Installed with --no-install-recommends, so every tool a test calls is named here, even one that
# another package only recommends: xvfb-run needs xauth, the format check needs git.
test_pkgs=(xvfb xauth xdotool openbox wmctrl bc x11-utils imagemagick pulseaudio sox cups printer-driver-cups-pdf
    poppler-utils git clang libclang-rt-14-dev clang-format desktop-file-utils appstream dpkg-dev file lintian
    dbus-daemon dbus-bin at-spi2-core python3-pyatspi chromium nats-server openssl iproute2 python3 stress-ng
    caddy libnss3-tools curl systemd sqlite3 lld fiu-utils)

pkgs=("${run_pkgs[@]}")
[ "$what" = test ] && pkgs+=("${test_pkgs[@]}")

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${pkgs[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
    for p in "${missing[@]}"; do
        installed "$p" || { echo "deps.sh: $p is still not installed" >&2; exit 1; }
    done
fi
# axe-core, for the phones' accessibility tests, comes from the npm registry, checked (scripts/fetch-axe.sh).
if [ "$what" = test ]; then bash "$(dirname "$0")/fetch-axe.sh"; fi
