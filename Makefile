# make demo   builds everything, starts the virtual display and Wine, captures the screen
#             into out/ and plays a game through the control
# make test   every test, native and under Wine (what CI runs)
# make dist   the shipped files in dist/
# make bench  the benchmarks
SHELL := /bin/bash
ROOT := $(CURDIR)
NATIVE := build/native
WIN32 := build/win32
JOBS := $(shell nproc)

.PHONY: all setup native win32 demo test test-native test-wine fuzz dist bench clean

all: native win32

setup:
	@bash scripts/setup.sh
	@bash scripts/deps.sh

native: setup
	@cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

win32: setup
	@cmake -S . -B $(WIN32) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN32) -j$(JOBS)

demo: win32
	@bash scripts/demo.sh

test: native win32
	@bash scripts/test.sh

fuzz: native
	@bash scripts/fuzz.sh 30

dist: win32
	@mkdir -p dist
	@cp $(WIN32)/pixo.exe $(WIN32)/tavo.exe $(WIN32)/Tavo.ocx dist/
	@ls -l dist

bench: native win32
	@bash scripts/bench.sh

clean:
	rm -rf $(NATIVE) $(WIN32) out dist
