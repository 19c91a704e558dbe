#!/bin/sh
# Renders the committed PNGs from klingelwacht.svg and klingelwacht-down.svg (the icon while
# no call can arrive) with rsvg-convert (Debian: librsvg2-bin). Run it after changing a
# drawing and commit the PNGs with it. 16 and 32 are compiled into the program; every size
# of klingelwacht.svg is installed into the hicolor icon theme.
set -eu
cd "$(dirname "$0")"
for name in klingelwacht klingelwacht-down; do
    for size in 16 22 24 32 48 64 128 256; do
        rsvg-convert --width "$size" --height "$size" --format png "$name.svg" -o "$name-$size.png"
    done
done
