#!/usr/bin/env bash
# pixo.exe end to end: whole-screen and window captures, BMP and JPEG output, the
# switches, the error box and the cursor movement.
source "$(dirname "$0")/lib.sh"
cd "$T"

$IM -size 1024x768 gradient:red-blue -fill yellow -draw "rectangle 100,100 300,200" \
  -fill '#123456' -draw "rectangle 0,700 1023,767" -depth 8 PNG24:screen.png
show_image screen.png :77

# --- whole screen, BMP at 32 bits per pixel
wrun "$WIN/pixo.exe" full.bmp; echo $? >rc
check "whole screen: exit code 0" rc_is 0
check "whole screen: pixels equal the screen" same_pixels full.bmp screen.png
python3 "$root/tests/wine/bmpinfo.py" full.bmp >full.info
check "BMP header of a 1024x768 32-bit capture" grep -qxF -f <(printf '%s\n' bfSize=3145782 bfOffBits=54 \
  biBitCount=32 biSizeImage=3145728 biWidth=1024 biHeight=768 biPlanes=1 biCompression=0 biClrUsed=0 \
  fileLength=3145782 bfReserved1=0) full.info
check "BMP header has all expected fields" test "$(grep -cxF -f <(printf '%s\n' bfSize=3145782 bfOffBits=54 \
  biBitCount=32 biSizeImage=3145728 biWidth=1024 biHeight=768 biPlanes=1 biCompression=0 biClrUsed=0 \
  fileLength=3145782 bfReserved1=0) full.info)" = 11

# --- a 16-bit screen
$IM -size 800x600 gradient:green-white -depth 8 PNG24:screen16.png
show_image screen16.png :78
on_screen 78 wrun "$WIN/pixo.exe" s16.bmp
python3 "$root/tests/wine/bmpinfo.py" s16.bmp >s16.info
check "16-bit screen: BMP of 16 bits per pixel" grep -qx biBitCount=16 s16.info
check "16-bit screen: 800x600, stride 1600" grep -qx bfSize=$((14 + 40 + 1600 * 600)) s16.info
check "16-bit screen: pixels within 5-bit steps" bash -c "[ \$(compare -metric AE -fuzz 4% s16.bmp screen16.png null: 2>&1) = 0 ]"

# --- a 256-colour palette screen, painted by a Windows program with system colours
on_screen 79 wrun "$WIN/patternwin.exe" q8.txt 3 quadrants &
pw=$!
for _ in $(seq 1 50); do [ -s q8.txt ] && break; sleep 0.1; done
on_screen 79 wrun "$WIN/pixo.exe" s8.bmp
on_screen 79 wrun "$WIN/pixo.exe" /J s8.jpg
wait $pw
python3 "$root/tests/wine/bmpinfo.py" s8.bmp >s8.info
check "palette screen: 8 bits with a 256-entry table" grep -qxF -f <(printf '%s\n' biBitCount=8 bfOffBits=1078 biClrUsed=256) s8.info
check "palette screen: three header fields" test "$(grep -cxF -f <(printf '%s\n' biBitCount=8 bfOffBits=1078 biClrUsed=256) s8.info)" = 3
quadrants() {  # file: the colours at the centres of the four quarters
  $IM "$1" -format '%[pixel:p{160,120}] %[pixel:p{480,120}] %[pixel:p{160,360}] %[pixel:p{480,360}]' info:
}
check "palette screen: the quarters' colours" test "$(quadrants s8.bmp)" = "srgb(255,0,0) srgb(0,255,0) srgb(0,0,255) srgb(255,255,255)"
check "palette screen: JPEG made through 24 bits has the colours" bash -c "$IM s8.jpg -format '%[fx:p{160,120}.r>0.9 && p{160,120}.g<0.1 && p{480,360}.b>0.9]' info: | grep -qx 1"

# --- JPEG (showing a picture on one display can clear another's: show it again)
show_image screen.png :77
wrun "$WIN/pixo.exe" /J q70.jpg
wrun "$WIN/pixo.exe" /jq50 /j q50.jpg
wrun "$WIN/pixo.exe" /J /JQ100 q100.jpg
check "JPEG: default quality 70" test "$(identify -format %Q q70.jpg)" = 70
check "JPEG: lower-case /jq50 gives quality 50" test "$(identify -format %Q q50.jpg)" = 50
check "JPEG: /JQ100 gives quality 100" test "$(identify -format %Q q100.jpg)" = 100
check "JPEG: djpeg decodes it" bash -c "djpeg -bmp q70.jpg >q70.bmp && identify q70.bmp | grep -q 1024x768"
check "JPEG: close to the screen" bash -c "compare -metric PSNR q70.jpg screen.png null: 2>&1 | tee /dev/stderr | awk '{exit !(\$1 > 30)}'"
python3 "$root/tests/wine/jpegmarkers.py" q50.jpg >m50
python3 "$root/tests/wine/jpegmarkers.py" q100.jpg >m100
check "JPEG: JFIF marker, density unit 0, 1x1" grep -q '^E0 len=16 4a46494600010100000100010000' m50
check "JPEG: q50 and q100 differ only in tables and data" diff m50 m100
check "JPEG: baseline frame with 2x2 luminance sampling" grep -q '^C0 len=17 0803000400030122' m50
# The library's own defaults at the same quality, on the pixels of the screen, give the
# same file to the byte.
$IM screen.png -depth 8 ppm:screen.ppm
check "JPEG: the same bytes as cjpeg -quality 70 on the screen's pixels" bash -c "cjpeg -quality 70 screen.ppm | cmp - q70.jpg"
check "JPEG: q100 the same bytes as cjpeg -quality 100" bash -c "cjpeg -quality 100 screen.ppm | cmp - q100.jpg"
check "JPEG: a 32-bit capture compresses to what its 24-bit copy gives" wrun "$WIN/jpegsame.exe"

# --- switches
wrun "$WIN/pixo.exe" /JQ50 ext.jpg
check "/JQ50 without /J writes BMP data" bash -c "head -c 2 ext.jpg | grep -q BM"
wrun "$WIN/pixo.exe" /JQ75 second.bmp
check "/JQ75 is a name that a later name replaces" bash -c "[ ! -e /JQ75 ] && [ ! -e JQ75 ] && head -c 2 second.bmp | grep -q BM"
wrun "$WIN/pixo.exe" one.bmp Two.bmp
check "two names: only the second is written" bash -c "[ ! -e one.bmp ] && [ -s Two.bmp ]"
wrun "$WIN/pixo.exe" /J /N both.out
check "/J and /N: JPEG wins" bash -c "identify both.out | grep -q JPEG"
wrun "$WIN/pixo.exe" /N /GF png.out
check "/N and /GF: PNG wins" bash -c "identify png.out | grep -q PNG"
wrun "$WIN/pixo.exe" "name with blanks.bmp"
check "quoted name with blanks" file_nonempty "name with blanks.bmp"
before=$(ls | wc -l)
wrun "$WIN/pixo.exe"; echo $? >rc
check "no arguments: exit 0" rc_is 0
wrun "$WIN/pixo.exe" /A /J; echo $? >rc
check "only switches: exit 0" rc_is 0
check "no arguments and only switches write nothing" test "$(ls | wc -l)" = "$before"

# --- the error box (JPEG and PNG are written while the screen is read: the same box)
for out in "- out.bmp" "/J out.jpg" "/N out.png" "/GF out.gif"; do
  sw=${out% *} name=${out#* } args=()
  [ "$sw" != - ] && args=("$sw")
  run_expecting_box "${args[@]}" "missing folder\\$name"
  check "unwritable $name: exit code 1" rc_is 1
  check "unwritable $name: box title" bash -c "sed -n 1p box.txt | grep -qxF 'ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ'"
  check "unwritable $name: box text" bash -c "sed -n 2p box.txt | grep -qE '^EFCreateErrorがﾓｼﾞｭｰﾙ pixo\.exe の [0-9A-F]{8} で発生しました。\$'"
  check "unwritable $name: message line" bash -c "sed -n 3p box.txt | grep -qxF 'ﾌｧｲﾙ missing folder\\$name を作成できません.'"
  check "unwritable $name: no file touched" file_missing "missing folder"
done

long=$(printf 'x%.0s' $(seq 1 300)).bmp
run_expecting_box "$long"
check "over-long name: exit code 1 with the file error" bash -c "[ \$(cat rc) = 1 ] && grep -q EFCreateError box.txt"
check "over-long name: nothing written" bash -c "! ls | grep -q xxxxxxxxxx"

# --- /S moves the cursor onto the diagonal and waits 3 seconds
start=$(date +%s.%N)
wrun "$WIN/pixo.exe" /S jiggle.bmp
end=$(date +%s.%N)
read -r cx cy < <(wrun "$WIN/cursorpos.exe" | tr -d '\r')
xpos=$(xdotool getmouselocation --shell | grep -E '^[XY]=' | tr '\n' ' ')
check "/S waits at least 3 seconds" python3 -c "import sys; sys.exit(0 if $end - $start >= 3.0 else 1)"
check "/S leaves the cursor on the diagonal below 600" bash -c "[ '$cx' = '$cy' ] && [ '$cx' -lt 600 ]"
check "/S: the X pointer is there too" test "$xpos" = "X=$cx Y=$cy "

# --- /A: the foreground window
wrun "$WIN/patternwin.exe" rect.txt 2 &
pw=$!
for _ in $(seq 1 50); do [ -s rect.txt ] && break; sleep 0.1; done
wrun "$WIN/pixo.exe" /A win.bmp
wrun "$WIN/pixo.exe" "UpperLower.BMP" /A
read -r l t r b < <(tr -d '\r' <rect.txt)
check "a name before /A is written and keeps its case" bash -c "ls | grep -qx UpperLower.BMP"
check "/A: the capture has the window's size" test "$(identify -format %wx%h win.bmp)" = "$((r - l))x$((b - t))"
check "/A: the window's red client area is captured" bash -c "$IM win.bmp -format '%[pixel:p{$(((r - l) / 2)),$(((b - t) / 2))}]' info: | grep -qE 'red|rgb\(255,0,0\)|srgb\(255,0,0\)'"
wait $pw
rm -f rect.txt
wrun "$WIN/patternwin.exe" rect.txt 2 minimised &
pw=$!
for _ in $(seq 1 50); do [ -s rect.txt ] && break; sleep 0.1; done
wrun "$WIN/pixo.exe" /A min.bmp
wait $pw
read -r l t r b < <(tr -d '\r' <rect.txt)
check "/A with a minimised foreground window: the next window is captured" test "$(identify -format %wx%h min.bmp)" = "$((r - l))x$((b - t))"

# A foreground window wholly off the primary screen: nothing is captured.
rm -f rect.txt
wrun "$WIN/patternwin.exe" rect.txt 2 offscreen &
pw=$!
for _ in $(seq 1 50); do [ -s rect.txt ] && break; sleep 0.1; done
wrun "$WIN/pixo.exe" /A off.bmp; echo $? >rc
wait $pw
read -r l t r b < <(tr -d '\r' <rect.txt)
check "an off-screen window really is off the screen" test "$l" -ge 1024
check "/A on a window off the screen: exit code 0" rc_is 0
check "/A on a window off the screen: no file" file_missing off.bmp

# A foreground window that closes or shrinks while it is read (the capture code linked
# in; the window is sent away once so many bands of 64 rows have landed): the rows read
# after it are what the screen shows there, never black. And at a moment with no
# foreground window at all, /A takes the topmost shown window.
hide_image :77  # no other window to take the foreground when the red one goes
vanish() {  # mode bands: the capture's rows and black rows
  wrun "$WIN/vanishhost.exe" "$1" "$2" | tr -d '\r' >vanish.txt
  grep -qx 'rows 768, black rows 0' vanish.txt || { cat vanish.txt; return 1; }
}
for run in "close 1" "close 4" "close 11" "shrink 1" "shrink 6"; do
  check "/A on a window that does '$run' bands into the reading: no black row" vanish $run
done
check "/A with no foreground window: the topmost shown window, whole" eval \
  'vanish gone 0 && grep -qx "foreground window: none" vanish.txt || { cat vanish.txt; false; }'

finish
