#!/usr/bin/env bash
# The main job: starts the virtual display and Wine, puts a picture on the screen,
# captures it with pixo.exe into out/, then registers Tavo.ocx and plays a game through
# it from a host, showing the events and the record files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/out
mkdir -p "$out"
# The 32-bit build where this machine runs 32-bit programs, else the 64-bit one.
source "$root/scripts/wine-env.sh" || exit 1
WIN=$PIXO_WIN
case $PIXO_ARCH in
  x86) echo "== showing the 32-bit (x86) build (the files of dist/)" ;;
  x64) echo "== showing the 64-bit (x64) build (the files of dist/x64/)${PIXO_ARCH_WHY:+, $PIXO_ARCH_WHY}" ;;
esac

echo "== a picture on the virtual screen (display :77, 1024x768)"
/usr/bin/convert -size 1024x768 gradient:'#1e3c72'-'#2a5298' \
  -fill white -pointsize 72 -gravity center -annotate +0-120 'pixo demo' \
  -fill '#ffcc00' -draw 'circle 512,520 512,440' -fill '#e74c3c' -draw 'rectangle 120,600 360,700' \
  -depth 8 BMP3:"$out/picture.bmp"
timeout 300 wine "$WIN/showpic.exe" "$(winepath -w "$out/picture.bmp")" "$(winepath -w "$out/.shown")" 20 >/dev/null 2>&1 &
shown=$!
for _ in $(seq 1 100); do [ -e "$out/.shown" ] && break; sleep 0.1; done
rm -f "$out/.shown"

echo "== pixo.exe captures the screen"
cd "$out"
for args in "screen.bmp" "/J screen.jpg" "/JQ90 /J screen-q90.jpg" "/N screen.png" "/GF screen.gif"; do
  # shellcheck disable=SC2086
  timeout 60 wine "$WIN/pixo.exe" $args
  echo "   pixo $args -> exit code $?"
done
kill "$shown" 2>/dev/null || true
wait "$shown" 2>/dev/null || true
for f in screen.bmp screen.jpg screen-q90.jpg screen.png screen.gif; do
  echo "   $(identify "$out/$f" 2>/dev/null | cut -d' ' -f1-3)"
done

echo "== Tavo.ocx: register it and play a game through it"
mkdir -p "$out/tavo"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$out/tavo/"
(cd "$out/tavo" && wine regsvr32 /s Tavo.ocx && echo "   regsvr32 Tavo.ocx -> exit code 0")
(cd "$out/tavo" && timeout 120 wine "$WIN/tavodemo.exe" | tr -d '\r' | sed 's/^/   /')

echo "== the window to play in: a game clicked through, then captured by pixo.exe"
cp "$WIN/tavoplay.exe" "$out/tavo/"
(cd "$out/tavo" && timeout 120 wine tavoplay.exe 30 >/dev/null 2>&1 &)
timeout 60 wine "$WIN/clicker.exe" Tavo "New game" wait:500 Rock wait:150 Paper wait:150 Paper wait:150 \
  Scissors wait:150 Rock wait:150 Rock wait:150 Scissors wait:150 Paper wait:150 Rock wait:150 Scissors wait:1000 \
  >/dev/null 2>&1
(cd "$out" && timeout 60 wine "$WIN/pixo.exe" /Q "/T:Tavo" /N tavoplay.png && echo "   pixo /T:Tavo /N tavoplay.png -> exit code 0")
timeout 30 wine "$WIN/clicker.exe" Tavo >/dev/null 2>&1 || true
echo
echo "The captures are in $out (screen.bmp, screen.jpg, screen.png, screen.gif, and tavoplay.png, the"
echo "window to play in); the games' log.txt, summary.txt and kekka.txt are in $out/tavo."
