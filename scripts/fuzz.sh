#!/usr/bin/env bash
# Fuzzes the summary parser for the given number of seconds (default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
corpus=$root/build/fuzz-corpus
mkdir -p "$corpus"
printf 'INFO: 1\nPOINT: (3:2)\nHANDS: 10:7\nFORECAST: (0.5, 0.25, 0.25)\nNEXT HAND: 2\n' >"$corpus/seed1"
printf 'PATTERN: 3\nDATA: (1\n:\n\nINFO:\nFORECAST: 1,,\n' >"$corpus/seed2"
"$root/build/native/bin/fuzz_summary" -max_total_time="$seconds" -max_len=2048 "$corpus" 2>&1 | tail -n 3
