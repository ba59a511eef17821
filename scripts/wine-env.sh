#!/usr/bin/env bash
# Starts the virtual displays and the Wine server for the project's prefix of one
# architecture; creates the prefix on first use. Source it or run it; it is idempotent.
#   PIXO_ARCH  x86 (a win32 prefix, 32-bit loader) or x64 (a win64 prefix, 64-bit
#              loader); unset: the first one this machine runs (scripts/arch.sh)
# It sets WINEPREFIX (build/wine-ARCH), PIXO_WINEPREFIX (the same, for copies) and
# PIXO_WIN (the build folder of that architecture).
#   DISPLAY :77  1024x768 at depth 24 (the main screen)
#   DISPLAY :78  800x600 at depth 16
#   DISPLAY :79  640x480 at depth 8 (a 256-colour palette screen)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/arch.sh"
if [ -z "${PIXO_ARCH:-}" ]; then
  arch_detect || { return 1 2>/dev/null || exit 1; }
  PIXO_ARCH=${PIXO_RUN_ARCHS%% *}
fi
export PIXO_ARCH
# Without the 64-bit folder on PATH, "wine" is Debian's script (32-bit loader first).
PATH=$(echo "$PATH" | tr ':' '\n' | grep -vxF "$root/scripts/wine64" | paste -sd: -)
case $PIXO_ARCH in
  x86) export WINEARCH=win32 PIXO_WIN=$root/build/win32 ;;
  x64) export WINEARCH=win64 PIXO_WIN=$root/build/win64 PATH="$root/scripts/wine64:$PATH" ;;
  *) echo "PIXO_ARCH: unknown architecture '$PIXO_ARCH' (x86 or x64)" >&2; return 1 2>/dev/null || exit 1 ;;
esac
export PIXO_WINEPREFIX=$root/build/wine-$PIXO_ARCH
export WINEPREFIX=$PIXO_WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"

start_xvfb() {  # display geometry
  local d=$1 geom=$2
  if ! xdpyinfo -display ":$d" >/dev/null 2>&1; then
    rm -f "/tmp/.X$d-lock" "/tmp/.X11-unix/X$d"
    (Xvfb ":$d" -screen 0 "$geom" -nolisten tcp -s 0 -nocursor >/dev/null 2>&1 &)
    for _ in $(seq 1 50); do xdpyinfo -display ":$d" >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  # No screen saver may blank the screen under a test.
  xset -display ":$d" s off s noblank >/dev/null 2>&1 || true
}
start_xvfb 77 1024x768x24
start_xvfb 78 800x600x16
start_xvfb 79 640x480x8
export DISPLAY=:77

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 300 wineboot -i >/dev/null 2>&1
  wineserver -w  # the registry files are written when the server ends
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: could not create the $PIXO_ARCH Wine prefix $WINEPREFIX" >&2
    return 1 2>/dev/null || exit 1
  fi
fi
# The 16-bit and 8-bit screens each get a prefix (and so a Wine desktop) of their own,
# copied from the main one.
for d in 78 79; do
  if [ ! -f "$WINEPREFIX-$d/system.reg" ]; then
    rm -rf "$WINEPREFIX-$d"
    cp -a "$WINEPREFIX" "$WINEPREFIX-$d"
  fi
done

# A persistent server per prefix keeps every Wine start fast. A second server for a
# prefix that has one exits at once, so starting one each time is safe (and a socket left
# by a server that was killed does not fool us).
for p in "$WINEPREFIX" "$WINEPREFIX-78" "$WINEPREFIX-79"; do
  (WINEPREFIX=$p wineserver -p >/dev/null 2>&1 &)
done
sleep 0.2
# Wine's own background processes (services, the desktop) outlive the program that
# started them and keep its standard output and error open; anything waiting for those
# to close (a pipe into tee, a test runner) would wait for as long as the server lives.
# So the first program of each prefix runs here, with nothing inherited. (The desktop
# process comes and goes with windows; the end-to-end tests write their output to a file
# for that reason.)
for p in "$WINEPREFIX" "$WINEPREFIX-78" "$WINEPREFIX-79"; do
  case $p in *-78) d=:78 ;; *-79) d=:79 ;; *) d=:77 ;; esac
  DISPLAY=$d WINEPREFIX=$p timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
done

# Runs a command with the Wine prefix and display of screen 78 or 79.
on_screen() {  # display-number command...
  local d=$1
  shift
  DISPLAY=":$d" WINEPREFIX="$WINEPREFIX-$d" "$@"
}
