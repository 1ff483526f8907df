#!/usr/bin/env bash
# ctest's runner for one Windows test program under Wine. A Windows process
# that the program starts (Wine starts some of its own on demand) inherits the
# program's output; were that ctest's pipe, ctest would wait until the last of
# them closed it and end a passed test as timed out. So the program writes
# into a file, and a reader that ends with this script passes the file on to
# ctest as it grows (also when ctest stops the script at its time limit).
# Usage: scripts/wine-test.sh PROGRAM.exe [arguments...]
set -uo pipefail
output="$(mktemp "${TMPDIR:-/tmp}/tl-test-output.XXXXXX")"
(
    tail -n +1 -s 0.2 -f --pid=$$ "$output"
    rm -f "$output"
) &
wine "$@" >"$output" 2>&1 </dev/null
exit $?
