#!/bin/sh
# Remakes the README's pictures: starts the real program under a fresh Xvfb,
# lists a few changes another program makes, photographs the main window on
# each tab and the alert, and copies the pictures into docs/.
#
#   scripts/screenshots.sh [build dir]     (default: build/x86_64)
#
# Uses the build tree's private Wine prefix and removes the values it wrote.
# The changes come from Wine's reg.exe, another program as far as Keywarden knows.
set -eu
cd "$(dirname "$0")/.."

build=${1:-build/x86_64}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
fi
cmake --build "$build" -j 2 --target keywarden idle_window
build=$(cd "$build" && pwd)
mkdir -p "$build/screenshots"

# Always a fresh Xvfb of a known size: nothing else on the screen.
xvfb-run -a -s "-screen 0 1280x1024x24" sh -eu -c '
    build=$1
    run="$build/wine-run"
    runkey="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
    settings="HKCU\\Software\\Velmorra\\Keywarden\\Settings"
    put() { "$run" reg add "$1" /v "$2" /d "$3" /f >/dev/null; }
    del() { "$run" reg delete "$runkey" /v "$1" /f >/dev/null 2>&1 || true; }
    shot() { import -window "$1" "$build/screenshots/$2.png"; echo "screenshots: $2"; }
    "$run" --start >/dev/null
    trap "del Updater; del Helper; del Tools; \"\$run\" reg delete \"\$settings\" /v PopUpAlert /f >/dev/null 2>&1; \"\$run\" --stop >/dev/null" EXIT
    put "$runkey" Updater "\"C:\\Program Files\\Updater\\update.exe\""
    put "$runkey" Tools "C:\\Tools\\tray.exe"
    "$run" reg add "$settings" /v PopUpAlert /t REG_DWORD /d 0 /f >/dev/null
    "$run" "$build/bin/keywarden.exe" </dev/null >/dev/null 2>&1 &
    main=$(xdotool search --sync --name "^Keywarden\$" | head -1)
    put "$runkey" Updater "C:\\Users\\Public\\upd.exe"
    put "$runkey" Helper "C:\\Temp\\helper.exe"
    del Tools
    sleep 1
    shot "$main" main-tab
    # A click on the first tab gives the tabs the keyboard; the arrows move on.
    xdotool mousemove --window "$main" 30 40 click 1
    for name in options-tab about-tab; do
        sleep 0.3; xdotool key Right; sleep 0.5
        shot "$main" "$name"
    done
    xdotool key Left Left
    "$run" reg add "$settings" /v PopUpAlert /t REG_DWORD /d 1 /f >/dev/null
    put "$runkey" Helper "C:\\Temp\\helper2.exe"
    alert=$(xdotool search --sync --name "^Keywarden - Change Alert\$" | head -1)
    sleep 0.5
    shot "$alert" alert
' screenshots "$build"

mkdir -p docs
for name in main-tab options-tab about-tab alert; do
    cp "$build/screenshots/$name.png" "docs/$name.png"
    echo "screenshots: docs/$name.png"
done
