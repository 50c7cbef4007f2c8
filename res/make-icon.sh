#!/usr/bin/env bash
# Draws the program's icons (needs ImageMagick). The .ico files are kept in
# the repository; run this only to change them.
#
#   Teskaprs.ico      a sun behind a cloud on a sky, and a signal going out
#   TeskaprsWarn.ico  the same with a red warning disc and "!" in the corner
#                     (nothing delivered for a long time)
#
# Each holds images of 16, 20, 24, 32, 40, 48, 64 and 256 pixels, each drawn
# for its size: the small ones are simpler (no rays, one wave of the signal,
# whole pixels for the edges), the large ones have more detail.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sizes=(16 20 24 32 40 48 64 256)

# draw SIZE WARN OUT: one image. Coordinates are in a 32-unit square and
# scaled to the size.
draw() {
  local s=$1 warn=$2 out=$3
  local k; k=$(awk "BEGIN{print $s/32}")
  # p X: a coordinate scaled to the size.
  p() { awk "BEGIN{printf \"%.2f\", $1*$k}"; }
  local args=(-size "${s}x${s}" xc:none)
  # The sky: a rounded square with a darker edge (one pixel wide at every size
  # up to 48).
  local edge=1; [ "$s" -ge 64 ] && edge=$(p 1)
  args+=(-fill '#1E5AA8' -stroke '#0B2F66' -strokewidth "$edge"
         -draw "roundrectangle $(p 0.5),$(p 0.5) $(( s - 1 )).5,$(( s - 1 )).5 $(p 5),$(p 5)")
  # The sun.
  args+=(-stroke none -fill '#FFD21F' -draw "circle $(p 12),$(p 11) $(p 12),$(p 4)")
  if [ "$s" -ge 32 ]; then
    # Its rays, where the cloud leaves room for them.
    local ray; ray=$(awk "BEGIN{w=1.5*$k; print (w<1.5?1.5:w)}")
    args+=(-stroke '#FFD21F' -strokewidth "$ray")
    for a in 135 180 225 270 315; do
      args+=(-draw "line $(awk "BEGIN{printf \"%.2f,%.2f %.2f,%.2f\", (12+8.7*cos($a*3.14159/180))*$k, (11+8.7*sin($a*3.14159/180))*$k, (12+10.7*cos($a*3.14159/180))*$k, (11+10.7*sin($a*3.14159/180))*$k}")")
    done
  fi
  # The cloud.
  args+=(-stroke none -fill white
         -draw "circle $(p 12),$(p 21) $(p 12),$(p 16)" -draw "circle $(p 19),$(p 18) $(p 19),$(p 11)"
         -draw "circle $(p 25),$(p 22) $(p 25),$(p 18)" -draw "rectangle $(p 7),$(p 21) $(p 28),$(p 26.5)")
  if [ "$s" -ge 48 ]; then
    # A shade under the cloud.
    args+=(-fill '#C9D6E8' -draw "rectangle $(p 7),$(p 25) $(p 28),$(p 26.5)")
  fi
  # The signal: a dot in the corner and its waves (one wave for the small
  # sizes).
  local wave; wave=$(awk "BEGIN{w=2*$k; if (w<1.5) w=1.5; print w}")
  args+=(-stroke '#E8202E' -strokewidth "$wave" -fill none -draw "ellipse $(p 27),$(p 4) $(p 5.5),$(p 5.5) 95,175")
  [ "$s" -ge 32 ] && args+=(-draw "ellipse $(p 27),$(p 4) $(p 10),$(p 10) 100,170")
  args+=(-stroke none -fill '#E8202E' -draw "circle $(p 27),$(p 4) $(p 27),$(p 1.8)")
  if [ "$warn" = 1 ]; then
    # The warning: a red disc with a white rim and a white "!" in the
    # bottom right corner, a good half of the icon wide.
    local c=21.5 r=10
    args+=(-fill white -draw "circle $(p $c),$(p $c) $(p $c),$(p $(awk "BEGIN{print $c-$r-1}"))")
    args+=(-fill '#D0101C' -draw "circle $(p $c),$(p $c) $(p $c),$(p $(awk "BEGIN{print $c-$r}"))")
    local bar; bar=$(awk "BEGIN{b=1.6*$k*2; if (b<2) b=2; print b/2}")
    args+=(-fill white
           -draw "rectangle $(awk "BEGIN{printf \"%.2f\", $c*$k-$bar}"),$(p 15) $(awk "BEGIN{printf \"%.2f\", $c*$k+$bar}"),$(p 23.5)"
           -draw "rectangle $(awk "BEGIN{printf \"%.2f\", $c*$k-$bar}"),$(p 25.5) $(awk "BEGIN{printf \"%.2f\", $c*$k+$bar}"),$(p 28)")
  fi
  convert "${args[@]}" PNG32:"$out"
}

for warn in 0 1; do
  images=()
  for s in "${sizes[@]}"; do
    draw "$s" "$warn" "$work/$warn-$s.png"
    images+=("$work/$warn-$s.png")
  done
  name=Teskaprs.ico; [ "$warn" = 1 ] && name=TeskaprsWarn.ico
  convert "${images[@]}" "$name"
done
