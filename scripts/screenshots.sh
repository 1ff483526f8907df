#!/usr/bin/env bash
# Takes the documentation's screenshots of the encryption dialog, the
# decryption dialog and the progress window on a screen at 96 DPI
# (docs/screenshot-encrypt.png, docs/screenshot-decrypt.png,
# docs/screenshot-progress.png) and of both password dialogs at 144 DPI
# (docs/screenshot-encrypt-144dpi.png, docs/screenshot-decrypt-144dpi.png).
# Each scene runs in a Wine virtual desktop (so the windows have their title
# bars) on a private Xvfb screen; tests/e2e/screenshot_driver.exe sets it up
# and says which rectangle to cut out. The 144-DPI scenes run in a prefix of
# their own (wine_dpi_prefix_start).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"
BUILD="${TL_BUILD_ROOT:-$ROOT/build}/x86_64"
# Only the program and the scene driver are needed.
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target Tessalock screenshot_driver >/dev/null
DRIVER="$BUILD/tests/e2e/screenshot_driver.exe"
OUT="$ROOT/docs"

export WINEPREFIX="$BUILD/wineprefix"
source "$ROOT/scripts/wine-env.sh"
WORK="$(mktemp -d)"
trap 'wine_env_stop; rm -rf "$WORK"' EXIT
wine_env_start
wine_dpi_prefix_start 144
HIGH_DPI_PREFIX="$TL_DPI_PREFIX"
wine_map_drive "$WORK"
DRIVE="$TL_MAPPED_DRIVE"
wine_map_drive "$WORK" "$HIGH_DPI_PREFIX"
HIGH_DPI_DRIVE="$TL_MAPPED_DRIVE"
winpath() { local rel="${2#"$WORK"/}"; printf '%s:\\%s\n' "${1^^}" "${rel//\//\\}"; }

# The scenes' items: a folder of photos, a container beside it, and a large
# sparse file that keeps the progress window up for a while.
mkdir -p "$WORK/Vacation Photos/2012"
head -c 300000 /dev/urandom > "$WORK/Vacation Photos/beach.jpg"
head -c 120000 /dev/urandom > "$WORK/Vacation Photos/2012/harbour.jpg"
head -c 4096 /dev/urandom > "$WORK/Tax Papers.lock"
truncate -s 16G "$WORK/Holiday video.mp4"

shoot() { # prefix, drive letter, scene, item, output file
    local prefix="$1" drive="$2" scene="$3" item="$4" out="$5"
    local ready="$WORK/ready" done="$WORK/done" i
    rm -f "$ready" "$done"
    WINEPREFIX="$prefix" wine explorer /desktop=shot,1024x768 "$DRIVER" "$scene" \
        "$(winpath "$drive" "$item")" "$(winepath -w "$ready")" "$(winepath -w "$done")" \
        </dev/null >/dev/null 2>&1 &
    local pid=$!
    for i in $(seq 1 600); do
        [[ -s "$ready" ]] && break
        sleep 0.1
    done
    [[ -s "$ready" ]] || { echo "scene $scene did not come up" >&2; kill "$pid"; return 1; }
    # Let the last paint reach the screen.
    sleep 0.5
    read -r x y w h < "$ready"
    import -window root "$WORK/raw.png"
    touch "$done"
    wait "$pid" || true
    convert "$WORK/raw.png" -crop "${w}x${h}+${x}+${y}" +repage "$out"
    echo "wrote $out"
}

shoot "$WINEPREFIX" "$DRIVE" encrypt "$WORK/Vacation Photos" "$OUT/screenshot-encrypt.png"
shoot "$WINEPREFIX" "$DRIVE" decrypt "$WORK/Tax Papers.lock" "$OUT/screenshot-decrypt.png"
shoot "$WINEPREFIX" "$DRIVE" progress "$WORK/Holiday video.mp4" "$OUT/screenshot-progress.png"
shoot "$HIGH_DPI_PREFIX" "$HIGH_DPI_DRIVE" encrypt "$WORK/Vacation Photos" \
    "$OUT/screenshot-encrypt-144dpi.png"
shoot "$HIGH_DPI_PREFIX" "$HIGH_DPI_DRIVE" decrypt "$WORK/Tax Papers.lock" \
    "$OUT/screenshot-decrypt-144dpi.png"
