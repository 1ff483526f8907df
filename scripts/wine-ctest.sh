#!/usr/bin/env bash
# Runs ctest in one build folder under Wine: starts the Wine set-up (Xvfb,
# wineserver, wineboot, in that order), maps a tiny tmpfs as drive T: for the
# disk-full tests when run as root, runs ctest and stops everything again.
# Used for the 64-bit tests on this machine and for the 32-bit tests inside
# the test machine of scripts/i686-vm.sh.
# Usage: scripts/wine-ctest.sh BUILD_DIR [ctest arguments...]
# WINEPREFIX defaults to BUILD_DIR/wineprefix. Exit status is ctest's.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "$1" && pwd)"
shift

export WINEPREFIX="${WINEPREFIX:-$BUILD/wineprefix}"
source "$ROOT/scripts/wine-env.sh"

# A tiny tmpfs mapped as drive T: is a real full disk for the disk-full tests
# (root only; those tests skip themselves without it).
FULLDISK="$BUILD/fulldisk"
cleanup() {
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

cd "$BUILD"
ctest --output-on-failure --timeout "${TL_CTEST_TIMEOUT:-600}" -j2 "$@"
