#!/usr/bin/env bash
# Runs the benchmark program under Wine with the given options, e.g.
#
#   bench/run.sh --jobs                     every job scenario (about 3 GiB of free space)
#   bench/run.sh --jobs --scenario b        one scenario
#   bench/run.sh --jobs --percent 5         a quick smoke run of all three
#
# TL_BENCH_BUILD picks the x86_64 build folder (default build/x86_64); it is
# built first when the benchmark program is missing. Exits with the program's
# status (0 all targets met, 3 a target missed, 1 a failure).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${TL_BENCH_BUILD:-$ROOT/build/x86_64}"
EXE="$BUILD/bench/tessalock_bench.exe"
[[ -f "$EXE" ]] || "$ROOT/scripts/build.sh" x86_64 "$BUILD"

export WINEPREFIX="$BUILD/wineprefix"
source "$ROOT/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start
status=0
wine "$EXE" "$@" || status=$?
exit "$status"
