# Cross-build for 32-bit Windows (x86) with the POSIX-thread MinGW-w64 compilers.
set(PIXO_ARCH x86)
set(PIXO_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# Wine's type libraries (stdole2.tlb) of the same architecture, for widl.
set(PIXO_WIDL_FLAGS --win32)
set(WINE_TLB_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
