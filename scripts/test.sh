#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test
# (the 64-bit build, under Wine and Xvfb). Exit status is non-zero when a
# build or a test fails.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"

# The shipped 32-bit build must compile; it cannot run on this kernel.
"$ROOT/scripts/build.sh" i686 "$ROOT/build/i686"
"$ROOT/scripts/build.sh" x86_64 "$ROOT/build/x86_64"

BUILD="$ROOT/build/x86_64"
export WINEPREFIX="$BUILD/wineprefix"
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
ctest --output-on-failure --timeout 600 -j2 "$@"
