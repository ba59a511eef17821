#!/usr/bin/env bash
# Runs one end-to-end test script with its output going to a file, then prints the file.
# Wine's background processes can outlive a test and keep whatever output they inherited
# open: a file they hold costs nothing, a pipe they hold keeps the test runner waiting
# for its end until the test's time limit. The script gets a limit of its own, below the
# runner's, so that what it printed is shown even when it hangs.
log=$(mktemp "${TMPDIR:-/tmp}/wine-test-log.XXXXXX")
timeout -k 10 840 bash "$1" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
[ "$rc" -ne 124 ] || echo "$(basename "$1"): stopped after 840 s"
rm -f "$log"
exit $rc
