#!/usr/bin/env bash
# Configures and builds one architecture:
#   scripts/build.sh x86_64|i686 [build dir [target...]]
# Without targets everything is built: the program, the packages, every test
# program and the benchmark.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
ARCH="${1:-x86_64}"
DIR="${2:-$ROOT/build/$ARCH}"
TARGETS=("${@:3}")
cmake -S "$ROOT" -B "$DIR" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$ARCH.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
if [[ ${#TARGETS[@]} -gt 0 ]]; then
    cmake --build "$DIR" --target "${TARGETS[@]}" -- -k 0
else
    cmake --build "$DIR" -- -k 0
fi
