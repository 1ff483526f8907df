#!/usr/bin/env bash
# Takes docs/main-window.png and docs/main-window-144dpi.png: the main window
# with a few rows on a screen at 96 and at 144 DPI, in a Wine virtual desktop
# (so the frame has its title bar) on a private Xvfb screen.
# main_window_scene.exe starts the program, drops the items and says which
# rectangle to cut out. The 144-DPI scene runs in a prefix of its own
# (wine_dpi_prefix_start).
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
wine_dpi_prefix_start 144
HIGH_DPI_PREFIX="$TL_DPI_PREFIX"

# The items live on a drive letter of their own, so the rows show short paths.
mkdir -p "$WORK/Vacation Photos" "$WORK/Letters"
head -c 300000 /dev/urandom > "$WORK/Vacation Photos/beach.jpg"
head -c 48211 /dev/urandom > "$WORK/Tax return 2012.pdf"
head -c 9 /dev/urandom > "$WORK/Letters/to Anna.txt"
head -c 1536000 /dev/urandom > "$WORK/Budget.xlsx"
touch -d "2013-01-02 09:05:07" "$WORK/Vacation Photos"
touch -d "2013-03-14 18:22:40" "$WORK/Tax return 2012.pdf"
touch -d "2012-11-30 07:45:12" "$WORK/Letters"
touch -d "2013-04-01 12:00:03" "$WORK/Budget.xlsx"

shoot() { # prefix, output file
    local prefix="$1" out="$2" ready="$WORK/ready" done="$WORK/done" i
    wine_map_drive "$WORK" "$prefix"
    local d="${TL_MAPPED_DRIVE^^}:"
    rm -f "$ready" "$done"
    WINEPREFIX="$prefix" wine explorer /desktop=shot,1024x768 "$SCENE" \
        "$(winepath -w "$ready")" "$(winepath -w "$done")" \
        "$d\\Vacation Photos" "$d\\Tax return 2012.pdf" "$d\\Letters" "$d\\Budget.xlsx" \
        </dev/null >/dev/null 2>&1 &
    local pid=$!
    for i in $(seq 1 600); do
        [[ -s "$ready" ]] && break
        sleep 0.1
    done
    [[ -s "$ready" ]] || { echo "the main window did not come up" >&2; kill "$pid"; return 1; }
    sleep 0.5 # let the last paint reach the screen
    read -r x y w h < "$ready"
    import -window root "$WORK/raw.png"
    touch "$done"
    wait "$pid" || true
    convert "$WORK/raw.png" -crop "${w}x${h}+${x}+${y}" +repage "$out"
    echo "wrote $out"
}

shoot "$WINEPREFIX" "$ROOT/docs/main-window.png"
shoot "$HIGH_DPI_PREFIX" "$ROOT/docs/main-window-144dpi.png"
