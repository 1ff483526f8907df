#!/usr/bin/env bash
# Configures and builds one architecture: scripts/build.sh x86_64|i686 [build dir]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
ARCH="${1:-x86_64}"
DIR="${2:-$ROOT/build/$ARCH}"
cmake -S "$ROOT" -B "$DIR" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$ARCH.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$DIR" -- -k 0
