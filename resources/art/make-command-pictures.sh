#!/bin/sh
# Makes the program's own command pictures (16 x 16, used where the desktop's icon theme
# has none) in resources/icons; the program icon is made by make-icons.sh.
set -eu
out=$(cd "$(dirname "$0")/../icons" && pwd)
# Search: a magnifying glass.
convert -size 16x16 xc:none -stroke '#203040' -strokewidth 2.5 -draw "line 10,10 14,14" \
  -strokewidth 1.5 -fill '#c8e0ff' -draw "circle 6.5,6.5 6.5,2" -strip "PNG32:$out/Search.png"
# Stop: a red octagon with a white bar.
convert -size 16x16 xc:none -stroke '#801010' -strokewidth 1 -fill '#d82020' \
  -draw "polygon 5,1 11,1 15,5 15,11 11,15 5,15 1,11 1,5" \
  -stroke none -fill white -draw "rectangle 4,7 12,9" -strip "PNG32:$out/Stop.png"
# Refresh: a green circular arrow.
convert -size 16x16 xc:none -stroke '#207020' -strokewidth 2 -fill none \
  -draw "arc 2,2 14,14 30,320" -stroke none -fill '#207020' \
  -draw "polygon 15,1 15,8 8,8" -strip "PNG32:$out/Refresh.png"
# Back: a blue arrow pointing west.
convert -size 16x16 xc:none -stroke '#103070' -strokewidth 1 -fill '#3070d0' \
  -draw "polygon 1,8 8,1 8,5 15,5 15,11 8,11 8,15" -strip "PNG32:$out/Back.png"
# Pan: an open hand.
convert -size 16x16 xc:none -stroke black -strokewidth 1 -fill white \
  -draw "roundrectangle 3.5,4.5 5.5,10.5 1,1" -draw "roundrectangle 5.5,2.5 7.5,9.5 1,1" \
  -draw "roundrectangle 7.5,2.5 9.5,9.5 1,1" -draw "roundrectangle 9.5,3.5 11.5,10.5 1,1" \
  -draw "roundrectangle 3.5,8 12.5,14.5 3,3" -stroke none -draw "rectangle 4,8 12,10" \
  -strip "PNG32:$out/Pan.png"
# Zoom box: a magnifying glass with a plus over a dashed box.
convert -size 16x16 xc:none -stroke '#a000a0' -strokewidth 1 -fill none \
  -draw "stroke-dasharray 2 2 rectangle 0.5,0.5 15.5,15.5" \
  -stroke '#203040' -strokewidth 2 -draw "line 9,9 13,13" -strokewidth 1.2 -fill white \
  -draw "circle 6.5,6.5 6.5,2.5" -strokewidth 1 -draw "line 4.5,6.5 8.5,6.5" \
  -draw "line 6.5,4.5 6.5,8.5" -strip "PNG32:$out/ZoomBox.png"
# Select: a dashed rectangle in the selection's colours.
convert -size 16x16 xc:none +antialias -stroke black -strokewidth 1 -fill none \
  -draw "rectangle 1,3 14,12" -stroke '#00ffff' -draw "stroke-dasharray 2 2 rectangle 1,3 14,12" \
  -strip "PNG32:$out/Select.png"
# Forward: the Back arrow pointing east.
convert -size 16x16 xc:none -stroke '#103070' -strokewidth 1 -fill '#3070d0' \
  -draw "polygon 15,8 8,1 8,5 1,5 1,11 8,11 8,15" -strip "PNG32:$out/Forward.png"
# Measure: a yellow ruler with marks, lying on the diagonal.
convert -size 16x16 xc:none -stroke '#604000' -strokewidth 1 -fill '#f0d040' \
  -draw "polygon 1,11 11,1 15,5 5,15" -stroke '#604000' \
  -draw "line 4,8 6,10" -draw "line 7,5 9,7" -draw "line 10,2 12,4" \
  -strip "PNG32:$out/Measure.png"
