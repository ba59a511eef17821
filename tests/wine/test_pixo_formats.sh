#!/usr/bin/env bash
# pixo.exe /N and /GF end to end: files checked with pngcheck, libpng (ImageMagick) and
# giflib's tools.
source "$(dirname "$0")/lib.sh"
cd "$T"

$IM -size 1024x768 gradient:red-blue -fill yellow -draw "rectangle 100,100 300,200" \
  -fill '#123456' -draw "circle 700,400 760,460" -depth 8 PNG24:screen.png
show_image screen.png :77

# --- PNG of a 32-bit screen
wrun "$WIN/pixo.exe" /N shot.png; echo $? >rc
check "PNG: exit code 0" rc_is 0
pngcheck -v shot.png >pngcheck.txt 2>&1
check "PNG: pngcheck accepts it" grep -q "^No errors detected" pngcheck.txt
grep -oE "chunk [A-Za-z]{4}" pngcheck.txt | awk '{print $2}' | uniq | tr '\n' ' ' >order.txt
check "PNG: chunk order IHDR vqRb pHYs IDAT IEND" test "$(cat order.txt)" = "IHDR vqRb pHYs IDAT IEND "
check "PNG: RGB, 8 bits, not interlaced" grep -q "1024 x 768 image, 24-bit RGB, non-interlaced" pngcheck.txt
check "PNG: pHYs 1:1 without unit" grep -qF "length 9: 1x1 pixels/unit (1:1)" pngcheck.txt
check "PNG: every IDAT but the last holds 32768 bytes" python3 - <<'PY'
import struct, sys
d = open('shot.png', 'rb').read()
i, sizes = 8, []
while i < len(d):
    n, t = struct.unpack('>I4s', d[i:i + 8])
    if t == b'IDAT':
        sizes.append(n)
    i += 12 + n
sys.exit(0 if sizes and all(s == 32768 for s in sizes[:-1]) and 0 < sizes[-1] <= 32768 else 1)
PY
check "PNG: decodes to the very pixels on the screen" same_pixels shot.png screen.png

# --- PNG and GIF of a palette screen
on_screen 79 wrun "$WIN/patternwin.exe" q8.txt 3 quadrants &
pw=$!
for _ in $(seq 1 50); do [ -s q8.txt ] && break; sleep 0.1; done
on_screen 79 wrun "$WIN/pixo.exe" /N pal.png
on_screen 79 wrun "$WIN/pixo.exe" /GF pal.gif
on_screen 79 wrun "$WIN/pixo.exe" pal.bmp
wait $pw
pngcheck -v pal.png >pal.txt 2>&1
check "palette PNG: colour type 3 with a 256-entry PLTE before pHYs" bash -c \
  "grep -q '8-bit palette' pal.txt && grep -q 'chunk PLTE.*256 palette entries' pal.txt && \
   [ \"\$(grep -oE 'chunk [A-Za-z]{4}' pal.txt | awk '{print \$2}' | uniq | tr '\n' ' ')\" = 'IHDR vqRb PLTE pHYs IDAT IEND ' ]"
check "palette PNG: same pixels as the BMP" same_pixels pal.png pal.bmp
check "palette GIF: same pixels as the BMP" same_pixels pal.gif pal.bmp

# --- GIF of a true-colour screen: nine colours, each in a 5-6-5 cell of its own, are kept
$IM -size 1024x768 xc:black -fill white -draw "rectangle 0,0 300,300" -fill '#F80000' -draw "rectangle 300,0 600,300" \
  -fill '#00FC00' -draw "rectangle 600,0 900,300" -fill '#0000F8' -draw "rectangle 0,300 300,600" \
  -fill '#808080' -draw "rectangle 300,300 600,600" -fill '#F8FC00' -draw "rectangle 600,300 900,600" \
  -fill '#20C040' -draw "rectangle 0,600 300,767" -fill '#4040F8' -draw "rectangle 300,600 600,767" \
  -depth 8 PNG24:nine.png
show_image nine.png :77
wrun "$WIN/pixo.exe" /GF nine.gif; echo $? >rc
check "GIF: exit code 0" rc_is 0
check "GIF: nine colours are kept exactly" same_pixels nine.gif nine.png
check "GIF: header, screen and image descriptor" python3 - <<'PY'
import struct, sys
d = open('nine.gif', 'rb').read()
w, h, packed, bg, aspect = struct.unpack('<HHBBB', d[6:13])
sep, left, top, iw, ih, ipacked = struct.unpack('<BHHHHB', d[13:23])
ok = (d[:6] == b'GIF87a' and (w, h) == (1024, 768) and packed == 0x33 and bg == 0 and aspect == 0
      and sep == 0x2C and (left, top, iw, ih) == (0, 0, 1024, 768) and ipacked == 0x83
      and d[23 + 3 * 9:23 + 3 * 16] == b'\0' * 21 and d[23 + 48] == 4 and d[-1] == 0x3B)
sys.exit(0 if ok else 1)
PY
giftext -c nine.gif >giftext.txt 2>&1
check "GIF: giftext reads the local colour map of 16 entries" grep -q "BitsPerPixel = 4" giftext.txt

# --- GIF of many colours: giflib and ImageMagick agree index for index, and the print
#     of the same run shows the reduced image the GIF holds
$IM hald:8 -scale 1024x768! -depth 8 PNG24:colours.png
show_image colours.png :77
wrun "$WIN/pixo.exe" /GF many.gif
python3 - <<'PY' >many.hdr
d = open('many.gif', 'rb').read()
print(hex(d[10]), hex(d[13 + 9]), d[13 + 10 + 768])
PY
check "GIF of many colours: screen packed 0x77, descriptor 0x87, code size 8" grep -qx "0x77 0x87 8" many.hdr
gif2rgb -1 -o many.rgb many.gif
$IM -size 1024x768 -depth 8 rgb:many.rgb many-giflib.png
check "GIF: giflib and ImageMagick decode the same pixels" same_pixels many-giflib.png many.gif
check "GIF: at most 256 colours" test "$($IM many.gif -format %k info:)" -le 256
check "GIF: close to the screen" bash -c "compare -metric PSNR many.gif colours.png null: 2>&1 | awk '{exit !(\$1 > 25)}'"

finish
