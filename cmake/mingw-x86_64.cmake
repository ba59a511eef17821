# Cross-build for 64-bit Windows (x64) with the POSIX-thread MinGW-w64 compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(PIXO_ARCH x64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The IDL compiler and Wine's type libraries (stdole2.tlb) of the same architecture;
# --win64 makes a SYS_WIN64 type library, registered under the win64 key.
set(PIXO_WIDL x86_64-w64-mingw32-widl)
set(PIXO_WIDL_FLAGS --win64)
set(WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${PIXO_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
