#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (as root), in two parts:
#   1. what the build and the 64-bit run need (amd64 packages only): required; set-up
#      stops with one line naming the packages and apt's reason when they cannot be had;
#   2. the 32-bit Wine runtime (i386 packages), only where the machine runs 32-bit
#      programs, as an extra: when apt cannot install it, one line says so and set-up
#      goes on (the x86 programs are still built, just not run here).
# Idempotent: a second run only checks. PIXO_NO32=1 behaves as on a machine that runs no
# 32-bit programs: no i386 package is asked for.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stamp_dir=${BUILD_DIR:-$root/build}
mkdir -p "$stamp_dir"
source "$root/scripts/arch.sh"
export DEBIAN_FRONTEND=noninteractive

need_pkgs=(
  wine wine64 libwine-dev xvfb xserver-xephyr x11-utils x11-xserver-utils xdotool
  mingw-w64 mingw-w64-tools g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  nasm dpkg-dev cmake make ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
  imagemagick pngcheck giflib-tools libjpeg-turbo-progs libpng-dev libgif-dev libjpeg-dev zlib1g-dev icoutils
  cups cups-bsd cups-client printer-driver-cups-pdf poppler-utils python3
  locales tesseract-ocr fonts-dejavu-core scrot
)
i386_pkgs=(wine32:i386 libcups2:i386 libxinerama1:i386)

missing_of() {  # package... -> the ones not installed, one a line
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# apt's own reason for a failure, in one line: the first dependency it could not meet (with
# its error) or its first error line, else its last line.
apt_reason() {  # log
  local r e
  e=$(grep -m1 -E '^E: ' "$1" | sed 's/^E: //')
  r=$(grep -m1 -E ' : (Pre)?Depends: ' "$1" | sed -E 's/^ +//; s/ +/ /g')
  if [ -n "$r" ]; then
    r="$r${e:+ ($e)}"
  else
    r=$e
  fi
  [ -n "$r" ] || r=$(grep -v '^\s*$' "$1" | tail -n 1)
  echo "${r:-apt-get failed}"
}

# Reads the package indexes. A mirror in the middle of a sync serves indexes of the wrong
# size; apt-get update then warns (and may still exit 0), so a failure or a warning about a
# failed fetch is tried again, twice at most. An index that still fails is no stop: the
# install that follows says whether what is needed can be had.
apt_update() {
  local try log=$stamp_dir/apt-update.log
  for try in 1 2 3; do
    if apt-get update -qq >"$log" 2>&1 && ! grep -qE '^(W: Failed to fetch|E: )' "$log"; then
      return 0
    fi
    [ "$try" = 3 ] || { echo "setup: apt-get update failed ($(apt_reason "$log")); trying again"; sleep $((try * 5)); }
  done
  echo "setup: some package indexes could not be read ($(apt_reason "$log")); going on with what apt has"
}

updated=0
update_once() { [ "$updated" = 1 ] || { apt_update; updated=1; }; }

# Part 1: the build and the 64-bit run. deb-src too: the libjpeg-turbo build takes Debian's
# source package, whose index the next update reads.
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q '^Types: deb deb-src' "$src"; then
  sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  update_once
fi
mapfile -t missing < <(missing_of "${need_pkgs[@]}")
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  update_once
  log=$stamp_dir/apt-install.log
  if ! apt-get install -y -q --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
    echo "setup: cannot install ${missing[*]}: $(apt_reason "$log")" >&2
    exit 1
  fi
fi

# Part 2: the 32-bit Wine runtime, where 32-bit programs run. What happened is kept in
# build/x86-runtime for the closing lines of make test and make demo.
note=$stamp_dir/x86-runtime
if ! machine_runs_32bit; then
  echo "setup: $(no32_reason); no i386 package asked for"
  rm -f "$note"
elif [ -s "$note" ] && [ -n "$(find "$note" -mmin -60 2>/dev/null)" ] && [ -n "$(missing_of "${i386_pkgs[@]}")" ]; then
  # Tried within the hour and failed: an index in the middle of a sync takes a while. The
  # next run after that tries again.
  echo "setup: $(cat "$note") (tried $(( ($(date +%s) - $(stat -c %Y "$note")) / 60 )) min ago); x86 programs are built but not run here"
else
  mapfile -t missing < <(missing_of "${i386_pkgs[@]}")
  if ((${#missing[@]})); then
    echo "setup: installing the 32-bit Wine runtime: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      updated=0
    fi
    update_once
    log=$stamp_dir/apt-install-i386.log
    if apt-get install -y -q --no-install-recommends "${missing[@]}" >"$log" 2>&1; then
      rm -f "$note"
    else
      reason=$(apt_reason "$log")
      echo "32-bit Wine not installed: $reason; x86 programs are built but not run here"
      echo "32-bit Wine could not be installed: $reason" >"$note"
      # With no i386 package on the machine, the architecture only makes every later
      # apt-get update read indexes that may be out of step.
      if [ -z "$(dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -x i386)" ]; then
        dpkg --remove-architecture i386 2>/dev/null && apt-get update -qq >/dev/null 2>&1 || true
      fi
    fi
  else
    rm -f "$note"
  fi
fi
echo "setup: packages ok"
