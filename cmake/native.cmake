# Native Linux build: the pure computation with unit tests under sanitizers.
find_package(ZLIB REQUIRED)
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
find_package(PNG REQUIRED)
find_package(GIF REQUIRED)

option(PIXO_SANITIZE "Build with sanitizers (PIXO_SANITIZERS)" ON)
set(PIXO_SANITIZERS "address,undefined" CACHE STRING "The sanitizers of a sanitized build")
option(PIXO_TSAN "Build with ThreadSanitizer instead" OFF)
set(SAN_FLAGS "")
if(PIXO_TSAN)
  set(SAN_FLAGS -fsanitize=thread)
elseif(PIXO_SANITIZE)
  set(SAN_FLAGS -fsanitize=${PIXO_SANITIZERS} -fno-sanitize-recover=undefined)
endif()
add_compile_options(-Wall -Wextra -Werror -Wmissing-declarations ${SAN_FLAGS})
add_link_options(${SAN_FLAGS})
# With clang every library of a sanitized build carries the fuzzer's coverage counters,
# so the fuzz targets link the same libraries as the tests. Long fuzzing runs use a
# build with the undefined-behaviour sanitizer alone, which runs several times faster.
# PIXO_FUZZ_COVERAGE adds coverage options, such as -fno-sanitize-coverage=trace-cmp for
# a long run where the comparisons' tracing would cost more than it finds.
set(PIXO_FUZZ_COVERAGE "" CACHE STRING "More coverage options of the fuzz targets")
set(PIXO_FUZZ OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND PIXO_SANITIZE AND NOT PIXO_TSAN)
  set(PIXO_FUZZ ON)
  add_compile_options(-fsanitize=fuzzer-no-link ${PIXO_FUZZ_COVERAGE})
endif()

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
