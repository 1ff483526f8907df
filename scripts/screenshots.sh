#!/usr/bin/env bash
# Takes the documentation's screenshots of the encryption dialog, the
# decryption dialog and the progress window: docs/screenshot-encrypt.png,
# docs/screenshot-decrypt.png and docs/screenshot-progress.png. Each scene
# runs in a Wine virtual desktop (so the windows have their title bars) on a
# private Xvfb screen; tests/e2e/screenshot_driver.exe sets it up and says
# which rectangle to cut out.
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
wine_map_drive "$WORK"
DRIVE="$TL_MAPPED_DRIVE"
winpath() { local rel="${1#"$WORK"/}"; printf '%s:\\%s\n' "${DRIVE^^}" "${rel//\//\\}"; }

# The scenes' items: a folder of photos, a container beside it, and a large
# sparse file that keeps the progress window up for a while.
mkdir -p "$WORK/Vacation Photos/2012"
head -c 300000 /dev/urandom > "$WORK/Vacation Photos/beach.jpg"
head -c 120000 /dev/urandom > "$WORK/Vacation Photos/2012/harbour.jpg"
head -c 4096 /dev/urandom > "$WORK/Tax Papers.lock"
truncate -s 16G "$WORK/Holiday video.mp4"

shoot() { # scene, item, output file
    local scene="$1" item="$2" out="$3" ready="$WORK/ready" done="$WORK/done" i
    rm -f "$ready" "$done"
    wine explorer /desktop=shot,1024x768 "$DRIVER" "$scene" "$(winpath "$item")" \
        "$(winepath -w "$ready")" "$(winepath -w "$done")" </dev/null >/dev/null 2>&1 &
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

shoot encrypt "$WORK/Vacation Photos" "$OUT/screenshot-encrypt.png"
shoot decrypt "$WORK/Tax Papers.lock" "$OUT/screenshot-decrypt.png"
shoot progress "$WORK/Holiday video.mp4" "$OUT/screenshot-progress.png"
