#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test
# (the 64-bit build, under Wine and Xvfb). Exit status is non-zero when a
# build or a test fails.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"

# TL_BUILD_ROOT picks another build folder (default build/); TL_SKIP_I686=1
# skips the 32-bit build during development. Extra arguments go to ctest.
BUILD_ROOT="${TL_BUILD_ROOT:-$ROOT/build}"

if [[ -z "${TL_SKIP_I686:-}" ]]; then
    "$ROOT/scripts/build.sh" i686 "$BUILD_ROOT/i686"
fi
"$ROOT/scripts/build.sh" x86_64 "$BUILD_ROOT/x86_64"

echo "== x86_64 tests (this machine's Wine)"
x86_64_status=0
WINEPREFIX="$BUILD_ROOT/x86_64/wineprefix" "$ROOT/scripts/wine-ctest.sh" "$BUILD_ROOT/x86_64" "$@" ||
    x86_64_status=$?

x86_64_result="$( ((x86_64_status == 0)) && echo passed || echo "FAILED (status $x86_64_status)")"
echo "== Summary: x86_64 tests $x86_64_result"
((x86_64_status == 0))
