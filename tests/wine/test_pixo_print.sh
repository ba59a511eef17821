#!/usr/bin/env bash
# pixo.exe /P on a real default printer (CUPS with a PDF queue): one PDF per run, the
# picture where it belongs on the page, in the requested mode.
source "$(dirname "$0")/lib.sh"
bash "$root/scripts/printer-setup.sh"
out=$root/build/printouts
cd "$T"

$IM -size 1024x768 gradient:red-blue -fill yellow -draw "rectangle 100,100 300,200" \
  -fill '#808080' -draw "rectangle 500,500 700,700" -depth 8 PNG24:screen.png
show_image screen.png :77
read -r HORZ VERT OFFX OFFY DPIX DPIY < <(wrun "$WIN/printcaps.exe" | tr -d '\r')

# Runs pixo and leaves the one PDF of the run as $1.pdf and its images as $1-NNN.png.
print_run() {  # name args...
  local name=$1
  shift
  local before
  before=$(ls "$out" | wc -l)
  wrun "$WIN/pixo.exe" "$@"
  echo $? >rc
  local i
  for i in $(seq 1 100); do
    [ "$(ls "$out" | wc -l)" -gt "$before" ] && sleep 0.5 && break
    sleep 0.1
  done
  local new
  new=$(ls -t "$out"/*.pdf 2>/dev/null | head -n "$(($(ls "$out" | wc -l) - before))")
  echo "$new" | grep -c . >"$name.count"
  cp "$(echo "$new" | head -n 1)" "$name.pdf" 2>/dev/null
  pdfimages -png "$name.pdf" "$name" 2>/dev/null
}

one_pdf() { [ "$(cat "$1.count")" = 1 ] || { echo "$(cat "$1.count") PDFs"; return 1; }; }

# Where the stretched picture must be: left and top 100, right Trunc(w x scale) and
# bottom Trunc(h x scale), in printer pixels from the printable area's corner.
read -r EXP_L EXP_T EXP_R EXP_B < <(python3 -c "
W, H = $HORZ - 100, $VERT - 100
w, h = 1024, 768
s = H / h if W / H >= w / h else W / w
print(100, 100, int(w * s), int(h * s))")

placed() {  # name: the page rendered at the printer's resolution shows the picture there
  pdftoppm -r "$DPIX" -png -singlefile "$1.pdf" "$1-page"
  local box
  box=$($IM "$1-page.png" -fuzz 2% -trim -format '%X %Y %w %h' info: | tr -d '+')
  read -r x y w h <<<"$box"
  echo "bbox $box expected $((EXP_L + OFFX)) $((EXP_T + OFFY)) $((EXP_R - EXP_L)) $((EXP_B - EXP_T))"
  [ "${x#+}" -ge $((EXP_L + OFFX - 2)) ] && [ "${x#+}" -le $((EXP_L + OFFX + 2)) ] &&
    [ "${y#+}" -ge $((EXP_T + OFFY - 2)) ] && [ "${y#+}" -le $((EXP_T + OFFY + 2)) ] &&
    [ "$w" -ge $((EXP_R - EXP_L - 3)) ] && [ "$w" -le $((EXP_R - EXP_L + 3)) ] &&
    [ "$h" -ge $((EXP_B - EXP_T - 3)) ] && [ "$h" -le $((EXP_B - EXP_T + 3)) ]
}

# --- plain
print_run plain /P plain.bmp
check "plain: exit code 0" rc_is 0
check "plain: one PDF" one_pdf plain
check "plain: job title" bash -c "pdfinfo plain.pdf | grep -qE '^Title: +Pixo printing\$'"
check "plain: the file is written" same_pixels plain.bmp screen.png
check "plain: only the stretched drawing, of the unconverted capture" bash -c \
  "[ \$(ls plain-*.png | wc -l) = 1 ] && [ \"\$(compare -metric AE plain-000.png screen.png null: 2>&1)\" = 0 ]"
check "plain: the picture fills (100,100) to the scaled size" placed plain

# --- black and white
print_run bw /P /D /G bw.bmp
check "black and white: one PDF" one_pdf bw
check "black and white: the file holds the unconverted capture" same_pixels bw.bmp screen.png
check "black and white: unscaled and stretched drawings" test "$(ls bw-*.png | wc -l)" = 2
check "black and white: only black and white in the printed pictures" bash -c \
  "for f in bw-*.png; do $IM \$f -unique-colors txt: | tail -n +2 | grep -vE '#000000|#FFFFFF' && exit 1; done; exit 0"
check "black and white: both black and white are used" bash -c "[ \$($IM bw-000.png -format %k info:) = 2 ]"
check "black and white: placed at the margin, fitted to the page" placed bw

# --- grey
print_run grey /P /G /F grey.bmp
check "grey: one PDF" one_pdf grey
check "grey: every printed pixel is grey" bash -c "[ \$($IM grey-001.png -fx 'abs(r-g)+abs(g-b)' -format '%[fx:maxima]' info:) = 0 ]"
check "grey: yellow (255,255,0) prints as 227" bash -c "$IM grey-001.png -format '%[pixel:p{200,150}]' info: | grep -qE '\\(227,227,227\\)|gray\\(227\\)|gray\\(89'"

# --- 24-bit colour
print_run full /P /F full.bmp
check "24-bit: one PDF and the capture printed unchanged" bash -c \
  "[ \$(cat full.count) = 1 ] && [ \"\$(compare -metric AE full-001.png screen.png null: 2>&1)\" = 0 ]"

# --- GIF with print: the printed picture is the reduced one. Red 8 and red 15 share a
#     5-6-5 cell: the reduction makes both red 11, the capture keeps them apart.
$IM -size 512x768 xc:'#080000' -size 512x768 xc:'#0F0000' +append -depth 8 PNG24:cells.png
show_image cells.png :77
print_run gif /GF /P red.gif
check "GIF and print: one PDF" one_pdf gif
check "GIF and print: the GIF holds the reduced colour" bash -c \
  "[ \"\$($IM red.gif -format '%[pixel:p{100,100}] %[pixel:p{900,100}]' info:)\" = 'srgb(11,0,0) srgb(11,0,0)' ]"
pdftoppm -r "$DPIX" -png -singlefile gif.pdf gif-page
sample() {  # page x y (picture coordinates of the stretched drawing)
  local px py
  px=$(python3 -c "print(int($OFFX + 100 + $2 * ($EXP_R - 100) / 1024))")
  py=$(python3 -c "print(int($OFFY + 100 + $3 * ($EXP_B - 100) / 768))")
  $IM "$1" -format "%[pixel:p{$px,$py}]" info:
}
check "GIF and print: the page shows the reduced image" \
  test "$(sample gif-page.png 256 384) $(sample gif-page.png 768 384)" = "srgb(11,0,0) srgb(11,0,0)"
print_run cellsplain /P cells.bmp
pdftoppm -r "$DPIX" -png -singlefile cellsplain.pdf cells-page
check "plain print of the same screen keeps both reds" \
  test "$(sample cells-page.png 256 384) $(sample cells-page.png 768 384)" = "srgb(8,0,0) srgb(15,0,0)"
show_image screen.png :77

# --- JPEG with print: the print uses the unconverted capture
print_run jpg /J /P shot.jpg
check "JPEG and print: the printed picture is the capture itself" same_pixels jpg-000.png screen.png

# --- /P alone: the file is named after the first argument
rm -f /P
print_run alone /P
check "/P alone: one PDF" one_pdf alone
check "/P alone: a BMP named P in the root of the current drive" bash -c "head -c 2 /P | grep -q BM"
rm -f /P

# --- no default printer: the screen-78 prefix without its printers, and CUPS out of its
#     sight
remove_printers_78
before=$(ls "$out" | wc -l)
BOX_SCREEN=78 run_expecting_box /P noprinter.bmp
check "no default printer: exit code 1" rc_is 1
check "no default printer: the message" bash -c "sed -n 3p box.txt | grep -qxF 'ﾃﾞﾌｫﾙﾄ ﾌﾟﾘﾝﾀが存在しません.'"
check "no default printer: EPrinter" bash -c "sed -n 2p box.txt | grep -q '^EPrinterがﾓｼﾞｭｰﾙ pixo.exe の'"
check "no default printer: the file is already written" file_nonempty noprinter.bmp
# Without a name the file would only be a by-product of the print: none is written.
rm -f /P
BOX_SCREEN=78 run_expecting_box /P
check "no default printer, /P alone: exit code 1" rc_is 1
check "no default printer, /P alone: the message" bash -c "sed -n 3p box.txt | grep -qxF 'ﾃﾞﾌｫﾙﾄ ﾌﾟﾘﾝﾀが存在しません.'"
check "no default printer, /P alone: no file in the root of the drive" file_missing /P
sleep 1
check "no default printer: nothing printed" test "$(ls "$out" | wc -l)" = "$before"
unset CUPS_SERVER

finish
