#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine (as root).
# Idempotent: a second run only checks.
set -euo pipefail
stamp_dir=${BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}
mkdir -p "$stamp_dir"

need_pkgs=(
  wine wine64 wine32:i386 libwine-dev xvfb xserver-xephyr x11-utils x11-xserver-utils xdotool
  mingw-w64 mingw-w64-tools g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  nasm dpkg-dev cmake make ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
  imagemagick pngcheck giflib-tools libjpeg-turbo-progs libpng-dev libgif-dev libjpeg-dev zlib1g-dev
  cups cups-bsd cups-client printer-driver-cups-pdf libcups2:i386 libxinerama1:i386 poppler-utils python3
  locales tesseract-ocr fonts-dejavu-core
)

missing=()
for p in "${need_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  src=/etc/apt/sources.list.d/debian.sources
  if [ -f "$src" ] && ! grep -q '^Types: deb deb-src' "$src"; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# deb-src is also needed by the libjpeg-turbo build even when every package is there
src=/etc/apt/sources.list.d/debian.sources
if [ -f "$src" ] && ! grep -q '^Types: deb deb-src' "$src"; then
  sed -i 's/^Types: deb$/Types: deb deb-src/' "$src"
  apt-get update -qq
fi
echo "setup: packages ok"
