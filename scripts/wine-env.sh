#!/usr/bin/env bash
# Starts the virtual displays and the Wine server for the project's prefix; creates the
# prefix on first use. Source it or run it; it is idempotent.
#   DISPLAY :77  1024x768 at depth 24 (the main screen)
#   DISPLAY :78  800x600 at depth 16
#   DISPLAY :79  640x480 at depth 8 (a 256-colour palette screen)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"

start_xvfb() {  # display geometry
  local d=$1 geom=$2
  if ! xdpyinfo -display ":$d" >/dev/null 2>&1; then
    rm -f "/tmp/.X$d-lock" "/tmp/.X11-unix/X$d"
    (Xvfb ":$d" -screen 0 "$geom" -nolisten tcp >/dev/null 2>&1 &)
    for _ in $(seq 1 50); do xdpyinfo -display ":$d" >/dev/null 2>&1 && break; sleep 0.1; done
  fi
}
start_xvfb 77 1024x768x24
start_xvfb 78 800x600x16
start_xvfb 79 640x480x8
export DISPLAY=:77

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
# A persistent server keeps every Wine start fast.
if ! pgrep -f "wineserver -p" >/dev/null 2>&1 || [ ! -S "/tmp/.wine-$(id -u)/server-$(stat -c %d-%i "$WINEPREFIX" 2>/dev/null)/socket" ]; then
  (wineserver -p >/dev/null 2>&1 &)
  sleep 0.3
fi
