#!/usr/bin/env bash
# scripts/run.sh on a machine without a display serves the program's screen
# to a browser. This starts it as such a machine would (no DISPLAY, a fresh
# Wine prefix of its own), opens the printed address in headless Chromium,
# and checks that the page shows the main window: rows of the window's
# pixels, cut from the private screen itself, must appear in the page's
# screenshot (tests/run/page_shows_window.py). Everything goes into a scratch
# folder that is removed again.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/tessalock-browser-view.XXXXXX")"
RUN_PID=""
finish() {
    if [[ -n "$RUN_PID" ]]; then
        kill -TERM "$RUN_PID" 2>/dev/null || true
        wait "$RUN_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap finish EXIT

env -u DISPLAY TL_RUN_WINEPREFIX="$WORK/prefix" "$ROOT/scripts/run.sh" >"$WORK/run.log" 2>&1 &
RUN_PID=$!
address=""
for _ in $(seq 1 600); do
    address="$(grep -o 'http://127\.0\.0\.1:[0-9]*/[^ ]*' "$WORK/run.log" || true)"
    [[ -n "$address" ]] && break
    kill -0 "$RUN_PID" 2>/dev/null || break
    sleep 0.5
done
[[ -n "$address" ]] || { echo "run.sh printed no address:"; cat "$WORK/run.log"; exit 1; }
# What it prints is for the user: the address, no diagnostics of the set-up.
if grep -q 'prefix up' "$WORK/run.log"; then
    echo "run.sh printed the prefix check's diagnostics:"; cat "$WORK/run.log"; exit 1
fi
screen="$(grep -o 'private screen :[0-9]*' "$WORK/run.log" | grep -o ':[0-9]*')"
echo "run.sh serves screen $screen at $address"

# The main window on the private screen: its place, and its pixels.
geometry=""
for _ in $(seq 1 300); do
    geometry="$(DISPLAY="$screen" xwininfo -root -tree 2>/dev/null |
        grep '"Tessalock v1.3"' | grep -o '[0-9]*x[0-9]*+[0-9-]*+[0-9-]*' | head -1 || true)"
    [[ -n "$geometry" ]] && break
    sleep 0.2
done
[[ -n "$geometry" ]] || { echo "no main window on $screen"; exit 1; }
# Let the first paint finish.
sleep 1
DISPLAY="$screen" import -window root "$WORK/screen.png"
width="${geometry%%x*}"
convert "$WORK/screen.png" -crop "$geometry" +repage -depth 8 "rgb:$WORK/window.rgb"

# The page, polled until noVNC has connected and drawn the screen.
python3 "$ROOT/tests/run/page_shows_window.py" "$address" "$WORK/window.rgb" "$width" \
    "$WORK/chromium" "$WORK/page.png"
