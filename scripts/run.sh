#!/usr/bin/env bash
# Installs what is missing, builds the 64-bit program and starts it under
# Wine. Arguments are passed to the program (e.g. -enc PATH, or a .lock path).
#
# Without a DISPLAY the program runs on a private Xvfb screen, and that
# screen is served to a web browser on this machine: x11vnc shares it and
# websockify serves noVNC, both on 127.0.0.1 only. The address is printed;
# open it, use the program there, and the run ends when the program does
# (or with Ctrl+C). TL_RUN_WEB_PORT picks the web port (default: the first
# free one from 6080); TL_RUN_WINEPREFIX another Wine prefix.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"
# Only what this run starts: the program, and the check that the Wine prefix
# is up before it does.
"$ROOT/scripts/build.sh" x86_64 "$ROOT/build/x86_64" Tessalock prefix_check >/dev/null

export WINEPREFIX="${TL_RUN_WINEPREFIX:-$ROOT/build/x86_64/wineprefix}"
[[ -n "${DISPLAY:-}" ]] && export TL_USE_DISPLAY=1
source "$ROOT/scripts/wine-env.sh"
VNC_PID=""
WEB_PID=""
stop_all() {
    [[ -n "$WEB_PID" ]] && kill "$WEB_PID" 2>/dev/null && wait "$WEB_PID" 2>/dev/null
    [[ -n "$VNC_PID" ]] && kill "$VNC_PID" 2>/dev/null && wait "$VNC_PID" 2>/dev/null
    wine_env_stop
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
wine_env_start

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

if [[ -n "$TL_XVFB_PID" ]]; then
    # The screen goes to a browser: VNC on a port of its own, noVNC beside it.
    display_number="${DISPLAY#:}"
    vnc_port=$((5900 + display_number))
    x11vnc -display "$DISPLAY" -localhost -rfbport "$vnc_port" -nopw -forever -shared \
        -quiet >/dev/null 2>&1 &
    VNC_PID=$!
    web_port="${TL_RUN_WEB_PORT:-}"
    if [[ -z "$web_port" ]]; then
        for web_port in $(seq 6080 6099); do port_free "$web_port" && break; done
    fi
    for _ in $(seq 1 100); do ! port_free "$vnc_port" && break; sleep 0.1; done
    websockify --web /usr/share/novnc "127.0.0.1:$web_port" "127.0.0.1:$vnc_port" \
        >/dev/null 2>&1 &
    WEB_PID=$!
    for _ in $(seq 1 100); do ! port_free "$web_port" && break; sleep 0.1; done
    port_free "$web_port" && { echo "could not serve the screen on port $web_port" >&2; exit 1; }
fi

EXE="$ROOT/build/x86_64/Tessalock.exe"
wine "$EXE" "$@" &
PID=$!
if [[ -n "$TL_XVFB_PID" ]]; then
    echo "No display was set: Tessalock runs on the private screen $DISPLAY, shown in your browser at"
    echo "    http://127.0.0.1:$web_port/vnc.html?autoconnect=1&resize=off"
    echo "(this machine only; the run ends when Tessalock is closed, or with Ctrl+C)"
else
    echo "Started $EXE under Wine on display $DISPLAY"
fi
set +e
wait $PID
CODE=$?
echo "Tessalock exited with code $CODE"
exit 0
