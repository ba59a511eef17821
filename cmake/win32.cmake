# Windows build of the deliverables (cross-built with MinGW-w64).
# The toolchain files name the architecture and its tools; a build without one (on
# Windows, with the compilers on PATH) takes them from the compiler.
if(NOT PIXO_ARCH)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(PIXO_ARCH x64)
    set(PIXO_WIDL_FLAGS --win64)
  else()
    set(PIXO_ARCH x86)
    set(PIXO_WIDL_FLAGS --win32)
  endif()
  set(PIXO_WIDL widl)
endif()
if(NOT DEPS_PREFIX)
  set(DEPS_PREFIX ${CMAKE_SOURCE_DIR}/build/deps/${PIXO_ARCH}/prefix)
endif()
add_compile_options(-Wall -Wextra -Werror -Wmissing-declarations -O2)
add_link_options(-static -static-libgcc -static-libstdc++)
add_compile_definitions(UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601)

add_library(jpeg_static STATIC IMPORTED)
set_target_properties(jpeg_static PROPERTIES IMPORTED_LOCATION ${DEPS_PREFIX}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${DEPS_PREFIX}/include)


# Every program and the control land at the top of the build folder.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
