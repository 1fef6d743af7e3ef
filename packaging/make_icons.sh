#!/bin/bash
# make_icons.sh: renders packaging/tombola.svg into the PNG sizes the desktop needs, into
# packaging/icons/<size>/tombola.png. Run it after changing the SVG and commit the PNGs.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu
cd "$(dirname "$0")"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert missing: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 32 48 64 128 256; do
    mkdir -p "icons/$size"
    rsvg-convert -w "$size" -h "$size" tombola.svg -o "icons/$size/tombola.png"
    echo "icons/$size/tombola.png"
done
