#!/usr/bin/env bash
# Runs a Windows program under the project's 32-bit Wine prefix.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winedbg.exe=d;mscoree=d;mshtml=d"}
export DISPLAY=${DISPLAY:-:77}
exec wine "$@"
