#!/usr/bin/env bash
# Cross-builds libjpeg-turbo (static, with SIMD) from Debian's source package into
# build/deps; a finished build is reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps=$root/build/deps
prefix=$deps/prefix
[ -f "$prefix/lib/libjpeg.a" ] && exit 0
mkdir -p "$deps/src"
cd "$deps/src"
if ! ls -d libjpeg-turbo-*/ >/dev/null 2>&1; then
  apt-get source -qq libjpeg-turbo >/dev/null 2>&1 || { apt-get update -qq; apt-get source -qq libjpeg-turbo >/dev/null; }
fi
srcdir=$(ls -d "$deps"/src/libjpeg-turbo-*/ | head -n 1)
cat > "$deps/toolchain.cmake" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
TC
cmake -S "$srcdir" -B "$deps/jpeg-build" -DCMAKE_TOOLCHAIN_FILE="$deps/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
  -DREQUIRE_SIMD=ON -DCMAKE_INSTALL_PREFIX="$prefix" >"$deps/jpeg-configure.log"
cmake --build "$deps/jpeg-build" --target jpeg-static -j"$(nproc)" >"$deps/jpeg-build.log"
mkdir -p "$prefix/lib" "$prefix/include"
cp "$deps/jpeg-build/libjpeg.a" "$prefix/lib/"
cp "$srcdir/jpeglib.h" "$srcdir/jmorecfg.h" "$srcdir/jerror.h" "$deps/jpeg-build/jconfig.h" "$prefix/include/"
echo "deps: libjpeg-turbo built in $prefix"
