#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) from its seed corpus in tests/fuzz/corpus,
# each for the given number of seconds, or for a number of executions with "runs:N".
# The corpus each run grows is kept in build/fuzz-corpus. Prints the executions, the
# coverage and the corpus of each target; fails when a target finds a fault (its input
# is left in build/fuzz-crashes).
#   scripts/fuzz.sh 30                  every target, 30 s each
#   scripts/fuzz.sh runs:10000000 png   ten million inputs through the PNG writer
# FUZZ_BUILD chooses the build folder of the targets (default build/native, the
# address-sanitized build; build/fuzz-long has the undefined-behaviour sanitizer alone).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
limit=${1:-30}
shift || true
targets=${*:-summary dispatcher cmdline png gif}
case $limit in
  runs:*) budget=(-runs="${limit#runs:}") ;;
  *) budget=(-max_total_time="$limit") ;;
esac
failed=0
mkdir -p "$root/build/fuzz-crashes"
printf '%-11s %14s %8s %8s %8s %8s\n' target executions seconds exec/s cov corpus
for t in $targets; do
  bin=$root/${FUZZ_BUILD:-build/native}/bin/fuzz_$t
  corpus=$root/build/fuzz-corpus/$t
  mkdir -p "$corpus"
  log=$root/build/fuzz-$(basename "${FUZZ_BUILD:-build/native}")-$t.log
  start=$(date +%s.%N)
  "$bin" "${budget[@]}" -max_len=4096 -print_final_stats=1 -artifact_prefix="$root/build/fuzz-crashes/$t-" \
    "$corpus" "$root/tests/fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  end=$(date +%s.%N)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -aoE 'cov: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
  corp=$(grep -aoE 'corp: [0-9]+' "$log" | tail -n 1 | cut -d' ' -f2)
  secs=$(python3 -c "print('%.0f' % ($end - $start))")
  rate=$(python3 -c "print('%.0f' % (${runs:-0} / max(1e-9, $end - $start)))")
  printf '%-11s %14s %8s %8s %8s %8s\n' "$t" "${runs:-?}" "$secs" "$rate" "${cov:-?}" "${corp:-?}"
  if [ $rc -ne 0 ]; then
    failed=1
    echo "fuzz_$t found a fault (exit $rc); the end of its log, $log:"
    tail -n 30 "$log"
  fi
done
exit $failed
