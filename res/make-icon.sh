#!/usr/bin/env bash
# Draws the program's icon, res/Teskaprs.ico: one 32x32 image of 256 colours
# (a sun behind a cloud on a sky, and a signal going out). The .ico is kept in
# the repository; run this only to change it (needs ImageMagick).
set -euo pipefail
cd "$(dirname "$0")"
convert -size 32x32 xc:none \
  -fill '#1E5AA8' -stroke '#0B2F66' -strokewidth 1 -draw 'roundrectangle 0,0 31,31 5,5' \
  -stroke none -fill '#FFD21F' -draw 'circle 12,11 12,4' \
  -stroke '#FFD21F' -strokewidth 2 \
  -draw 'line 12,1 12,2' -draw 'line 2,11 3,11' -draw 'line 5,4 6,5' -draw 'line 19,4 18,5' -draw 'line 5,18 6,17' \
  -stroke none -fill white \
  -draw 'circle 12,21 12,16' -draw 'circle 19,18 19,11' -draw 'circle 25,22 25,18' \
  -draw 'rectangle 7,21 28,26' \
  -stroke '#E8202E' -strokewidth 2 -fill none \
  -draw 'arc 20,-2 30,8 90,180' -draw 'arc 16,-6 34,12 95,175' \
  -stroke none -fill '#E8202E' -draw 'circle 28,3 28,1' \
  -colors 256 -type Palette -depth 8 \
  BMP3:Teskaprs.bmp
convert Teskaprs.bmp -colors 256 Teskaprs.ico
rm -f Teskaprs.bmp
