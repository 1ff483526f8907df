#!/usr/bin/env bash
# Runs ctest in one build folder under Wine: starts the Wine set-up (Xvfb,
# wineserver, wineboot, in that order, and a second prefix at 144 DPI), maps
# memory file systems as drives T: (a tiny one: a real full disk for the
# disk-full tests) and F: (for the fuzzer) when run as root, runs ctest, checks
# that no test wrote outside its scratch folders, and stops everything again.
# Used for the 64-bit tests on this machine and for the 32-bit tests inside
# the test machine of scripts/i686-vm.sh.
# Usage: scripts/wine-ctest.sh BUILD_DIR [ctest arguments...]
# WINEPREFIX defaults to BUILD_DIR/wineprefix. Exit status is ctest's, or 1
# when the run changed what it must not.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "$1" && pwd)"
shift

export WINEPREFIX="${WINEPREFIX:-$BUILD/wineprefix}"
source "$ROOT/scripts/wine-env.sh"

# Without them the disk-full tests skip themselves and the fuzzer uses the
# temporary folder (slower: every restored file is forced to the disk).
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
# The layout tests run a second time in a prefix whose screen has 144 DPI;
# that prefix is started only when the selected tests include them (a run of
# one test program needs only the main prefix). The list is read whole
# before it is searched: with pipefail, "ctest -N | grep -q" is false
# whenever grep stops reading before ctest has written its last line (on a
# busy machine the 144-DPI run then found the prefix missing).
selected="$(cd "$BUILD" && ctest -N "$@" 2>/dev/null || true)"
if grep -q 'layout_tests_144dpi' <<<"$selected"; then
    wine_dpi_prefix_start 144
fi
map_tmpfs() { # folder size letter
    mkdir -p "$1"
    mountpoint -q "$1" || mount -t tmpfs -o "size=$2" tmpfs "$1" || true
    if mountpoint -q "$1"; then ln -sfn "$1" "$WINEPREFIX/dosdevices/$3:"; fi
}
if [[ $(id -u) -eq 0 ]]; then
    map_tmpfs "$FULLDISK" 1m t
    map_tmpfs "$FUZZDISK" 256m f
fi

# The prefix's web browser is a stand-in that only notes the addresses it is
# asked to show (tests/support/browser_stand_in.sh).
export TL_BROWSER_LOG="$BUILD/browser-requests.log"
: >"$TL_BROWSER_LOG"
wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$ROOT/tests/support/browser_stand_in.sh" \
    /f >/dev/null 2>&1 </dev/null

# No test may write outside its scratch folders: the top of the file system
# and the prefix's drive list must be the same after the run as before.
snapshot() { ls -A / ; echo ---; ls -A "$WINEPREFIX/dosdevices"; }
before="$(snapshot)"

cd "$BUILD"
status=0
ctest --output-on-failure --timeout "${TL_CTEST_TIMEOUT:-600}" -j2 "$@" || status=$?
after="$(snapshot)"
if [[ "$before" != "$after" ]]; then
    echo "The test run changed the top of the file system or the drive list:" >&2
    diff <(echo "$before") <(echo "$after") >&2 || true
    status=1
fi
exit "$status"
