#!/bin/sh
# Makes resources/splash/SplashScreen.jpg: the landscape of SplashTerrain.cpp with the
# program's name over it. Needs g++ and ImageMagick; run from anywhere, commit the JPEG.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++20 "$here/SplashTerrain.cpp" -o "$work/terrain"
"$work/terrain" > "$work/terrain.ppm"
convert "$work/terrain.ppm" \
  \( -size 600x400 xc:none -font DejaVu-Serif-Bold -pointsize 104 -gravity center \
     -fill 'rgba(0,0,0,0.85)' -annotate +3-17 'Quorvil' -blur 0x7 \) -composite \
  \( -size 600x400 xc:none -font DejaVu-Serif-Bold -pointsize 104 -gravity center \
     -fill '#fbf6e8' -stroke 'rgba(40,30,10,0.6)' -strokewidth 1 -annotate +0-22 'Quorvil' \) -composite \
  \( -size 600x400 xc:none -font DejaVu-Sans -pointsize 19 -gravity center \
     -fill 'rgba(0,0,0,0.9)' -annotate +1+50 'Aerial photographs and topographic maps' -blur 0x3 \) -composite \
  \( -size 600x400 xc:none -font DejaVu-Sans -pointsize 19 -gravity center \
     -fill '#e8efe0' -annotate +0+49 'Aerial photographs and topographic maps' \) -composite \
  -sampling-factor 4:2:0 -quality 88 -strip "$here/../splash/SplashScreen.jpg"
