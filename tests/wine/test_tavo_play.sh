#!/usr/bin/env bash
# The window to play in under Wine: buttons clicked with window messages, a game played to
# its end, the window captured with pixo.exe and read back by OCR, and what it shows
# compared with the record files. The capture is left in build/ for a person to look at.
source "$(dirname "$0")/lib.sh"
own_prefix

# Whether the window says a word, read back by OCR from a capture of its score line; the
# window is read up to five times, a second apart, as it may not have drawn the text yet.
window_says() {  # word
  local i
  for i in 1 2 3 4 5; do
    rm -f "$T/says.png" "$T/says.txt"
    (cd "$T" && timeout 60 wine "$WIN/pixo.exe" /Q "/T:Tavo" /N says.png)
    convert "$T/says.png" -crop "760x60+0+70" +repage -resize 200% -colorspace Gray -threshold 60% "$T/says-big.png"
    tesseract "$T/says-big.png" "$T/says" --psm 6 >/dev/null 2>&1
    grep -qi "$1" "$T/says.txt" && return 0
    sleep 1
  done
  echo "the window says: $(tr -s ' ' <"$T/says.txt" 2>/dev/null)"
  return 1
}
# Closes the window to play in; a window that does not close is ended.
close_window() {
  timeout 60 wine "$WIN/clicker.exe" Tavo close >/dev/null 2>&1 || pkill -9 -f tavoplay.exe
  sleep 0.5
}

dir="$T/Tavo"
mkdir -p "$dir"
cp "$WIN/Tavo.ocx" "$WIN/tavo.exe" "$WIN/tavoplay.exe" "$dir/"
(cd "$dir" && wine regsvr32 /s Tavo.ocx)
(cd "$dir" && TAVO_SEED=3 timeout 120 wine tavoplay.exe 60 >/dev/null 2>&1 &)
hands=(Rock Rock Paper Scissors Rock Paper Paper Scissors Rock Rock)
clicks=("New game" wait:500)
for h in "${hands[@]}"; do clicks+=("$h" wait:150); done
timeout 60 wine "$WIN/clicker.exe" Tavo "${clicks[@]}" wait:1000 2>&1 | tr -d '\r' >"$T/clicks"
check "the buttons were found and clicked" bash -c "[ \$(grep -c '^clicked' '$T/clicks') = 11 ]"
(cd "$T" && timeout 60 wine "$WIN/pixo.exe" /Q "/T:Tavo" /N play.png; echo $? >"$T/rc")
check "pixo captures the window by its title" rc_is 0
mkdir -p "$root/build"
cp "$T/play.png" "$root/build/tavoplay-$PIXO_ARCH.png" 2>/dev/null
close_window

# What the record files say.
kekka=$(tr -d '\r' <"$dir/kekka.txt")
total=$(echo "$kekka" | sed -nE 's/^total ([0-9]+):([0-9]+).*/\1 ?: ?\2/p')
check "the game reached its result table" test "$(echo "$kekka" | grep -cE '^[0-9]+ ')" = 10

# What the window shows: OCR of the capture, the left column (score, hands) and the right
# one (the result table) each on its own, enlarged and made black and white; spaces
# collapsed.
read -r w h < <(identify -format '%w %h' "$T/play.png")
convert "$T/play.png" -crop "395x${h}+0+0" +repage -resize 200% -colorspace Gray -threshold 60% "$T/left.png"
convert "$T/play.png" -crop "$((w - 395))x$((h - 140))+395+140" +repage -resize 200% -colorspace Gray -threshold 60% \
  "$T/right.png"
tesseract "$T/left.png" "$T/left" --psm 6 >/dev/null 2>&1
tesseract "$T/right.png" "$T/right" --psm 6 >/dev/null 2>&1
cat "$T/left.txt" "$T/right.txt" >"$T/ocr.txt"
ocr=$(tr -s ' ' <"$T/ocr.txt")
check "the window shows the final score of the record files ($total)" bash -c "grep -qE 'You $total Tavo' <<<'$ocr'"
rows_seen=0
while read -r row; do
  grep -qF "$row" <<<"$ocr" && rows_seen=$((rows_seen + 1))
done < <(echo "$kekka" | grep -E '^[0-9]+ ' | tr -s ' ')
echo "  rows of kekka.txt read back from the capture: $rows_seen of 10"
check "the window shows the result table of kekka.txt (at least 9 of its 10 rows read back)" test "$rows_seen" -ge 9
check "the window shows the hands played" bash -c "[ \$(grep -cE '^ ?[0-9]+ (rock|scissors|paper) (rock|scissors|paper) (won|lost|draw)' <<<'$ocr') -ge 9 ]"
check "the window shows what the engine expected" grep -qE 'Tavo (expected|played the last hand at random)' "$T/ocr.txt"

# --- an engine that hangs: six clicks on New game while a call waits do not queue up (six
#     waits of 10 s would keep the window busy for a minute), and the window says so
cp "$WIN/fakeengine.exe" "$dir/tavo.exe"
(cd "$dir" && FAKE_ENGINE_MODE=silent timeout 120 wine tavoplay.exe 90 >/dev/null 2>&1 &)
read -r x y < <(timeout 60 wine "$WIN/clicker.exe" Tavo "where:New game" | tr -d '\r' | sed -n 's/^at //p')
start=$(date +%s)
for _ in 1 2 3 4 5 6; do
  xdotool mousemove "$x" "$y" click 1
  sleep 0.3
done
sleep $((start + 25 - $(date +%s)))
check "a hung engine: after six clicks on New game the window answers again within 25 s" \
  timeout 30 wine "$WIN/clicker.exe" Tavo ping
check "a hung engine: the window says that the engine is not answering" window_says "not answering"
close_window

# --- no engine: the window says it is missing
rm -f "$dir/tavo.exe"
(cd "$dir" && timeout 120 wine tavoplay.exe 60 >/dev/null 2>&1 &)
timeout 60 wine "$WIN/clicker.exe" Tavo "New game" wait:500 >/dev/null 2>&1
check "no engine: the window says that the engine is missing" window_says "missing"
close_window
finish
