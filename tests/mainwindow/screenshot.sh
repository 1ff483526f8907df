#!/usr/bin/env bash
# Takes docs/main-window.png: the main window with a few rows, in a Wine
# virtual desktop (so the frame has its title bar) on a private Xvfb screen.
# main_window_scene.exe starts the program, drops the items and says which
# rectangle to cut out.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${TL_BUILD_ROOT:-$ROOT/build}/x86_64"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target Tessalock main_window_scene >/dev/null
SCENE="$BUILD/tests/mainwindow/main_window_scene.exe"

export WINEPREFIX="$BUILD/wineprefix"
source "$ROOT/scripts/wine-env.sh"
WORK="$(mktemp -d)"
trap 'wine_env_stop; rm -rf "$WORK"' EXIT
wine_env_start


# The items live on a drive letter of their own, so the rows show short paths.
wine_map_drive "$WORK"
DRIVE="$TL_MAPPED_DRIVE"
mkdir -p "$WORK/Vacation Photos" "$WORK/Letters"
head -c 300000 /dev/urandom > "$WORK/Vacation Photos/beach.jpg"
head -c 48211 /dev/urandom > "$WORK/Tax return 2012.pdf"
head -c 9 /dev/urandom > "$WORK/Letters/to Anna.txt"
head -c 1536000 /dev/urandom > "$WORK/Budget.xlsx"
touch -d "2013-01-02 09:05:07" "$WORK/Vacation Photos"
touch -d "2013-03-14 18:22:40" "$WORK/Tax return 2012.pdf"
touch -d "2012-11-30 07:45:12" "$WORK/Letters"
touch -d "2013-04-01 12:00:03" "$WORK/Budget.xlsx"
D="${DRIVE^^}:"

READY="$WORK/ready"
DONE="$WORK/done"
wine explorer /desktop=shot,1024x768 "$SCENE" "$(winepath -w "$READY")" "$(winepath -w "$DONE")" \
    "$D\\Vacation Photos" "$D\\Tax return 2012.pdf" "$D\\Letters" "$D\\Budget.xlsx" \
    </dev/null >/dev/null 2>&1 &
PID=$!
for i in $(seq 1 600); do
    [[ -s "$READY" ]] && break
    sleep 0.1
done
[[ -s "$READY" ]] || { echo "the main window did not come up" >&2; kill "$PID"; exit 1; }
sleep 0.5 # let the last paint reach the screen
read -r x y w h < "$READY"
import -window root "$WORK/raw.png"
touch "$DONE"
wait "$PID" || true
convert "$WORK/raw.png" -crop "${w}x${h}+${x}+${y}" +repage "$ROOT/docs/main-window.png"
echo "wrote docs/main-window.png"
