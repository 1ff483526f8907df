#!/usr/bin/env bash
# Installs what is missing, builds the 64-bit program and starts it under
# Wine. Arguments are passed to the program (e.g. -enc PATH, or a .lock path).
# Without a DISPLAY it runs on a private Xvfb screen and saves a screenshot
# to build/run-screenshot.png after a few seconds.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh" x86_64 "$ROOT/build/x86_64" >/dev/null

export WINEPREFIX="$ROOT/build/x86_64/wineprefix"
[[ -n "${DISPLAY:-}" ]] && export TL_USE_DISPLAY=1
source "$ROOT/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start

EXE="$ROOT/build/x86_64/Tessalock.exe"
echo "Starting $EXE under Wine on display $DISPLAY"
wine "$EXE" "$@" &
PID=$!
if [[ -n "$TL_XVFB_PID" ]]; then
    sleep 5
    import -window root "$ROOT/build/run-screenshot.png" 2>/dev/null &&
        echo "No display was set: screenshot saved to build/run-screenshot.png"
fi
set +e
wait $PID
CODE=$?
echo "Tessalock exited with code $CODE"
exit 0
