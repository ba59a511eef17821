#!/usr/bin/env bash
# Benchmarks: the image writers natively (optimised, without sanitizers), the engine's
# strength and latency, and under Wine the capture writers and the bridge's round trip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/native-config.sh build/native-bench -DCMAKE_BUILD_TYPE=Release -DPIXO_SANITIZE=OFF
cmake --build build/native-bench --target bench_imaging bench_engine tavo_engine >/dev/null

echo "== image writers (native)"
build/native-bench/bin/bench_imaging build/native-bench/screen1920.rgb
start=$(date +%s.%N)
for _ in 1 2 3; do /usr/bin/convert -size 1920x1080 -depth 8 rgb:build/native-bench/screen1920.rgb -dither None -colors 256 null:; done
end=$(date +%s.%N)
base_start=$(date +%s.%N)
for _ in 1 2 3; do /usr/bin/convert -size 1920x1080 -depth 8 rgb:build/native-bench/screen1920.rgb null:; done
base_end=$(date +%s.%N)
python3 -c "print('  ImageMagick 256-colour reduction without dithering, 1920x1080: %.1f ms (reading the file excluded)' % (max(0.0, (($end - $start) - ($base_end - $base_start)) / 3 * 1000)))"

echo "== engine strength and latency (native)"
build/native-bench/bin/bench_engine build/native-bench/bin/tavo

# Under Wine: the 32-bit build where this machine runs it, else the 64-bit one.
source scripts/wine-env.sh
echo "== under Wine ($PIXO_ARCH build${PIXO_ARCH_WHY:+; $PIXO_ARCH_WHY}): BMP save and JPEG compression"
(cd build && timeout 600 wine "$PIXO_WIN/bench_capture.exe" | tr -d '\r')
echo "== under Wine ($PIXO_ARCH build): one hand through the bridge, 1000 hands against tavo.exe"
dir=$(mktemp -d)
cp "$PIXO_WIN/tavo.exe" "$dir/"
(cd "$dir" && timeout 600 wine "$PIXO_WIN/bridgehost.exe" "$(winepath -w "$dir")" listeners:1 bench:1000 | tr -d '\r' | grep '^bench')
rm -rf "$dir"
echo "== under Wine ($PIXO_ARCH build): whole runs of pixo.exe per format on 1920x1080 and 3840x2160 screens"
echo "   targets at 3840x2160: JPEG at most 1.1 x the floor, PNG 1.15 x, BMP the floor and writing the file;"
echo "   the peak working set beyond the one-pixel run at most 1.1 x the raw 32-bit screen for BMP, JPEG and"
echo "   PNG, 1.6 x for GIF. -1px: beyond the one-pixel run; own: the writer alone in one process"
bench_prefix=$root/build/wine-$PIXO_ARCH-bench
[ -f "$bench_prefix/system.reg" ] || { rm -rf "$bench_prefix"; cp -a "$PIXO_WINEPREFIX" "$bench_prefix"; }
# The native capture program of the same X screen, right after the rounds above: its best
# time of five, and its files beside pixo's.
scrot_beside() {  # DISPLAY-NUMBER FOLDER
  local jpeg=999999 png=999999 t ms _
  for _ in 1 2 3 4 5; do
    t=$(date +%s%N); DISPLAY=:$1 scrot -o -q 70 "$2/scrot.jpg"; ms=$((($(date +%s%N) - t) / 1000000))
    ((ms < jpeg)) && jpeg=$ms
    t=$(date +%s%N); DISPLAY=:$1 scrot -o "$2/scrot.png"; ms=$((($(date +%s%N) - t) / 1000000))
    ((ms < png)) && png=$ms
  done
  local same="NOT the same bytes as pixo's"
  cmp -s "$2/scrot.jpg" "$2/run.jpg" && same="byte for byte pixo's"
  echo "  scrot (native, same screen): JPEG q70 $jpeg ms, $same ($(stat -c%s "$2/scrot.jpg") bytes);" \
    "PNG $png ms, $(stat -c%s "$2/scrot.png") bytes against pixo's $(stat -c%s "$2/run.png")"
}
runs=$(mktemp -d)
for screen in 83:1920x1080 84:3840x2160; do
  d=${screen%%:*} geom=${screen#*:}
  start_xvfb "$d" "${geom}x24"
  bash scripts/screen-picture.sh "${geom%x*}" "${geom#*x}" "$runs/screen.bmp"
  (DISPLAY=:$d WINEPREFIX=$bench_prefix wineserver -p >/dev/null 2>&1 &)
  DISPLAY=:$d WINEPREFIX=$bench_prefix timeout 300 wine "$PIXO_WIN/showpic.exe" "$(winepath -w "$runs/screen.bmp")" \
    "$(winepath -w "$runs/shown")" 600 >/dev/null 2>&1 &
  shown=$!
  for _ in $(seq 1 100); do [ -e "$runs/shown" ] && break; sleep 0.1; done
  (cd "$runs" && DISPLAY=:$d WINEPREFIX=$bench_prefix timeout 900 wine "$PIXO_WIN/bench_run.exe" \
    "$(winepath -w "$PIXO_WIN/pixo.exe")" "$(winepath -w "$PIXO_WIN/nothing.exe")" \
    "$(winepath -w "$PIXO_WIN/floorgrab.exe")" "$(winepath -w "$runs")" | tr -d '\r')
  scrot_beside "$d" "$runs"
  kill "$shown" 2>/dev/null || true
  wait "$shown" 2>/dev/null || true
  rm -f "$runs/shown"
  DISPLAY=:$d WINEPREFIX=$bench_prefix wineserver -k >/dev/null 2>&1
done
rm -rf "$runs"

echo "== under Wine ($PIXO_ARCH build): soak and leak figures in full"
echo "   200 controls, 10,000 hands against an engine that crashes, hangs and garbles, 500 capture runs"
SOAK_CONTROLS=200 SOAK_HANDS=10000 SOAK_PIXO=500 SOAK_FAULTS=50,3,300,2 WIN=$PIXO_WIN \
  timeout 3600 bash tests/wine/test_soak.sh 2>&1 | grep -v '^$'
