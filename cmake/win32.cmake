# Cross-build of the Windows deliverables.
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
add_compile_options(-Wall -Wextra -O2)
add_link_options(-static -static-libgcc -static-libstdc++)
add_compile_definitions(UNICODE _UNICODE WINVER=0x0601 _WIN32_WINNT=0x0601)

add_library(jpeg_static STATIC IMPORTED)
set_target_properties(jpeg_static PROPERTIES IMPORTED_LOCATION ${DEPS_PREFIX}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${DEPS_PREFIX}/include)

add_library(pixo_core STATIC ${PIXO_PURE_SOURCES}
  capture/stream_win.cpp capture/tbitmap.cpp capture/grabber.cpp capture/jpeg_codec.cpp
  capture/jpeg_image.cpp capture/run_capture.cpp capture/printing.cpp imaging/imaging_win.cpp)
target_include_directories(pixo_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(pixo_core PUBLIC jpeg_static z gdi32 user32 winspool)

add_executable(pixo WIN32 capture/main.cpp)
target_link_libraries(pixo pixo_core)

# The engine program.
add_library(tavo_game STATIC tavoengine/game.cpp)
target_include_directories(tavo_game PUBLIC ${CMAKE_SOURCE_DIR})
add_executable(tavo tavoengine/main.cpp)
target_link_libraries(tavo tavo_game)

add_subdirectory(tests/wine)
if(EXISTS ${CMAKE_SOURCE_DIR}/control/CMakeLists.txt)
  add_subdirectory(control)
endif()
add_subdirectory(bench/win32)

# The demonstration host of the control.
add_executable(tavodemo demo/tavodemo.cpp)
target_include_directories(tavodemo PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(tavodemo ole32 oleaut32 uuid user32)
