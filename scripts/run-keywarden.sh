#!/bin/sh
# Starts keywarden.exe of a build tree under Wine.
#
#   scripts/run-keywarden.sh <build dir> [program arguments...]
#
# Uses the build tree's private Wine prefix, or your own when WINEPREFIX is
# set; Keywarden then watches that prefix's autostart keys. With a display it
# simply appears and this script returns when you quit it. Without one it
# runs under Xvfb, saves a screenshot of the main window, prints its path,
# leaves the program running for KEYWARDEN_RUN_SECONDS (default 5) and then
# closes it as any other program would.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 <build dir> [arguments...]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
shift
exe="$build/bin/keywarden.exe"
if [ ! -f "$exe" ] || [ ! -x "$build/wine-run" ]; then
    echo "run-keywarden: no keywarden.exe in $build/bin; build it first" >&2
    exit 1
fi

if [ -n "${WINEPREFIX:-}" ]; then
    export KEYWARDEN_USE_PREFIX="$WINEPREFIX"
    echo "run-keywarden: using your Wine prefix $WINEPREFIX; Keywarden watches its autostart keys"
else
    echo "run-keywarden: using the private Wine prefix $("$build/wine-run" --prefix)"
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$build/wine-run" "$exe" "$@"
fi

for tool in xvfb-run xdotool import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run-keywarden: no display, and $tool is missing (scripts/install-deps.sh installs it)" >&2
        exit 1
    fi
done

shot="$build/screenshots/run-keywarden.png"
mkdir -p "$build/screenshots"
rm -f "$shot"
echo "run-keywarden: no display; running Keywarden under Xvfb"
export KEYWARDEN_BUILD="$build" KEYWARDEN_EXE="$exe" KEYWARDEN_SHOT="$shot"
export KEYWARDEN_RUN_SECONDS="${KEYWARDEN_RUN_SECONDS:-5}"
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    "$KEYWARDEN_BUILD/wine-run" "$KEYWARDEN_EXE" "$@" </dev/null >/dev/null 2>&1 &
    program=$!
    # The first run creates the prefix, which takes a while.
    window=""
    tries=0
    while [ -z "$window" ] && [ $tries -lt 600 ] && kill -0 $program 2>/dev/null; do
        sleep 0.2
        tries=$((tries + 1))
        window=$(xdotool search --name "^Keywarden\$" 2>/dev/null | head -1 || true)
    done
    if [ -z "$window" ]; then
        echo "run-keywarden: the main window did not appear" >&2
        kill $program 2>/dev/null || true
        exit 1
    fi
    sleep 1
    import -window "$window" "$KEYWARDEN_SHOT"
    echo "run-keywarden: screenshot of the main window: $KEYWARDEN_SHOT"
    echo "run-keywarden: Keywarden runs for $KEYWARDEN_RUN_SECONDS s more"
    sleep "$KEYWARDEN_RUN_SECONDS"
    # taskkill without /f asks the window to close: Keywarden quits cleanly.
    "$KEYWARDEN_BUILD/wine-run" taskkill /im keywarden.exe </dev/null >/dev/null 2>&1 || true
    wait $program
    status=$?
    echo "run-keywarden: Keywarden ended with exit code $status"
    if [ -z "${KEYWARDEN_USE_PREFIX:-}" ]; then
        "$KEYWARDEN_BUILD/wine-run" --stop >/dev/null 2>&1 || true
    fi
    exit $status
' run-keywarden "$@"
