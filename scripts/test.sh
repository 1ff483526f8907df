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

# The shipped 32-bit build must compile; it cannot run on this kernel.
if [[ -z "${TL_SKIP_I686:-}" ]]; then
    "$ROOT/scripts/build.sh" i686 "$BUILD_ROOT/i686"
fi
"$ROOT/scripts/build.sh" x86_64 "$BUILD_ROOT/x86_64"

BUILD="$BUILD_ROOT/x86_64"
export WINEPREFIX="$BUILD/wineprefix"
source "$ROOT/scripts/wine-env.sh"

# A tiny tmpfs mapped as drive T: is a real full disk for the disk-full tests
# (root only; those tests skip themselves without it).
FULLDISK="$BUILD/fulldisk"
cleanup() {
    # The stand-in browser (below) is for the tests only; run.sh shares the prefix.
    wine reg delete 'HKCU\Software\Wine\WineBrowser' /v Browsers /f >/dev/null 2>&1 </dev/null || true
    wine_env_stop
    if mountpoint -q "$FULLDISK" 2>/dev/null; then umount "$FULLDISK" || true; fi
    rm -f "$WINEPREFIX/dosdevices/t:"
}
trap cleanup EXIT
wine_env_start
if [[ $(id -u) -eq 0 ]]; then
    mkdir -p "$FULLDISK"
    mountpoint -q "$FULLDISK" || mount -t tmpfs -o size=1m tmpfs "$FULLDISK" || true
    mountpoint -q "$FULLDISK" && ln -sfn "$FULLDISK" "$WINEPREFIX/dosdevices/t:"
fi

# The prefix's web browser is a stand-in that only notes the addresses it is
# asked to show (tests/support/browser_stand_in.sh).
export TL_BROWSER_LOG="$BUILD/browser-requests.log"
: > "$TL_BROWSER_LOG"
wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$ROOT/tests/support/browser_stand_in.sh" \
    /f >/dev/null 2>&1 </dev/null

cd "$BUILD"
ctest --output-on-failure --timeout 600 -j2 "$@"
