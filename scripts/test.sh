#!/usr/bin/env bash
# Every test: native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# the listener list, the dispatcher and the parallel PNG writer under ThreadSanitizer, a
# short fuzzing run of every parser and writer, the x86 type library,
# the shipped files' headers, and the end-to-end tests of the deliverables under Wine for
# each architecture this machine runs.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
total_pass=0
total_fail=0
# Counts a ctest run: its exit status decides whether it failed; its closing line gives
# how many tests passed and failed, for the totals. A run that failed without saying how
# many tests did counts as one failure.
count() {  # log exit-status
  local log=$1 rc=$2
  local p f
  p=$(grep -oE '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$p" ]; then
    f=$(echo "$p" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+)/\1 \2/')
    set -- $f
    total_pass=$((total_pass + $2 - $1))
    total_fail=$((total_fail + $1))
    [ "$rc" -eq 0 ] || [ "$1" -gt 0 ] || total_fail=$((total_fail + 1))
  elif [ "$rc" -ne 0 ]; then
    total_fail=$((total_fail + 1))
  fi
}

echo "== native unit tests (ASan, UBSan)"
(cd build/native && ctest --output-on-failure) | tee build/native-ctest.log
count build/native-ctest.log "${PIPESTATUS[0]}"

echo "== listener list, dispatcher and the parallel PNG writer under ThreadSanitizer"
bash scripts/native-config.sh build/native-tsan -DPIXO_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/native-tsan --target tavo_unit_tests tavo_engine pixo_unit_tests >/dev/null
(cd build/native-tsan && ctest -R tavo_unit_tests --output-on-failure) | tee build/native-tsan-ctest.log
count build/native-tsan-ctest.log "${PIPESTATUS[0]}"
(cd build/native-tsan && GTEST_FILTER='ParallelPng.*:PngEncoder.*' ctest -R pixo_unit_tests --output-on-failure) |
  tee build/native-tsan-png-ctest.log
count build/native-tsan-png-ctest.log "${PIPESTATUS[0]}"

echo "== fuzzing every parser and image writer briefly"
if bash scripts/fuzz.sh "${FUZZ_SECONDS:-8}"; then total_pass=$((total_pass + 1)); else total_fail=$((total_fail + 1)); fi

echo "== includes are root-relative (the layers' include paths are the only way in)"
if grep -rnE '#include "\.\./' pixo tavo demo tests bench; then
  total_fail=$((total_fail + 1))
else
  echo "no relative include"
  total_pass=$((total_pass + 1))
fi

echo "== the x86 type library against the 64-bit and the 32-bit Wine's stdole2.tlb"
bash tests/dist/tlb_same.sh
case $? in
  0) total_pass=$((total_pass + 1)) ;;
  2) ;;  # no 32-bit Wine here: said so, counted neither way
  *) total_fail=$((total_fail + 1)) ;;
esac

echo "== the shipped files' PE headers"
if python3 tests/dist/check_pe.py dist; then total_pass=$((total_pass + 1)); else total_fail=$((total_fail + 1)); fi

# The end-to-end suites run for every architecture this machine runs (or PIXO_ARCHS).
source scripts/arch.sh
if arch_detect; then
  e2e="end to end: $(arch_summary)"
  for arch in $PIXO_RUN_ARCHS; do
    echo "== end to end under Wine: $arch"
    export PIXO_ARCH=$arch
    if ! source scripts/wine-env.sh; then
      echo "the $arch Wine prefix could not be set up"
      total_fail=$((total_fail + 1))
      continue
    fi
    bash scripts/printer-setup.sh
    (cd "$PIXO_WIN" && ctest --output-on-failure) | tee "build/wine-ctest-$arch.log"
    count "build/wine-ctest-$arch.log" "${PIPESTATUS[0]}"
  done
else
  e2e="end to end: none ran"
  total_fail=$((total_fail + 1))
fi

echo
echo "$e2e"
echo "total: $total_pass passed, $total_fail failed"
[ "$total_fail" -eq 0 ]
