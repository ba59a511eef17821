# Native Linux build: the pure computation with unit tests under sanitizers.
find_package(ZLIB REQUIRED)
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

option(PIXO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
option(PIXO_TSAN "Build with ThreadSanitizer instead" OFF)
set(SAN_FLAGS "")
if(PIXO_TSAN)
  set(SAN_FLAGS -fsanitize=thread)
elseif(PIXO_SANITIZE)
  set(SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()
add_compile_options(-Wall -Wextra ${SAN_FLAGS})
add_link_options(${SAN_FLAGS})

add_library(pixo_pure STATIC ${PIXO_PURE_SOURCES} capture/stream_posix.cpp)
target_link_libraries(pixo_pure PUBLIC ZLIB::ZLIB)
target_include_directories(pixo_pure PUBLIC ${CMAKE_SOURCE_DIR})

add_library(tavo_pure STATIC ${TAVO_PURE_SOURCES})
target_include_directories(tavo_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tavo_pure PUBLIC Threads::Threads)

add_library(tavo_game STATIC tavoengine/game.cpp)
target_include_directories(tavo_game PUBLIC ${CMAKE_SOURCE_DIR})

add_executable(tavo_engine_native tavoengine/main.cpp)
target_link_libraries(tavo_engine_native tavo_game)
set_target_properties(tavo_engine_native PROPERTIES OUTPUT_NAME tavo)

file(GLOB PIXO_UNIT_TESTS ${CMAKE_SOURCE_DIR}/tests/unit/pixo_*.cpp)
add_executable(pixo_unit_tests ${PIXO_UNIT_TESTS})
find_package(PNG REQUIRED)
find_package(GIF REQUIRED)
target_link_libraries(pixo_unit_tests pixo_pure PNG::PNG GIF::GIF GTest::gtest_main)
add_test(NAME pixo_unit_tests COMMAND pixo_unit_tests)

file(GLOB TAVO_UNIT_TESTS ${CMAKE_SOURCE_DIR}/tests/unit/tavo_*.cpp)
add_executable(tavo_unit_tests ${TAVO_UNIT_TESTS})
target_link_libraries(tavo_unit_tests tavo_pure tavo_game GTest::gtest_main)
target_compile_definitions(tavo_unit_tests PRIVATE TAVO_ENGINE_PATH="$<TARGET_FILE:tavo_engine_native>")
add_dependencies(tavo_unit_tests tavo_engine_native)
add_test(NAME tavo_unit_tests COMMAND tavo_unit_tests)

# Benchmarks of the pure code (speed targets are measured here, never in tests).
find_package(PNG)
find_package(GIF)
if(PNG_FOUND AND GIF_FOUND)
  add_executable(bench_imaging bench/bench_imaging.cpp)
  target_link_libraries(bench_imaging pixo_pure PNG::PNG GIF::GIF)
  target_compile_options(bench_imaging PRIVATE -O2)
endif()
add_executable(bench_engine bench/bench_engine.cpp)
target_link_libraries(bench_engine tavo_game)

# Fuzzing the summary parser (clang only).
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(fuzz_summary tests/fuzz/fuzz_summary.cpp engine/summary.cpp engine/text_io.cpp)
  target_include_directories(fuzz_summary PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(fuzz_summary PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_summary PRIVATE -fsanitize=fuzzer)
endif()
