#!/bin/sh
# Makes the three 32 x 32 cursor pictures in resources/cursors. Hot spots: the hand at
# (16, 16), the zoom box at the lens centre (12, 12), the cross-hair at (15, 15).
set -eu
out=$(cd "$(dirname "$0")/../cursors" && pwd)
# An open hand: palm, four fingers and a thumb, white with a black edge.
convert -size 32x32 xc:none -stroke black -strokewidth 1 -fill white \
  -draw "roundrectangle 7.5,7.5 11.5,19.5 2,2" -draw "roundrectangle 11.5,4.5 15.5,18.5 2,2" \
  -draw "roundrectangle 15.5,4.5 19.5,18.5 2,2" -draw "roundrectangle 19.5,6.5 23.5,19.5 2,2" \
  -draw "polygon 3,16 6,14 9,19 9,17" \
  -draw "roundrectangle 8,15 23,27 5,5" \
  -stroke none -draw "rectangle 9,15 22,19" -draw "polygon 4,16 6,15 10,21 9,23" \
  -stroke black -strokewidth 1 -draw "line 12,14 12,17" -draw "line 16,14 16,17" \
  -draw "line 20,14 20,17" -strip "PNG32:$out/Hand.png"
# A magnifying glass with a plus in its lens.
convert -size 32x32 xc:none \
  -stroke black -strokewidth 5 -draw "line 18,18 28,28" \
  -stroke white -strokewidth 3 -draw "line 18,18 27,27" \
  -stroke black -strokewidth 3.2 -fill 'rgba(255,255,255,0.85)' -draw "circle 12,12 12,3" \
  -stroke white -strokewidth 1.2 -fill none -draw "circle 12,12 12,3.2" \
  -stroke black -strokewidth 2 -draw "line 8,12 16,12" -draw "line 12,8 12,16" \
  -strip "PNG32:$out/ZoomBox.png"
# A cross-hair with an open centre, black on a white edge.
convert -size 32x32 xc:none +antialias -stroke white -strokewidth 3 \
  -draw "line 15.5,1 15.5,11" -draw "line 15.5,20 15.5,30" -draw "line 1,15.5 11,15.5" -draw "line 20,15.5 30,15.5" \
  -stroke black -strokewidth 1 \
  -draw "line 15.5,1 15.5,11" -draw "line 15.5,20 15.5,30" -draw "line 1,15.5 11,15.5" -draw "line 20,15.5 30,15.5" \
  -draw "point 15,15" -strip "PNG32:$out/Select.png"
