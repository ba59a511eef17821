# Cross-build for 32-bit Windows (x86) with the POSIX-thread MinGW-w64 compilers.
set(PIXO_ARCH x86)
set(PIXO_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# widl resolves importlib("stdole2.tlb") in WINE_TLB_DIR. The 64-bit Wine's copy is on
# every build machine (the 32-bit one only where i386 packages install), and the type
# library widl writes only names the import (its GUID, version and file name), so the
# 32-bit Tavo.tlb comes out the same against either (tests/dist/tlb_same.sh).
set(PIXO_WIDL_FLAGS --win32)
set(WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "The folder of stdole2.tlb for widl")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
