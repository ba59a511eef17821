# make demo   builds everything, starts the virtual display and Wine, captures the screen
#             into out/ and plays a game through the control
# make test   every test, native and under Wine (what CI runs)
# make dist   the shipped files: 32-bit in dist/, 64-bit in dist/x64/
# make bench  the benchmarks
#
# PIXO_ARCHS="x64" (or "x86", or "x86 x64") chooses the architectures whose Windows
# programs are run under Wine; by default, every one this machine can run.
SHELL := /bin/bash
ROOT := $(CURDIR)
NATIVE := build/native
WIN32 := build/win32
WIN64 := build/win64
JOBS := $(shell nproc)

.PHONY: all setup native win32 win64 windows demo test fuzz dist bench clean

all: native windows

setup:
	@bash scripts/setup.sh
	@bash scripts/deps.sh x86
	@bash scripts/deps.sh x64

native: setup
	@bash scripts/native-config.sh $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	@cmake --build $(NATIVE) -j$(JOBS)

win32: setup
	@cmake -S . -B $(WIN32) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN32) -j$(JOBS)

win64: setup
	@cmake -S . -B $(WIN64) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(WIN64) -j$(JOBS)

windows: win32 win64

demo: windows
	@bash scripts/demo.sh

test: native dist
	@bash scripts/test.sh

fuzz: native
	@bash scripts/fuzz.sh $(or $(FUZZ_SECONDS),60)

dist: windows
	@mkdir -p dist/x64
	@cp $(WIN32)/pixo.exe $(WIN32)/tavo.exe $(WIN32)/Tavo.ocx $(WIN32)/Tavo.manifest $(WIN32)/tavoplay.exe dist/
	@cp $(WIN64)/pixo.exe $(WIN64)/tavo.exe $(WIN64)/Tavo.ocx $(WIN64)/Tavo.manifest $(WIN64)/tavoplay.exe dist/x64/
	@bash tests/dist/check_versions.sh $$(sed -n 's/^#define PRODUCT_VERSION_DOTS "\(.*\)"/\1/p' $(WIN64)/version/version.h) dist dist/x64
	@ls -l dist dist/x64

bench: native windows
	@bash scripts/bench.sh

clean:
	rm -rf $(NATIVE) $(WIN32) $(WIN64) out dist
