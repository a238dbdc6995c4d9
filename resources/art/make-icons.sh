#!/bin/sh
# Renders the program icon (resources/icon/quorvil.svg) to the PNG sizes that are
# installed and embedded, and the About box pictures (resources/about/*.svg) at their own
# sizes. Needs g++ and Qt 6 with its SVG image plugin; run from anywhere, commit the PNGs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++20 -fPIC "$here/RenderSvg.cpp" -o "$work/render" $(pkg-config --cflags --libs Qt6Gui)
export QT_QPA_PLATFORM=offscreen
for size in 16 32 48 256; do
  "$work/render" "$here/../icon/quorvil.svg" "$here/../icon/quorvil-$size.png" $size $size
done
for svg in "$here"/../about/*.svg; do
  size=$(sed -n 's/.*<svg[^>]* width="\([0-9]*\)" height="\([0-9]*\)".*/\1 \2/p' "$svg" | head -1)
  "$work/render" "$svg" "${svg%.svg}.png" $size
done
