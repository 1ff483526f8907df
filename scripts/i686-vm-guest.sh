#!/usr/bin/env bash
# Runs inside the test machine of scripts/i686-vm.sh, started by its init once
# the source tree and the 32-bit build folder are mounted at the paths they
# have on the host. Runs the 32-bit tests under the machine's Wine with
# scripts/wine-ctest.sh, passing the ctest arguments the host left in
# BUILD/vm-run/ctest-args, and writes ctest's exit status to
# BUILD/vm-run/status for the host.
# Usage (inside the machine): i686-vm-guest.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
SRC="$1"
BUILD="$2"
RUN="$BUILD/vm-run"

export HOME=/root
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
# Wine maps Windows file names to Linux ones through the locale's character
# set: without UTF-8, names outside ASCII cannot be created.
export LANG=C.UTF-8

# The point of this machine: 32-bit Windows code with no 32-bit Linux
# binaries at all. Say which Wine runs the tests, and refuse a machine that
# would run them some other way.
echo "Test machine: $(uname -sr), $(wine --version 2>/dev/null)"
if [[ -n "$(dpkg --print-foreign-architectures)" ]]; then
    echo "the test machine has foreign architectures: $(dpkg --print-foreign-architectures)" >&2
    echo 1 >"$RUN/status"
    exit 1
fi

args=()
if [[ -s "$RUN/ctest-args" ]]; then
    mapfile -d '' args <"$RUN/ctest-args"
fi
# The prefix lives on the machine's own disk, which the host keeps between
# runs: making a new one takes minutes on the emulated processor. Wine never
# redoes a set-up that was cut short, so a prefix counts only once its
# set-up has ended.
export WINEPREFIX=/var/lib/tessalock-tests/wineprefix
if [[ ! -f "$WINEPREFIX/.tessalock-ready" ]]; then
    echo "Setting up the Wine prefix (the first run only; several minutes)"
    rm -rf "$WINEPREFIX"
    (
        source "$SRC/scripts/wine-env.sh"
        wine_env_start && touch "$WINEPREFIX/.tessalock-ready"
        wine_env_stop
    )
    echo "Wine prefix set up in $SECONDS s"
fi

# The emulated processor is many times slower than the host's (a fuzz case
# takes about 2 s here on a busy host, 15 ms there): only the tests labelled
# i686 run here (what can differ between the architectures, and the real
# program end to end; cmake/TessalockTest.cmake says which), the fuzzer a
# short round (its full round runs in the 64-bit tests).
export TL_FUZZ_CASES="${TL_I686_FUZZ_CASES:-100}"
# The tests' waits for windows and programs, five times as long (as ctest's
# time limits are for this build).
export TL_WAIT_SCALE=5
args+=(-L '^i686$')

# Through a pipe, ctest does not colour its output for the console.
"$SRC/scripts/wine-ctest.sh" "$BUILD" "${args[@]}" | cat
echo "${PIPESTATUS[0]}" >"$RUN/status"
