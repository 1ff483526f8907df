# Sourced by the scripts that run Windows programs. Starts, in the order that
# avoids hangs, a private Xvfb display, then a persistent wineserver for the
# prefix, then wineboot (so Wine's helper processes never inherit a test
# runner's output pipe). wine_env_stop undoes it all.
# Needs: WINEPREFIX set by the caller.

export WINEDEBUG=-all
# No Mono or Gecko downloads; and no copies of the prefix's Start-menu
# shortcuts and file associations (the installer tests make some) in the
# Linux desktop's menus.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
TL_XVFB_PID=""
# Prefixes besides $WINEPREFIX whose wineserver wine_env_stop ends.
TL_EXTRA_PREFIXES=()
# Drive links that wine_env_stop removes.
TL_MAPPED_LINKS=()

# Boots the prefix in $1 and gives it the settings every run needs, with the
# screen at $2 DPI.
wine_prefix_boot() {
    local prefix="$1" dpi="$2"
    # A server left running for this prefix (by an earlier run that was
    # stopped, or by hand) belongs to another display: start afresh.
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wineserver -p
    WINEPREFIX="$prefix" wineboot -i >/dev/null 2>&1 </dev/null || true
    wine_wait_for_boot "$prefix" || return 1
    # Without a window manager (our own Xvfb), Wine waits up to two seconds
    # for one each time a managed window is hidden; unmanaged windows close at
    # once. On a real desktop the window manager should manage the windows.
    local managed=N
    [[ -n "${TL_USE_DISPLAY:-}" ]] && managed=Y
    # wineboot can return before the prefix is up: a setting written then
    # may be lost and the drive list may still be empty. With the checker
    # built with the tests (in the build folder that holds the prefix, or
    # TL_PREFIX_CHECK) the settings are written until they read back and the
    # drives C: and Z: are listed; without one, once.
    local check="${TL_PREFIX_CHECK:-$(dirname "$prefix")/tests/support/prefix_check.exe}"
    local try said
    for try in $(seq 1 30); do
        WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
            /t REG_SZ /d "$managed" /f >/dev/null 2>&1 </dev/null || true
        # Each process reads the screen's DPI from here when it starts.
        WINEPREFIX="$prefix" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
            /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null || true
        [[ -f "$check" ]] || break
        # What the checker says matters only when the prefix never came up.
        if said="$(WINEPREFIX="$prefix" wine "$check" "$managed" 2 </dev/null)"; then
            break
        fi
        if [[ $try -eq 30 ]]; then
            echo "the Wine prefix $prefix did not come up ($said)" >&2
            return 1
        fi
    done
    # Windows opens .html files with the browser; this prefix has the class
    # (htmlfile, Wine's browser launcher) but not the extension, which comes
    # with the Gecko engine left out above.
    WINEPREFIX="$prefix" wine reg add 'HKLM\Software\Classes\.html' /ve /d htmlfile /f \
        >/dev/null 2>&1 </dev/null || true
    # This Wine does not find the Marlett font in its data folder, and caption
    # buttons would show letters instead of their symbols; a copy in the
    # prefix's font folder is found.
    local fonts="$prefix/drive_c/windows/Fonts"
    if [[ -f /usr/share/wine/fonts/marlett.ttf && ! -f "$fonts/marlett.ttf" ]]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
}

wine_env_start() {
    mkdir -p "$WINEPREFIX"
    if [[ -z "${TL_USE_DISPLAY:-}" ]]; then
        local n
        for n in $(seq 91 150); do
            [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            TL_XVFB_PID=$!
            local i
            for i in $(seq 1 50); do
                [[ -e /tmp/.X11-unix/X$n ]] && break
                sleep 0.1
            done
            if kill -0 "$TL_XVFB_PID" 2>/dev/null; then
                export DISPLAY=":$n"
                break
            fi
            TL_XVFB_PID=""
        done
        [[ -n "$TL_XVFB_PID" ]] || { echo "could not start Xvfb" >&2; return 1; }
    fi
    # The program's own prefix always runs at 96 DPI, whatever was set there
    # before; other DPIs get prefixes of their own (wine_dpi_prefix_start).
    wine_prefix_boot "$WINEPREFIX" 96
}

# Starts the prefix "$WINEPREFIX-dpiN" whose screen has N DPI and sets
# TL_DPI_PREFIX to it. It begins as a copy of the booted main prefix (about
# two seconds instead of a second boot) and has its own registry and
# wineserver, so its DPI cannot reach the tests that run in the main prefix.
wine_dpi_prefix_start() {
    local dpi="$1"
    TL_DPI_PREFIX="$WINEPREFIX-dpi$dpi"
    if [[ ! -f "$TL_DPI_PREFIX/.tl-complete" ]]; then
        # The main wineserver writes its registry to disk when it ends; a copy
        # taken while it runs could miss what the boot wrote.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
        rm -rf "$TL_DPI_PREFIX"
        cp -a "$WINEPREFIX" "$TL_DPI_PREFIX"
        # Drives mapped into the main prefix at the time belong to its runs.
        find "$TL_DPI_PREFIX/dosdevices" -maxdepth 1 -type l ! -name 'c:' ! -name 'z:' \
            ! -name 'com*' -delete
        touch "$TL_DPI_PREFIX/.tl-complete"
        wine_prefix_boot "$WINEPREFIX" 96
    fi
    wine_prefix_boot "$TL_DPI_PREFIX" "$dpi"
    TL_EXTRA_PREFIXES+=("$TL_DPI_PREFIX")
}

# wineboot -i returns when Wine stops waiting for the prefix's set-up, after
# five minutes at most, even if the set-up goes on. On a slow (emulated)
# machine a new prefix takes longer, and programs started meanwhile cannot
# find their DLLs. Waits (20 minutes at most) until no wineboot of this
# prefix ($1, default $WINEPREFIX) runs any more.
wine_wait_for_boot() {
    local prefix="${1:-$WINEPREFIX}" i pid running environment
    for i in $(seq 1 1200); do
        running=""
        for pid in $(pgrep -f 'wineboot\.exe' || true); do
            # Read whole, then searched (a pipe into grep -q can fail
            # under pipefail when grep stops reading early).
            environment="$(tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" || true)"
            if grep -qxF "WINEPREFIX=$prefix" <<<"$environment"; then
                running=1
            fi
        done
        [[ -z "$running" ]] && return 0
        sleep 1
    done
    echo "the Wine prefix $prefix is still being set up after 20 minutes" >&2
    return 1
}

# Maps a Linux folder as the first free drive letter among D: to H: of a
# prefix ($2, default $WINEPREFIX) and sets TL_MAPPED_DRIVE to that letter
# (wine_env_stop removes the mapping), so a scene's items show short paths as
# a user would see them.
TL_MAPPED_DRIVE=""
wine_map_drive() {
    local prefix="${2:-$WINEPREFIX}" letter
    for letter in d e f g h; do
        if [[ ! -e "$prefix/dosdevices/$letter:" ]]; then
            ln -s "$1" "$prefix/dosdevices/$letter:"
            TL_MAPPED_DRIVE="$letter"
            TL_MAPPED_LINKS+=("$prefix/dosdevices/$letter:")
            return 0
        fi
    done
    echo "no free drive letter in the prefix" >&2
    return 1
}

wine_env_stop() {
    local link prefix
    for link in "${TL_MAPPED_LINKS[@]}"; do
        rm -f "$link"
    done
    TL_MAPPED_LINKS=()
    TL_MAPPED_DRIVE=""
    for prefix in "$WINEPREFIX" "${TL_EXTRA_PREFIXES[@]}"; do
        WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
    done
    TL_EXTRA_PREFIXES=()
    if [[ -n "$TL_XVFB_PID" ]]; then
        kill "$TL_XVFB_PID" 2>/dev/null || true
        wait "$TL_XVFB_PID" 2>/dev/null || true
    fi
}
