#!/usr/bin/env bash
# Cross-builds libjpeg-turbo (static, with SIMD) from Debian's source package into
# build/deps/ARCH/prefix for ARCH x86 or x64; a finished build is reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-x86}
case $arch in
  x86) triple=i686-w64-mingw32 processor=x86 ;;
  x64) triple=x86_64-w64-mingw32 processor=AMD64 ;;
  *) echo "deps: unknown architecture '$arch' (x86 or x64)" >&2; exit 2 ;;
esac
deps=$root/build/deps
prefix=$deps/$arch/prefix
[ -f "$prefix/lib/libjpeg.a" ] && exit 0
mkdir -p "$deps/src" "$deps/$arch"
cd "$deps/src"
if ! ls -d libjpeg-turbo-*/ >/dev/null 2>&1; then
  apt-get source -qq libjpeg-turbo >/dev/null 2>&1 || { apt-get update -qq; apt-get source -qq libjpeg-turbo >/dev/null; }
fi
srcdir=$(ls -d "$deps"/src/libjpeg-turbo-*/ | head -n 1)
cat > "$deps/$arch/toolchain.cmake" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_RC_COMPILER $triple-windres)
TC
cmake -S "$srcdir" -B "$deps/$arch/jpeg-build" -DCMAKE_TOOLCHAIN_FILE="$deps/$arch/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
  -DREQUIRE_SIMD=ON -DCMAKE_INSTALL_PREFIX="$prefix" >"$deps/$arch/jpeg-configure.log"
cmake --build "$deps/$arch/jpeg-build" --target jpeg-static -j"$(nproc)" >"$deps/$arch/jpeg-build.log"
mkdir -p "$prefix/lib" "$prefix/include"
cp "$deps/$arch/jpeg-build/libjpeg.a" "$prefix/lib/"
cp "$srcdir/jpeglib.h" "$srcdir/jmorecfg.h" "$srcdir/jerror.h" "$deps/$arch/jpeg-build/jconfig.h" "$prefix/include/"
echo "deps: libjpeg-turbo ($arch, SIMD) built in $prefix"
