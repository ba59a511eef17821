#!/usr/bin/env bash
# Configures a native (Linux, clang) build folder with the given CMake options. A folder
# from before the tree had a tavo/ folder holds a program file "tavo" where the build
# now puts that folder: such a folder is made anew.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
[ ! -f "$dir/tavo" ] || rm -rf "$dir"
cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang "$@" >/dev/null
