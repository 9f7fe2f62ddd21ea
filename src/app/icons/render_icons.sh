#!/usr/bin/env bash
# Renders the stopwatch icon to the PNG sizes the program embeds and the sizes installed for launchers. The PNGs
# are committed, so the build does not need this; run it after editing the drawings. Needs rsvg-convert (Debian
# package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
python3 pixel_icon_16.py
rsvg-convert --width 16 --height 16 --format png --output lectern-16.png lectern-16.svg
for size in 32; do
    rsvg-convert --width "$size" --height "$size" --format png --output "lectern-$size.png" lectern-small.svg
done
for size in 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png --output "lectern-$size.png" lectern.svg
done
