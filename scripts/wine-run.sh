#!/bin/sh
# Runs a Windows program under Wine in a build tree's private prefix, which
# it creates on first use. Never touches ~/.wine.
#
#   wine-run <program.exe> [args...]   run it (64-bit programs go straight to
#                                      the 64-bit loader)
#   wine-run --start                   before a test run: make sure the prefix
#                                      exists, keep one wineserver and one idle
#                                      window alive until --stop
#   wine-run --stop                    after a test run
#   wine-run --prefix                  print the prefix in use
#
# Set by the generated wrapper: KEYWARDEN_WINE_PREFIX, KEYWARDEN_WINE_ARCH
# (win64 or win32), KEYWARDEN_IDLE_EXE, and KEYWARDEN_WINE_LOADER where the
# loader is not the prefix's own. KEYWARDEN_USE_PREFIX, when set, names
# an existing prefix to use instead (the user's own); it is not prepared.
set -eu

: "${KEYWARDEN_WINE_PREFIX:?run this through the build tree's wine-run}"
: "${KEYWARDEN_WINE_ARCH:?}"

export WINEDEBUG="${WINEDEBUG:--all}"
# winedbg off: a crashing test must end, not wait in the debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d}"
if [ -n "${KEYWARDEN_USE_PREFIX:-}" ]; then
    export WINEPREFIX="$KEYWARDEN_USE_PREFIX"
    unset WINEARCH || true
else
    export WINEPREFIX="$KEYWARDEN_WINE_PREFIX"
    export WINEARCH="$KEYWARDEN_WINE_ARCH"
fi

if [ "$KEYWARDEN_WINE_ARCH" = win64 ] && [ -x /usr/lib/wine/wine64 ]; then
    SYSTEM_LOADER=/usr/lib/wine/wine64   # skips the 32-bit loader's re-exec
else
    SYSTEM_LOADER=wine
fi
# The prefix's own programs (wineboot, reg) use the prefix's loader; the
# programs under test may need another (32-bit ones in a win64 prefix).
LOADER="${KEYWARDEN_WINE_LOADER:-$SYSTEM_LOADER}"

quiet() { "$@" </dev/null >/dev/null 2>&1; }

ensure_prefix() {
    [ -n "${KEYWARDEN_USE_PREFIX:-}" ] && return 0
    [ -f "$WINEPREFIX/.keywarden-ready" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.keywarden-ready" ]; then
            echo "wine-run: creating $KEYWARDEN_WINE_ARCH prefix $WINEPREFIX" >&2
            rm -rf "$WINEPREFIX"
            quiet "$SYSTEM_LOADER" wineboot -i
            # Without a window manager every hide of a managed window waits 2 s.
            quiet "$SYSTEM_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
            mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
            cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
            quiet wineserver -w
            touch "$WINEPREFIX/.keywarden-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
}

case "${1:-}" in
    --prefix)
        echo "$WINEPREFIX"
        ;;
    --start)
        ensure_prefix
        # One server for the whole run: otherwise every test pays a cold start
        # and CTest waits for Wine's service processes holding its pipe.
        quiet wineserver -p
        quiet "$SYSTEM_LOADER" wineboot
        if [ -n "${DISPLAY:-}" ] && [ -f "$KEYWARDEN_IDLE_EXE" ]; then
            # Wait until its window exists: the desktop process it starts
            # must not be started first by a test and inherit CTest's pipe.
            ready="$WINEPREFIX/idle-window.ready"
            rm -f "$ready"
            "$LOADER" "$KEYWARDEN_IDLE_EXE" "Z:$ready" </dev/null >/dev/null 2>&1 &
            tries=0
            while [ ! -f "$ready" ] && [ $tries -lt 300 ]; do
                sleep 0.1; tries=$((tries + 1))
            done
            [ -f "$ready" ] || echo "wine-run: the idle window did not come up" >&2
        fi
        echo "wine-run: server up in $WINEPREFIX"
        ;;
    --stop)
        quiet wineserver -k || true
        quiet wineserver -w || true
        echo "wine-run: server stopped"
        ;;
    "")
        echo "usage: wine-run <program.exe> [args...] | --start | --stop | --prefix" >&2
        exit 2
        ;;
    *)
        ensure_prefix
        exec "$LOADER" "$@"
        ;;
esac
