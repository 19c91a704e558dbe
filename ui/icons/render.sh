#!/bin/sh
# Renders the committed PNGs from klingelwacht.svg with rsvg-convert (Debian: librsvg2-bin).
# Run it after changing the drawing and commit the PNGs with it.
set -eu
cd "$(dirname "$0")"
for size in 16 32; do
    rsvg-convert --width "$size" --height "$size" --format png klingelwacht.svg -o "klingelwacht-$size.png"
done
