# What both MinGW-w64 toolchain files share: the POSIX-thread compilers and tools of the
# target triple, and where to look for the target's libraries. The including file sets
# PIXO_ARCH, PIXO_TRIPLE, CMAKE_SYSTEM_PROCESSOR, PIXO_WIDL_FLAGS and WINE_TLB_DIR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${PIXO_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PIXO_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PIXO_TRIPLE}-windres)
set(PIXO_WIDL ${PIXO_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${PIXO_TRIPLE} ${PIXO_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
