#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test
# (the 64-bit build, under Wine and Xvfb). Exit status is non-zero when a
# build or a test fails.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"

# TL_BUILD_ROOT picks another build folder (default build/); TL_SKIP_I686=1
# skips the 32-bit build during development. --long runs the fuzzer and the
# crash tests much longer (about an hour). Extra arguments go to ctest.
if [[ "${1:-}" == "--long" ]]; then
    shift
    export TL_FUZZ_CASES="${TL_FUZZ_CASES:-200000}" TL_CRASH_TRIALS="${TL_CRASH_TRIALS:-25}"
fi
BUILD_ROOT="${TL_BUILD_ROOT:-$ROOT/build}"

# The shipped 32-bit build must compile; it cannot run on this kernel.
if [[ -z "${TL_SKIP_I686:-}" ]]; then
    "$ROOT/scripts/build.sh" i686 "$BUILD_ROOT/i686"
fi
"$ROOT/scripts/build.sh" x86_64 "$BUILD_ROOT/x86_64"

BUILD="$BUILD_ROOT/x86_64"
export WINEPREFIX="$BUILD/wineprefix"
source "$ROOT/scripts/wine-env.sh"

# A tiny tmpfs mapped as drive T: is a real full disk for the disk-full tests,
# and a larger one as drive F: lets the fuzzer restore thousands of small
# containers without waiting for a disk (root only; without them the
# disk-full tests skip themselves and the fuzzer uses the temporary folder).
FULLDISK="$BUILD/fulldisk"
FUZZDISK="$BUILD/fuzzdisk"
cleanup() {
    # The stand-in browser (below) is for the tests only; run.sh shares the prefix.
    wine reg delete 'HKCU\Software\Wine\WineBrowser' /v Browsers /f >/dev/null 2>&1 </dev/null || true
    wine_env_stop
    for mount in "$FULLDISK" "$FUZZDISK"; do
        if mountpoint -q "$mount" 2>/dev/null; then umount "$mount" || true; fi
    done
    rm -f "$WINEPREFIX/dosdevices/t:" "$WINEPREFIX/dosdevices/f:"
}
trap cleanup EXIT
wine_env_start
map_tmpfs() { # folder size letter
    mkdir -p "$1"
    mountpoint -q "$1" || mount -t tmpfs -o "size=$2" tmpfs "$1" || true
    if mountpoint -q "$1"; then ln -sfn "$1" "$WINEPREFIX/dosdevices/$3:"; fi
}
# The layout tests run a second time in a prefix whose screen has 144 DPI.
wine_dpi_prefix_start 144
if [[ $(id -u) -eq 0 ]]; then
    map_tmpfs "$FULLDISK" 1m t
    map_tmpfs "$FUZZDISK" 256m f
fi

# No test may write outside its scratch folders: the top of the file system
# and the prefix's drive list must be the same after the run as before.
snapshot() { ls -A / ; echo ---; ls -A "$WINEPREFIX/dosdevices"; }
before="$(snapshot)"

# The prefix's web browser is a stand-in that only notes the addresses it is
# asked to show (tests/support/browser_stand_in.sh).
export TL_BROWSER_LOG="$BUILD/browser-requests.log"
: > "$TL_BROWSER_LOG"
wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$ROOT/tests/support/browser_stand_in.sh" \
    /f >/dev/null 2>&1 </dev/null

cd "$BUILD"
status=0
ctest --output-on-failure --timeout 600 -j2 "$@" || status=$?
after="$(snapshot)"
if [[ "$before" != "$after" ]]; then
    echo "The test run changed the top of the file system or the drive list:" >&2
    diff <(echo "$before") <(echo "$after") >&2 || true
    status=1
fi
exit "$status"
