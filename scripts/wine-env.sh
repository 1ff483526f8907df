# Sourced by the scripts that run Windows programs. Starts, in the order that
# avoids hangs, a private Xvfb display, then a persistent wineserver for the
# prefix, then wineboot (so Wine's helper processes never inherit a test
# runner's output pipe). wine_env_stop undoes it all.
# Needs: WINEPREFIX set by the caller.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
TL_XVFB_PID=""

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
    wineserver -p
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wine_wait_for_boot || return 1
    # Without a window manager (our own Xvfb), Wine waits up to two seconds
    # for one each time a managed window is hidden; unmanaged windows close at
    # once. On a real desktop the window manager should manage the windows.
    local managed=N
    [[ -n "${TL_USE_DISPLAY:-}" ]] && managed=Y
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f \
        >/dev/null 2>&1 </dev/null || true
    # This Wine does not find the Marlett font in its data folder, and caption
    # buttons would show letters instead of their symbols; a copy in the
    # prefix's font folder is found.
    local fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [[ -f /usr/share/wine/fonts/marlett.ttf && ! -f "$fonts/marlett.ttf" ]]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
}

# wineboot -i returns when Wine stops waiting for the prefix's set-up, after
# five minutes at most, even if the set-up goes on. On a slow (emulated)
# machine a new prefix takes longer, and programs started meanwhile cannot
# find their DLLs. Waits (20 minutes at most) until no wineboot of this
# prefix runs any more.
wine_wait_for_boot() {
    local i pid running
    for i in $(seq 1 1200); do
        running=""
        for pid in $(pgrep -f 'wineboot\.exe' || true); do
            if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
                running=1
            fi
        done
        [[ -z "$running" ]] && return 0
        sleep 1
    done
    echo "the Wine prefix $WINEPREFIX is still being set up after 20 minutes" >&2
    return 1
}

# Maps a Linux folder as the first free drive letter among D: to H: and sets
# TL_MAPPED_DRIVE to that letter (wine_env_stop removes the mapping), so a
# scene's items show short paths as a user would see them.
TL_MAPPED_DRIVE=""
wine_map_drive() {
    local letter
    for letter in d e f g h; do
        if [[ ! -e "$WINEPREFIX/dosdevices/$letter:" ]]; then
            ln -s "$1" "$WINEPREFIX/dosdevices/$letter:"
            TL_MAPPED_DRIVE="$letter"
            return 0
        fi
    done
    echo "no free drive letter in the prefix" >&2
    return 1
}

wine_env_stop() {
    if [[ -n "$TL_MAPPED_DRIVE" ]]; then
        rm -f "$WINEPREFIX/dosdevices/$TL_MAPPED_DRIVE:"
        TL_MAPPED_DRIVE=""
    fi
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [[ -n "$TL_XVFB_PID" ]]; then
        kill "$TL_XVFB_PID" 2>/dev/null || true
        wait "$TL_XVFB_PID" 2>/dev/null || true
    fi
}
