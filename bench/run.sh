#!/usr/bin/env bash
# Runs the benchmark program under Wine with the given options, e.g.
#
#   bench/run.sh --jobs                     scenarios a, b, c (about 3 GiB of free space)
#   bench/run.sh --jobs --scenario b        one scenario (m: 100,000 files, for memory)
#   bench/run.sh --jobs --percent 5         a quick smoke run of all three
#
# The job scenarios also run the real program under the private Xvfb display
# that wine-env.sh starts, and call Linux's cp through Wine.
#
# Before Wine starts, OpenSSL's own AES-256-GCM is measured natively over
# 1 MiB messages (`openssl speed`, 3 s) and handed to the program
# (--openssl-gcm-mbps), which holds the authenticated container's cipher
# against it. Without openssl that figure is left out.
#
# TL_BENCH_BUILD picks the x86_64 build folder (default build/x86_64), which
# is brought up to date first. TL_BENCH_FRESH_FS_GB=N
# (root only) runs on a new, empty ext4 file system of N GiB made in a file
# of the build folder and mounted for this run: file creation on a disk that
# others keep filling and emptying varies several-fold from run to run, on a
# fresh one it does not. Exits with the program's status (0 all targets met,
# 3 a target missed, 1 a failure).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${TL_BENCH_BUILD:-$ROOT/build/x86_64}"
EXE="$BUILD/bench/tessalock_bench.exe"
# Incremental: a no-op when nothing changed, and never a stale program.
"$ROOT/scripts/build.sh" x86_64 "$BUILD" >&2

export WINEPREFIX="$BUILD/wineprefix"
source "$ROOT/scripts/wine-env.sh"

FRESH_IMAGE="$BUILD/bench-fs.img"
FRESH_MOUNT="$BUILD/bench-fs"
cleanup() {
    wine_env_stop
    if mountpoint -q "$FRESH_MOUNT" 2>/dev/null; then umount "$FRESH_MOUNT" || true; fi
    rm -f "$FRESH_IMAGE"
}
trap cleanup EXIT
extra=()
if [[ -n "${TL_BENCH_FRESH_FS_GB:-}" ]]; then
    [[ $(id -u) -eq 0 ]] || { echo "TL_BENCH_FRESH_FS_GB needs root" >&2; exit 1; }
    mkdir -p "$FRESH_MOUNT"
    truncate -s "${TL_BENCH_FRESH_FS_GB}G" "$FRESH_IMAGE"
    mkfs.ext4 -q -F "$FRESH_IMAGE"
    mount -o loop "$FRESH_IMAGE" "$FRESH_MOUNT"
    # Wine's drive Z: is the Linux root.
    extra=(--folder "Z:${FRESH_MOUNT//\//\\}")
fi
# OpenSSL prints thousands of bytes per second; MB/s (10^6) like ours.
openssl_gcm() {
    openssl speed -evp aes-256-gcm -bytes 1048576 -seconds 3 2>/dev/null |
        awk 'toupper($1) == "AES-256-GCM" { v = $NF; sub("k$", "", v); printf "%.1f\n", v / 1000 }'
}
if [[ " $* " != *" --rc4-only "* ]]; then
    gcm=""
    command -v openssl >/dev/null && gcm="$(openssl_gcm || true)"
    if [[ -n "$gcm" ]]; then
        echo "OpenSSL AES-256-GCM (native, 1 MiB messages): $gcm MB/s" >&2
        extra+=(--openssl-gcm-mbps "$gcm")
    else
        echo "openssl speed gave no AES-256-GCM figure: the cipher is not compared" >&2
    fi
fi

wine_env_start
status=0
wine "$EXE" "${extra[@]}" "$@" || status=$?
exit "$status"
