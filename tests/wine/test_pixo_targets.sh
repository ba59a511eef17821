#!/usr/bin/env bash
# pixo.exe for scripts: rectangles, windows by title, standard output, the clipboard, the
# cursor, quiet failures with their exit codes, and two monitors (Xephyr with Xinerama).
source "$(dirname "$0")/lib.sh"
cd "$T"

$IM -size 1024x768 gradient:yellow-navy -fill '#20c040' -draw "rectangle 100,100 400,300" \
  -fill '#c02040' -draw "circle 700,500 760,560" -depth 8 PNG24:screen.png
show_image screen.png :77

# Runs pixo quietly with a short limit: a box would keep it waiting past the limit.
quiet_run() {  # args...: exit code in rc, standard error in err.txt
  timeout 30 wine "$WIN/pixo.exe" "$@" 2>err.raw </dev/null
  echo $? >rc
  tr -d '\r' <err.raw >err.txt
}
err_has() { grep -qxF "$1" err.txt || { echo "stderr:"; cat err.txt; return 1; }; }

# --- /R: a rectangle of the virtual screen
wrun "$WIN/pixo.exe" /N /R:100,50,200,120 r1.png
$IM screen.png -crop 200x120+100+50 +repage r1-expected.png
check "/R inside the screen: exact pixels" same_pixels r1.png r1-expected.png
wrun "$WIN/pixo.exe" /N /R:-10,-20,100,100 r2.png
$IM screen.png -crop 90x80+0+0 +repage r2-expected.png
check "/R partly off the screen: clipped to it" same_pixels r2.png r2-expected.png
run_expecting_box /R:2000,2000,10,10 off.bmp
check "/R wholly off the screen: the box, exit code 1" bash -c "[ \$(cat rc) = 1 ] && \
  sed -n 2p box.txt | grep -q '^ETargetErrorがﾓｼﾞｭｰﾙ pixo.exe の' && sed -n 3p box.txt | grep -qxF '取り込む範囲が画面の外にあります.'"
check "/R wholly off the screen: no file" file_missing off.bmp
quiet_run /Q /R:2000,2000,10,10 off.bmp
check "/Q /R wholly off the screen: exit code 2 and the message on standard error" bash -c \
  "[ \$(cat rc) = 2 ] && grep -q '^ETargetErrorがﾓｼﾞｭｰﾙ pixo.exe の [0-9A-F]\{8\} で発生しました。\$' err.txt && grep -qxF '取り込む範囲が画面の外にあります.' err.txt"
for value in 1,2,3 1,2,-3,4 a,b,c,d; do
  run_expecting_box "/R:$value" bad.bmp
  check "/R:$value: the box names the switch, exit code 1" bash -c "[ \$(cat rc) = 1 ] && \
    sed -n 2p box.txt | grep -q '^EInvalidArgumentがﾓｼﾞｭｰﾙ' && sed -n 3p box.txt | grep -qxF 'ｽｲｯﾁ /R:$value の値が正しくありません.'"
  quiet_run /Q "/R:$value" bad.bmp
  check "/Q /R:$value: exit code 4, the message on standard error" bash -c "[ \$(cat rc) = 4 ] && grep -qxF 'ｽｲｯﾁ /R:$value の値が正しくありません.' err.txt"
  check "/R:$value: nothing written" file_missing bad.bmp
done

# --- "-": the image on standard output, nothing else there
for f in bmp:: jpg:/J png:/N gif:/GF; do
  ext=${f%%:*} switch=${f#*:}
  switch=${switch#:}
  timeout 60 wine "$WIN/pixo.exe" $switch - >"stdout.$ext" 2>/dev/null </dev/null
  echo $? >rc
  wrun "$WIN/pixo.exe" $switch "file.$ext"
  check "- as $ext: exit code 0" rc_is 0
  check "- as $ext: the same bytes as the file" cmp "stdout.$ext" "file.$ext"
done
check "- as BMP: decodes to the screen's pixels" same_pixels stdout.bmp screen.png
check "- as PNG: decodes to the screen's pixels" bash -c "pngcheck -q stdout.png && [ \$(compare -metric AE stdout.png screen.png null: 2>&1) = 0 ]"
check "- as JPEG: djpeg decodes it, close to the screen" bash -c \
  "djpeg -bmp stdout.jpg >stdout-jpg.bmp && [ \$(compare -metric AE -fuzz 12% stdout-jpg.bmp screen.png null: 2>&1) -lt 5000 ]"
check "- as GIF: giflib decodes it" bash -c "giftext stdout.gif >/dev/null && [ \$(identify -format %wx%h stdout.gif) = 1024x768 ]"

# --- /Q: no box, the text on standard error, the exit code of the failure's class
quiet_run /Q "missing folder\\out.bmp"
check "/Q unwritable file: exit code 1, no box" rc_is 1
check "/Q unwritable file: the box's text on standard error" bash -c \
  "grep -q '^EFCreateErrorがﾓｼﾞｭｰﾙ pixo.exe の' err.txt && grep -qxF 'ﾌｧｲﾙ missing folder\\out.bmp を作成できません.' err.txt"
remove_printers_78
on_screen 78 quiet_run /Q /P noprinter.bmp
unset CUPS_SERVER
check "/Q without a printer: exit code 3, the message on standard error" bash -c \
  "[ \$(cat rc) = 3 ] && grep -qxF 'ﾃﾞﾌｫﾙﾄ ﾌﾟﾘﾝﾀが存在しません.' err.txt"
quiet_run /Q /T:no-such-window-anywhere x.bmp
check "/Q with no such window: exit code 2, the message on standard error" bash -c \
  "[ \$(cat rc) = 2 ] && grep -qxF 'ｳｨﾝﾄﾞｳ no-such-window-anywhere が見つかりません.' err.txt"
quiet_run /Q /M:7 x.bmp
check "/Q with no such monitor: exit code 2" bash -c "[ \$(cat rc) = 2 ] && grep -qxF 'ﾓﾆﾀ 7 は存在しません.' err.txt"
quiet_run /Q ok.bmp
check "/Q on success: exit code 0, nothing on standard error, the file" bash -c "[ \$(cat rc) = 0 ] && [ ! -s err.txt ] && [ -s ok.bmp ]"

# --- /CB: the capture on the clipboard as a DIB
wrun "$WIN/pixo.exe" /CB /N cb.png
check "/CB: the clipboard holds a DIB" wrun "$WIN/clipread.exe" clip.bmp
check "/CB: the clipboard's picture is the capture" same_pixels clip.bmp screen.png
check "/CB: the file is written too" same_pixels cb.png screen.png
# With the clipboard held by another program (a clipboard manager, say), the file is still
# written, and then the clipboard's failure is reported.
rm -f held.ready
wine "$WIN/clipread.exe" hold 10 held.ready >/dev/null 2>&1 &
holder=$!
for _ in $(seq 1 100); do [ -e held.ready ] && break; sleep 0.1; done
quiet_run /Q /CB /N held.png
check "/CB with the clipboard held: exit code 1 and the clipboard's message" bash -c \
  "[ \$(cat rc) = 1 ] && grep -qxF 'ｸﾘｯﾌﾟﾎﾞｰﾄﾞに書き込めません.' err.txt"
check "/CB with the clipboard held: the file is written all the same" same_pixels held.png screen.png
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null

# --- /C: the cursor drawn where it is, and only with /C. The picture is shown by an
#     ordinary window that is the foreground one and has the arrow cursor: Wine reports
#     the foreground thread's cursor as the screen's.
hide_image :77
$IM screen.png -type TrueColor BMP3:screen.bmp
wrun "$WIN/showpic.exe" screen.bmp cursor.ready 30 0 0 "cursor test" &
cursor_pid=$!
for _ in $(seq 1 100); do [ -e cursor.ready ] && break; sleep 0.1; done
xdotool mousemove --screen 0 310 210
sleep 0.3
xdotool mousemove --screen 0 300 200
sleep 0.5
wrun "$WIN/pixo.exe" /N nocursor.png
wrun "$WIN/pixo.exe" /N /C cursor.png
check "without /C the capture has no cursor" same_pixels nocursor.png screen.png
box=$($IM cursor.png screen.png -compose difference -composite -threshold 0 -format '%@' info: 2>/dev/null)
check "/C: the cursor's pixels are at the cursor, within 32x32 of its hotspot ($box)" bash -c "
  [[ '$box' =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] && w=\${BASH_REMATCH[1]} h=\${BASH_REMATCH[2]} x=\${BASH_REMATCH[3]} y=\${BASH_REMATCH[4]} &&
  [ \$w -lt 33 ] && [ \$h -lt 33 ] && [ \$x -ge 290 ] && [ \$y -ge 190 ] && [ \$((x + w)) -le 332 ] && [ \$((y + h)) -le 232 ]"
wrun "$WIN/pixo.exe" /N /C /R:500,400,100,100 away.png
$IM screen.png -crop 100x100+500+400 +repage away-expected.png
check "/C with the cursor outside the captured area: no cursor" same_pixels away.png away-expected.png
kill $cursor_pid 2>/dev/null
pkill -f "showpic.exe screen.bmp" 2>/dev/null
wait $cursor_pid 2>/dev/null

# --- /T: the topmost window whose title contains the text
hide_image :77
$IM -size 300x200 gradient:orange-purple PNG24:a.png
$IM -size 300x200 plasma:fractal -seed 7 -depth 8 PNG24:b.png 2>/dev/null || $IM -size 300x200 gradient:cyan-black PNG24:b.png
$IM a.png -type TrueColor BMP3:a.bmp
$IM b.png -type TrueColor BMP3:b.bmp
wrun "$WIN/showpic.exe" a.bmp a.ready 40 100 100 "Quarterly report - draft" &
for _ in $(seq 1 100); do [ -e a.ready ] && break; sleep 0.1; done
wrun "$WIN/showpic.exe" b.bmp b.ready 40 250 180 "quarterly REPORT - final" &
for _ in $(seq 1 100); do [ -e b.ready ] && break; sleep 0.1; done
sleep 0.5
wrun "$WIN/pixo.exe" /N /T:report t1.png
check "/T: of two matching titles the topmost window" same_pixels t1.png b.png
wrun "$WIN/pixo.exe" /N /T:Draft t2.png
$IM t2.png -crop 150x200+0+0 +repage t2-left.png
$IM a.png -crop 150x200+0+0 +repage a-left.png
check "/T: a window behind another, as it appears on the screen" bash -c \
  "[ \$(identify -format %wx%h t2.png) = 300x200 ] && [ \$(compare -metric AE t2-left.png a-left.png null: 2>&1) = 0 ] && \
   [ \$(compare -metric AE t2.png a.png null: 2>&1) != 0 ]"
run_expecting_box /T:xyzzy x.bmp
check "/T with no match: the box" bash -c "[ \$(cat rc) = 1 ] && sed -n 3p box.txt | grep -qxF 'ｳｨﾝﾄﾞｳ xyzzy が見つかりません.'"
pkill -f "showpic.exe [ab].bmp" 2>/dev/null
wait

# --- windows by handle and by program, their client areas, the window list, a delay
hide_image :77
wrun "$WIN/patternwin.exe" own.txt 40 own &
for _ in $(seq 1 100); do [ -s own.txt ] && break; sleep 0.1; done
sleep 0.5
field() { grep "^$1|" own.txt | cut -d'|' -f2 | cut -d' ' -f"$2"; }  # title n: handle pid x y w h
plain=$(field "own plain" 1) pid=$(field "own plain" 2)
cw=$(field "own plain" 5) ch=$(field "own plain" 6)
# The client area as the window draws it: red left half, blue right half, a lime top bar.
$IM -size "${cw}x${ch}" xc:red -fill blue -draw "rectangle $((cw / 2)),0 $((cw - 1)),$((ch - 1))" \
  -fill lime -draw "rectangle 0,0 $((cw - 1)),9" -depth 8 PNG24:client-expected.png
wrun "$WIN/pixo.exe" /N "/H:$plain" /CA by-handle.png
check "/H: /CA: a window by its handle, exactly its client area's pixels" same_pixels by-handle.png client-expected.png
wrun "$WIN/pixo.exe" /N "/T:own plain" /CA by-title.png
check "/T: /CA: the client area, without frame or title bar" same_pixels by-title.png client-expected.png
wine "$WIN/pixo.exe" /LW | tr -d '\r' >windows.txt
listed() { grep -qxF "$(printf '0x%08X' "$plain") $pid patternwin.exe 520,320,300,200 own plain" windows.txt; }
check "/LW: the window's handle, process id, program, rectangle and title" listed
top=$(grep -m1 " $pid patternwin.exe " windows.txt | cut -d' ' -f1)
wrun "$WIN/pixo.exe" /N "/H:$top" top.png
wrun "$WIN/pixo.exe" /N /PR:PatternWin.exe by-name.png
wrun "$WIN/pixo.exe" /N "/PR:$pid" by-pid.png
check "/PR: by image name (any case): the program's topmost shown window" same_pixels by-name.png top.png
check "/PR: by process id: the same window" same_pixels by-pid.png top.png
for target in /H:0x7FFFFFF0 /PR:nosuch.exe /PR:999999; do
  quiet_run /Q "$target" x.bmp
  check "$target matches no window: exit code 2, no file" eval 'rc_is 2 && file_missing x.bmp'
done
# A handle has 32 significant bits: other bits set above them are the switch error, never
# the window of the lower half; the sign-extended form is that window.
low=$((plain & 0xFFFFFFFF))
for target in "$(printf '/H:0x1%08X' "$low")" "$(printf '/H:0xFFFFFFFF%08X' "$low")"; do
  quiet_run /Q "$target" x.bmp
  check "$target: the switch error, exit code 4, no file" eval 'rc_is 4 && file_missing x.bmp'
done
# /W: a window's own drawing, covered or partly off the screen. Wine's PrintWindow reaches
# the windows of the calling process only, so the capture code runs in the process that
# owns the windows (ownhost.exe, pixo's capture linked in).
own() { wine "$WIN/ownhost.exe" own-host.txt "$@" 2>>own-err.txt </dev/null; }
own "/T:own covered" /W /CA /N covered-own.png
own "/T:own covered" /CA /N covered-screen.png
own "/T:own offscreen" /W /CA /N offscreen-own.png
own "/T:own offscreen" /CA /N offscreen-screen.png
own "/T:own covered" /W /N covered-whole.png
pattern() {  # width height file: the client areas' drawing
  $IM -size "$1x$2" xc:red -fill blue -draw "rectangle $(($1 / 2)),0 $(($1 - 1)),$(($2 - 1))" \
    -fill lime -draw "rectangle 0,0 $(($1 - 1)),9" -depth 8 PNG24:"$3"
}
read -r covw covh winw winh < <(tr -d '\r' <own-host.txt | sed -n 's/^own covered|//p')
read -r offw offh _ < <(tr -d '\r' <own-host.txt | sed -n 's/^own offscreen|//p')
pattern "$covw" "$covh" covered-expected.png
pattern "$offw" "$offh" offscreen-expected.png
check "/W /CA: a covered window's client area, exactly its own pixels" same_pixels covered-own.png covered-expected.png
check "/W /CA: a window partly off the screen, exactly its own pixels" same_pixels offscreen-own.png offscreen-expected.png
differs() { [ "$(identify -format %wx%h "$1")" != "$(identify -format %wx%h "$2")" ] || ! same_pixels "$1" "$2"; }
check "without /W: the covered window as the screen shows it, cover included" differs covered-screen.png covered-expected.png
check "without /W: the window partly off the screen, clipped to the screen" differs offscreen-screen.png offscreen-expected.png
check "/W without /CA: the whole window's size" test "$(identify -format %wx%h covered-whole.png)" = "${winw}x$winh"
quiet_run /Q "/T:draws nothing" /W x.bmp
check "/W on a window that draws nothing: the target error, exit code 2, no file" eval \
  'rc_is 2 && err_has "ｳｨﾝﾄﾞｳ draws nothing は何も描画しません." && file_missing x.bmp'
pkill -f "patternwin.exe own.txt" 2>/dev/null
# /DL: a picture shown during the delay is the one captured
$IM -size 1024x768 xc:'#3060a0' PNG24:before.png
$IM -size 1024x768 xc:'#a06030' PNG24:after.png
show_image before.png :77
start=$(date +%s.%N)
wrun "$WIN/pixo.exe" /N /DL:6 delayed.png &
delayed=$!
sleep 0.5
show_image after.png :77
wait $delayed
elapsed=$(echo "$(date +%s.%N) - $start" | bc)
$IM delayed.png -crop 1024x768+0+0 +repage delayed-top.png
check "/DL:6: the picture shown during the delay is captured" same_pixels delayed-top.png after.png
check "/DL:6: the run takes at least the delay ($elapsed s)" test "$(echo "$elapsed >= 6" | bc)" = 1
hide_image :77
wait

# --- two monitors: Xephyr with two screens and Xinerama inside an Xvfb of its own
start_xvfb 80 1600x800x24
rm -f /tmp/.X81-lock /tmp/.X11-unix/X81
(DISPLAY=:80 Xephyr :81 -screen 640x480 -screen 800x600 +xinerama -nolisten tcp -noreset >/dev/null 2>&1 &)
for _ in $(seq 1 100); do xdpyinfo -display :81 >/dev/null 2>&1 && break; sleep 0.1; done
pfx="$T/prefix-two"
cp -a "$WINEPREFIX" "$pfx"
two() { DISPLAY=:81 WINEPREFIX="$pfx" "$@"; }
two wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
two wineserver -k
(two wineserver -p >/dev/null 2>&1 &)
trap 'two wineserver -k >/dev/null 2>&1; pkill -f "Xephyr :81" >/dev/null 2>&1; hide_image :77; rm -rf "$T"' EXIT
two timeout 60 wine "$WIN/pixo.exe" /L >list.raw 2>/dev/null </dev/null
tr -d '\r' <list.raw >list.txt
printf '%s\n' '1 \\.\DISPLAY1 0,0,640,480 primary' '2 \\.\DISPLAY2 640,0,800,600 -' >list-expected.txt
check "/L: both monitors, primary first" diff list-expected.txt <(sed -E 's/ [0-9]+$//' list.txt)
check "/L: a DPI on each line" bash -c "[ \$(grep -cE ' [0-9]{2,3}\$' list.txt) = 2 ]"
$IM -size 640x480 gradient:red-white -depth 8 PNG24:m1.png
$IM -size 800x600 gradient:blue-lime -fill black -draw "rectangle 10,10 60,60" -depth 8 PNG24:m2.png
$IM m1.png -type TrueColor BMP3:m1.bmp
$IM m2.png -type TrueColor BMP3:m2.bmp
two timeout 120 wine "$WIN/showpic.exe" m1.bmp m1.ready 60 0 0 >/dev/null 2>&1 &
two timeout 120 wine "$WIN/showpic.exe" m2.bmp m2.ready 60 640 0 >/dev/null 2>&1 &
for _ in $(seq 1 100); do [ -e m1.ready ] && [ -e m2.ready ] && break; sleep 0.1; done
for _ in $(seq 1 10); do
  two timeout 60 wine "$WIN/pixo.exe" /Q /N /M:2 mon2.png 2>/dev/null </dev/null
  [ "$(compare -metric AE mon2.png m2.png null: 2>&1)" = 0 ] && break
  sleep 0.3
done
check "/M:2: exactly the second monitor's pixels" same_pixels mon2.png m2.png
two timeout 60 wine "$WIN/pixo.exe" /Q /N /M:1 mon1.png 2>/dev/null </dev/null
check "/M:1: exactly the primary monitor's pixels" same_pixels mon1.png m1.png
two timeout 60 wine "$WIN/pixo.exe" /Q /N /V virtual.png 2>/dev/null </dev/null
$IM virtual.png -crop 640x480+0+0 +repage v1.png
$IM virtual.png -crop 800x600+640+0 +repage v2.png
$IM virtual.png -crop 640x120+0+480 +repage gap.png
check "/V: the virtual screen's size" test "$(identify -format %wx%h virtual.png)" = 1440x600
check "/V: the first monitor in place" same_pixels v1.png m1.png
check "/V: the second monitor in place" same_pixels v2.png m2.png
check "/V: the gap below the smaller monitor is black" test "$($IM gap.png -format '%[fx:maxima.r+maxima.g+maxima.b]' info:)" = 0
two timeout 60 wine "$WIN/pixo.exe" /Q /N /R:600,100,100,50 across.png 2>/dev/null </dev/null
$IM virtual.png -crop 100x50+600+100 +repage across-expected.png
check "/R across the two monitors" same_pixels across.png across-expected.png
two timeout 30 wine "$WIN/pixo.exe" /Q /M:3 x.bmp 2>/dev/null </dev/null
echo $? >rc
check "/M:3 with two monitors: exit code 2" rc_is 2
pkill -f "showpic.exe m[12].bmp" 2>/dev/null
wait

finish
