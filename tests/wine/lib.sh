# Shared helpers of the end-to-end tests under Wine. Source it; it sets up the virtual
# displays and the Wine server and gives each test script a scratch folder in $T.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/wine-env.sh"
WIN=${WIN:-$PIXO_WIN}
T=$(mktemp -d "${TMPDIR:-/tmp}/wine-test.XXXXXX")
[ -n "${KEEP:-}" ] || trap 'hide_image :77; hide_image :78; hide_image :79; rm -rf "$T"' EXIT
IM=/usr/bin/convert
passed=0
failed=0

check() {  # description command...
  local what=$1
  shift
  if "$@" >"$T/check.log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what" >&2
    tail -n 5 "$T/check.log" >&2
  fi
}

finish() {
  echo "$(basename "$0"): $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

wrun() {  # a Windows program, bounded in time
  timeout 120 wine "$@"
}

# Shows a picture at the top-left corner of a display, in a topmost window of a Windows
# program, for the given seconds (default 60); hide_image takes it away again.
show_image() {  # file display [seconds]
  local d=${2#:} seconds=${3:-60}
  hide_image "$2"
  $IM "$1" -type TrueColor BMP3:"$T/show-$d.bmp"
  rm -f "$T/shown-$d"
  if [ "$d" = 77 ]; then
    timeout 300 wine "$WIN/showpic.exe" "$T/show-$d.bmp" "$T/shown-$d" "$seconds" >/dev/null 2>&1 &
  else
    on_screen "$d" timeout 300 wine "$WIN/showpic.exe" "$T/show-$d.bmp" "$T/shown-$d" "$seconds" >/dev/null 2>&1 &
  fi
  eval "shown_pid_$d=$!"
  local i
  for i in $(seq 1 100); do [ -e "$T/shown-$d" ] && break; sleep 0.1; done
  # A capture must see the picture (within the colour precision of the screen).
  for i in 1 2 3 4 5 6 7 8 9 10; do
    if [ "$d" = 77 ]; then
      timeout 60 wine "$WIN/pixo.exe" "$T/sync.bmp" >/dev/null 2>&1
    else
      on_screen "$d" timeout 60 wine "$WIN/pixo.exe" "$T/sync.bmp" >/dev/null 2>&1
    fi
    if [ "$(compare -metric AE -fuzz 4% "$T/sync.bmp" "$T/show-$d.bmp" null: 2>&1)" = 0 ]; then
      rm -f "$T/sync.bmp"
      return 0
    fi
    sleep 0.3
  done
  echo "could not show $1 on $2" >&2
  return 1
}

hide_image() {  # display
  local d=${1#:} pid
  eval "pid=\${shown_pid_$d:-}"
  if [ -n "$pid" ]; then
    pkill -P "$pid" >/dev/null 2>&1
    kill "$pid" >/dev/null 2>&1
    wait "$pid" 2>/dev/null
    eval "shown_pid_$d="
    sleep 0.3
  fi
}

same_pixels() {  # a b: exactly equal pixels
  local ae
  ae=$(compare -metric AE "$1" "$2" null: 2>&1) || true
  [ "$ae" = "0" ] || { echo "pixels differ: $ae ($1 vs $2)"; return 1; }
}

# Runs the capture program expecting its error box; leaves the box text in $T/box and
# the exit code in $T/rc.
# With BOX_SCREEN=78 or 79 the run uses that screen's prefix.
run_expecting_box() {  # args...
  local runner=()
  [ -n "${BOX_SCREEN:-}" ] && runner=(on_screen "$BOX_SCREEN")
  ( cd "$T" && "${runner[@]}" timeout 60 wine "$WIN/pixo.exe" "$@"; echo $? >"$T/rc" ) &
  local pid=$!
  "${runner[@]}" timeout 60 wine "$WIN/boxreader.exe" 20 >"$T/box" 2>/dev/null || true
  wait $pid
  tr -d '\r' <"$T/box" >"$T/box.txt"
}

# Runs a command under a locale of our own, built into build/locale on first use (the
# machine may have no locale but C).
in_locale() {  # name (ja_JP, en_US) command...
  local name=$1
  shift
  [ -d "$root/build/locale/$name.UTF-8" ] || { mkdir -p "$root/build/locale" &&
    localedef -i "$name" -f UTF-8 "$root/build/locale/$name.UTF-8" >/dev/null 2>&1; }
  LOCPATH=$root/build/locale LANG=$name.UTF-8 LC_ALL=$name.UTF-8 "$@"
}

# Takes the printers away from screen 78's prefix and CUPS out of its sight, for runs
# without a default printer; CUPS_SERVER stays set until the caller unsets it.
remove_printers_78() {
  export CUPS_SERVER=/nonexistent/cups.sock
  on_screen 78 wine reg delete 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /v device /f >/dev/null 2>&1
  on_screen 78 wine reg delete 'HKLM\System\CurrentControlSet\Control\Print\Printers\PDF' /f >/dev/null 2>&1
}

# Gives the test script a Wine prefix of its own, a copy of the main one with its own server,
# so that what it registers stays with it; the server ends with the script.
own_prefix() {
  export WINEPREFIX="$T/prefix"
  cp -a "$PIXO_WINEPREFIX" "$WINEPREFIX"
  rm -f "$WINEPREFIX/.printer-ready"
  (wineserver -p >/dev/null 2>&1 &)
  # The prefix's own background processes start with its first program and keep whatever
  # output it had: they get none, so that no pipe of a test waits for them.
  timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1
  [ -n "${KEEP:-}" ] && trap 'wineserver -k >/dev/null 2>&1' EXIT || trap 'wineserver -k >/dev/null 2>&1; rm -rf "$T"' EXIT
}

rc_is() { [ "$(cat "$T/rc")" = "$1" ] || { echo "rc $(cat "$T/rc") != $1"; return 1; }; }
file_missing() { [ ! -e "$1" ] || { echo "$1 exists"; return 1; }; }
file_nonempty() { [ -s "$1" ] || { echo "$1 missing or empty"; return 1; }; }
