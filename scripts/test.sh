#!/usr/bin/env bash
# Installs what is missing, checks the house rules a tool can check
# (scripts/check-style.sh: the code's layout and the layers' includes),
# builds both architectures and runs every test: the 64-bit build under this
# machine's Wine, then the shipped 32-bit build under a Wine that runs 32-bit
# Windows code, in a test machine (scripts/i686-vm.sh). Exit status is
# non-zero when a check, a build or a test fails.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"

# TL_BUILD_ROOT picks another build folder (default build/); TL_SKIP_I686=1
# skips the 32-bit build and its tests during development. --long runs the
# fuzzer and the crash tests much longer (about an hour). Extra arguments go
# to both ctest runs.
if [[ "${1:-}" == "--long" ]]; then
    shift
    export TL_FUZZ_CASES="${TL_FUZZ_CASES:-200000}" TL_CRASH_TRIALS="${TL_CRASH_TRIALS:-25}"
fi
BUILD_ROOT="${TL_BUILD_ROOT:-$ROOT/build}"

# The checks take seconds; their result is reported with the tests' at the
# end, so that a layout slip does not hide what the tests say.
echo "== Style checks"
style_status=0
"$ROOT/scripts/check-style.sh" || style_status=$?

# Each step's time goes into the summary: the whole command is meant to
# stay under 20 minutes on a busy two-core machine.
times=()
step_started=$SECONDS
step_done() {
    times+=("$1 $((SECONDS - step_started)) s")
    step_started=$SECONDS
}

if [[ -z "${TL_SKIP_I686:-}" ]]; then
    # Only what the test machine runs: the rest of the 32-bit tree is the
    # same source as the 64-bit one, built and tested below.
    "$ROOT/scripts/build.sh" i686 "$BUILD_ROOT/i686" tl_i686_run
    step_done "i686 build"
fi
"$ROOT/scripts/build.sh" x86_64 "$BUILD_ROOT/x86_64"
step_done "x86_64 build"

echo "== x86_64 tests (this machine's Wine)"
x86_64_status=0
WINEPREFIX="$BUILD_ROOT/x86_64/wineprefix" "$ROOT/scripts/wine-ctest.sh" "$BUILD_ROOT/x86_64" "$@" ||
    x86_64_status=$?
step_done "x86_64 tests"

i686_result="skipped (TL_SKIP_I686)"
i686_status=0
if [[ -z "${TL_SKIP_I686:-}" ]]; then
    echo "== i686 tests (Wine in new WoW64 mode, in the test machine)"
    "$ROOT/scripts/i686-vm.sh" "$BUILD_ROOT/i686" "$@" || i686_status=$?
    step_done "i686 tests"
    i686_result="$( ((i686_status == 0)) && echo passed || echo "FAILED (status $i686_status)")"
    [[ $(id -u) -ne 0 ]] && i686_result="skipped (needs root)"
fi

x86_64_result="$( ((x86_64_status == 0)) && echo passed || echo "FAILED (status $x86_64_status)")"
style_result="$( ((style_status == 0)) && echo passed || echo FAILED)"
echo "== Times: ${times[*]/%/;} all $SECONDS s"
echo "== Summary: style checks $style_result; x86_64 tests $x86_64_result; i686 tests $i686_result"
((style_status == 0 && x86_64_status == 0 && i686_status == 0))
