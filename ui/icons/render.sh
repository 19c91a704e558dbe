#!/bin/sh
# Renders the committed PNGs from klingelwacht.svg with rsvg-convert (Debian: librsvg2-bin).
# Run it after changing the drawing and commit the PNGs with it. 16 and 32 are compiled into
# the program; every size is installed into the hicolor icon theme.
set -eu
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png klingelwacht.svg -o "klingelwacht-$size.png"
done
