#!/usr/bin/env bash
# Runs one end-to-end test script with its output going to a file, then prints the file.
# Wine's background processes can outlive a test and keep whatever output they inherited
# open: a file they hold costs nothing, a pipe they hold keeps the test runner waiting
# for its end until the test's time limit.
log=$(mktemp "${TMPDIR:-/tmp}/wine-test-log.XXXXXX")
bash "$1" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
rm -f "$log"
exit $rc
