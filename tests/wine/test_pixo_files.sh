#!/usr/bin/env bash
# pixo.exe and the files it writes when things go wrong: a full disk keeps the old file
# whole and leaves no temporary file, and names that are devices are refused.
source "$(dirname "$0")/lib.sh"
cd "$T"
full="$T/full"
mkdir -p "$full"
com1_link="$WINEPREFIX/dosdevices/com1"
lpt1_link="$WINEPREFIX/dosdevices/lpt1"
com1_was=$(readlink "$com1_link" 2>/dev/null || true)
lpt1_was=$(readlink "$lpt1_link" 2>/dev/null || true)
restore_links() {
  rm -f "$com1_link" "$lpt1_link"
  [ -z "$com1_was" ] || ln -s "$com1_was" "$com1_link"
  [ -z "$lpt1_was" ] || ln -s "$lpt1_was" "$lpt1_link"
}
cleanup() {
  restore_links
  umount "$full" 2>/dev/null
  hide_image :77
  rm -rf "$T"
}
[ -n "${KEEP:-}" ] || trap cleanup EXIT

# Noise on the screen: no format can make it small.
$IM -size 1024x768 xc: +noise Random -depth 8 PNG24:noise.png
show_image noise.png :77

# --- a full disk: a small file system holding an old picture in every format (room for
#     one capture when it is empty)
if mount -t tmpfs -o size=4m tmpfs "$full"; then
  for ext in bmp jpg png gif; do
    $IM -size 48x32 plasma:red-blue "$full/old.$ext"
    cp "$full/old.$ext" "$T/old.$ext"
  done
  # Fill it up, then give back a little: a write of the capture starts, then fails.
  dd if=/dev/zero of="$full/filler" bs=4k >/dev/null 2>&1
  truncate -s -16K "$full/filler"
  free_before=$(df --output=avail -B1 "$full" | tail -n 1)
  for ext in bmp jpg png gif; do
    switch=()
    [ "$ext" = jpg ] && switch=(/J)
    run_expecting_box "${switch[@]}" "full\\old.$ext"
    check "full disk, $ext: exit code 1" rc_is 1
    check "full disk, $ext: the write error" bash -c \
      "sed -n 2p box.txt | grep -qE '^EWriteErrorがﾓｼﾞｭｰﾙ pixo\\.exe の [0-9A-F]{8} で発生しました。\$' && \
       sed -n 3p box.txt | grep -qxF 'ｽﾄﾘｰﾑ書き込みｴﾗｰ.'"
    check "full disk, $ext: the old file is intact" cmp "$full/old.$ext" "$T/old.$ext"
    check "full disk, $ext: no other file is left" test "$(ls -A "$full" | sort | tr '\n' ' ')" = "filler old.bmp old.gif old.jpg old.png "
    check "full disk, $ext: the space is given back" test "$(df --output=avail -B1 "$full" | tail -n 1)" = "$free_before"
  done
  # With room again, the old file is replaced by the new picture.
  rm -f "$full/filler"
  wrun "$WIN/pixo.exe" /N "full\\old.png"; echo $? >rc
  check "room again: exit code 0" rc_is 0
  check "room again: the old PNG is replaced by the capture" same_pixels "$full/old.png" noise.png
  check "room again: no temporary file" test "$(ls -A "$full" | wc -l)" = 4
  umount "$full"
else
  check "a 1 MiB tmpfs can be mounted for the full-disk test" false
fi

# --- device names: the file error, and nothing goes to the device
: >com1.out
: >lpt1.out
rm -f "$com1_link" "$lpt1_link"
ln -s "$T/com1.out" "$com1_link"
ln -s "$T/lpt1.out" "$lpt1_link"
mkdir -p sub
for name in aux.jpg com1.png "com1 .bmp" COM1 NUL lpt1.gif "sub\\Con.PNG" "\\\\.\\COM1"; do
  rm -f box box.txt rc
  before=$(ls -A | sort | tr '\n' ' ')
  run_expecting_box "$name"
  check "device name '$name': exit code 1" rc_is 1
  check "device name '$name': the file error" bash -c \
    "sed -n 2p box.txt | grep -q '^EFCreateErrorがﾓｼﾞｭｰﾙ pixo\\.exe の' && \
     sed -n 3p box.txt | grep -qxF 'ﾌｧｲﾙ $name を作成できません.'"
  rm -f box box.txt rc
  check "device name '$name': no file is left" test "$(ls -A | sort | tr '\n' ' ')" = "$before"
done
check "device names: nothing reached COM1" test ! -s com1.out
check "device names: nothing reached LPT1" test ! -s lpt1.out
# The prefix really sends COM1 to the file: the check above could see a write.
wine cmd /c "echo through the port > COM1" >/dev/null 2>&1
check "the prefix's COM1 is the plain file" grep -q "through the port" com1.out
restore_links

# --- a run ended while it writes (a scheduler's time limit): stopped once its temporary
#     file has bytes in it, then killed; no temporary file may stay. (A BMP of the screen
#     is written in bands, so the run is caught in the middle of its writes.)
mkdir -p killed
temporary_there() { [ -n "$(find killed -name '~px*.tmp' -size +0 2>/dev/null)" ]; }
kill_while_writing() {
  local attempt pid i
  for attempt in $(seq 1 10); do
    rm -f killed/*
    wine "$WIN/pixo.exe" 'killed\shot.bmp' </dev/null >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 1 100000); do
      if temporary_there; then
        kill -STOP "$pid"
        break
      fi
      kill -0 "$pid" 2>/dev/null || break
    done
    if temporary_there && [ ! -e killed/shot.bmp ]; then
      kill -9 "$pid"
      wait "$pid" 2>/dev/null
      return 0
    fi
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  echo "no run was caught while writing"
  return 1
}
check "a run killed while writing: it was caught with its temporary file" kill_while_writing
sleep 1
check "a run killed while writing: no temporary file is left" test -z "$(ls -A killed)"
wrun "$WIN/pixo.exe" 'killed\shot.bmp'
check "a run killed while writing: the next run leaves its picture and nothing else" \
  bash -c "[ \"\$(ls -A killed)\" = shot.bmp ]"

# --- a series: three shots a second apart, the screen changed by the test between them
hide_image :77
mkdir -p series
(cd series && wrun "$WIN/patternwin.exe" ready 30 flip >/dev/null 2>&1 &)
for _ in $(seq 1 100); do [ -e series/ready ] && break; sleep 0.1; done
sleep 0.5
wrun "$WIN/pixo.exe" /N /R:0,0,200,200 /SR:3,1 /FN 'series\shot_%n.png' &
series_run=$!
for n in 1 2; do
  for _ in $(seq 1 200); do [ -e "series/shot_00$n.png" ] && break; sleep 0.02; done
  touch "series/flip$n"
done
wait $series_run; echo $? >rc
check "a series: exit code 0" rc_is 0
colours=""
for n in 1 2 3; do
  colours+=$($IM "series/shot_00$n.png" -format '%[fx:int(255*mean.r)],%[fx:int(255*mean.g)],%[fx:int(255*mean.b)] ' info: 2>/dev/null)
done
check "a series: three whole files, each the colour shown when it was taken ($colours)" \
  test "$colours" = "255,0,0 0,255,0 0,0,255 "
check "a series: nothing else in the folder" test "$(ls series | grep -c '\.png$')" = 3
pkill -f "patternwin.exe ready" 2>/dev/null

# A full disk after the first shot: that file stays whole, the run ends with the write error
# and leaves no temporary file.
if mount -t tmpfs -o size=4m tmpfs "$full"; then
  dd if=/dev/zero of="$full/filler" bs=4k >/dev/null 2>&1
  truncate -s -200K "$full/filler"
  show_image noise.png :77
  run_expecting_box /R:0,0,200,200 /SR:3,1 /FN "full\\n%n.bmp"
  check "a series on a full disk: exit code 1 and the write error" \
    eval 'rc_is 1 && sed -n 3p box.txt | grep -qxF "ｽﾄﾘｰﾑ書き込みｴﾗｰ."'
  $IM noise.png -crop 200x200+0+0 +repage first-expected.png
  check "a series on a full disk: the first file is whole" same_pixels "$full/n001.bmp" first-expected.png
  check "a series on a full disk: no other file, no temporary file" test "$(ls -A "$full" | sort | tr '\n' ' ')" = "filler n001.bmp "
  umount "$full"
fi

# --- names from a pattern, and names kept as typed
show_image noise.png :77
$IM -size 120x80 xc:orange -type TrueColor BMP3:t.bmp
wrun "$WIN/showpic.exe" t.bmp t.ready 30 300 300 'a/b:c*d?e"f<g>h|i' >/dev/null 2>&1 &
for _ in $(seq 1 100); do [ -e t.ready ] && break; sleep 0.1; done
sleep 0.5
day=$(date +%Y-%m-%d)
wrun "$WIN/pixo.exe" /N /FN '/T:a/b' 'p_%Y-%m-%d_%H%M%S.%f_%n_%wx%h_%t_100%%.png'
named=$(ls p_* 2>/dev/null)
check "a pattern: every field, the title made safe ($named)" bash -c \
  "[[ '$named' =~ ^p_${day}_[0-9]{6}\\.[0-9]{3}_001_120x80_a_b_c_d_e_f_g_h_i_100%\\.png$ ]]"
check "a pattern: the picture is the window's" bash -c "[ \$(identify -format %wx%h '$named') = 120x80 ]"
wrun "$WIN/pixo.exe" /N /R:0,0,10,10 '100%_%n.png'
check "without /FN a name with % stays as typed" file_nonempty '100%_%n.png'
pkill -f "showpic.exe t.bmp" 2>/dev/null
# A title whose 64th character is an emoji (two UTF-16 units): the name keeps it whole
# or leaves it out, never half of it
long=$(printf 'L%.0s' $(seq 1 63))
rm -f t.ready
wrun "$WIN/showpic.exe" t.bmp t.ready 30 300 300 "$long😀" >/dev/null 2>&1 &
for _ in $(seq 1 100); do [ -e t.ready ] && break; sleep 0.1; done
sleep 0.5
wrun "$WIN/pixo.exe" /Q /A /FN 'e_%t.png' 2>/dev/null; echo $? >rc
check "%t of a title cut at an emoji: exit code 0, the file named by the whole letters" \
  eval "rc_is 0 && file_nonempty 'e_$long.png'"
pkill -f "showpic.exe t.bmp" 2>/dev/null
wrun "$WIN/pixo.exe" /Q /FN '%q.png' 2>/dev/null; echo $? >rc
check "a pattern with an unknown field: exit code 4 before anything is written" eval 'rc_is 4 && file_missing "%q.png"'

# --- /NC: twenty runs at once into one name give twenty whole, distinct files
mkdir -p nc
for _ in $(seq 1 20); do wrun "$WIN/pixo.exe" /N /NC /R:0,0,64,64 'nc\same.png' & done
wait
check "/NC: twenty runs, twenty files" test "$(ls nc | grep -c '^same\(_0[0-9][0-9]\)\?\.png$')" = 20
check "/NC: every file whole" bash -c "for f in nc/*.png; do pngcheck -q \"\$f\" >/dev/null || exit 1; done"
check "/NC: no temporary file" test -z "$(ls nc | grep -v '\.png$')"

# --- the usage: /?, -h and --help, with the version, exit code 0 and nothing captured; on
#     standard output when redirected or run from a console, else in a box
version=$(sed -n 's/^#define PRODUCT_VERSION_DOTS "\(.*\)"/\1/p' "$WIN/version/version.h")
mkdir -p usage && cd usage
usage_ok() {  # file: the usage with the version, a line for a plain and a valued switch
  tr -d '\r' <"$1" | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' >"$1.plain"  # a terminal's escapes left out
  grep -q "^pixo $version: " "$1.plain" && grep -q '^  /NC ' "$1.plain" && grep -q '^  /SR:n,seconds ' "$1.plain"
}
for h in /? -h --HELP; do
  wrun "$WIN/pixo.exe" "$h" >usage.txt; echo $? >"$T/rc"
  check "$h redirected: the usage with version $version, exit code 0" eval 'rc_is 0 && usage_ok usage.txt'
done
# script gives the console a terminal; cmd holds the console that pixo attaches to
timeout 60 script -qc "wine cmd /c '$(winepath -w "$WIN/pixo.exe" | tr -d '\r')' /?" console.txt >/dev/null 2>&1 </dev/null
check "/? from a console: the usage there" usage_ok console.txt
(timeout 60 wine "$WIN/pixo.exe" /? >&- 2>&-; echo $? >"$T/rc") &
timeout 60 wine "$WIN/boxreader.exe" 20 >box 2>/dev/null
wait
check "/? with nowhere to write: the usage in a box, exit code 0" eval 'rc_is 0 && usage_ok box'
check "the usage captured nothing and wrote no file" test -z "$(ls | grep -v -e '^usage.txt' -e '^console.txt' -e '^box')"
cd ..

finish
