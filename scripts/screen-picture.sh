#!/usr/bin/env bash
# Draws a screen-like picture (windows with title bars, lines of text, a gradient panel)
# of the given size into a 24-bit BMP, for the benchmarks' screens.
set -euo pipefail
w=$1 h=$2 out=$3
draw=()
for ((y = 0; y < h; y += 540)); do
  draw+=(-fill '#2d5aa0' -draw "rectangle 0,$y $((w * 3 / 4)),$((y + 30))")
  draw+=(-fill white -annotate "+12+$((y + 21))" "Document $((y / 540 + 1)) - Editor")
  for ((ty = y + 52; ty < y + 520 && ty < h; ty += 18)); do
    draw+=(-fill '#202020' -annotate "+16+$ty" \
      "Line $ty: the quick brown fox jumps over the lazy dog, 0123456789 (screen $w x $h) ;-) and so on, $((ty * 7 % 1000)) items")
  done
done
convert -size "${w}x${h}" xc:'#f4f4f4' -font DejaVu-Sans -pointsize 13 "${draw[@]}" \
  \( -size "$((w / 4))x$h" gradient:'#d06020-#2080c0' \) -geometry "+$((w * 3 / 4))+0" -composite \
  -type TrueColor BMP3:"$out"
