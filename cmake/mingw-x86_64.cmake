# Cross-build for 64-bit Windows (x64) with the POSIX-thread MinGW-w64 compilers.
set(PIXO_ARCH x64)
set(PIXO_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
# Wine's type libraries (stdole2.tlb) of the same architecture, for widl; --win64 makes
# a SYS_WIN64 type library, registered under the win64 key.
set(PIXO_WIDL_FLAGS --win64)
set(WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "The folder of stdole2.tlb for widl")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
