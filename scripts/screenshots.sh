#!/bin/sh
# Remakes the README's pictures: starts the real program under a fresh Xvfb,
# lists a few changes another program makes, photographs the main window on
# each tab and the alert, and copies the pictures into docs/.
#
#   scripts/screenshots.sh [build dir]     (default: build/x86_64)
#
# Uses the build tree's private Wine prefix and removes the values it wrote.
set -eu
cd "$(dirname "$0")/.."

build=${1:-build/x86_64}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
fi
cmake --build "$build" -j 2 --target keywarden regwriter idle_window
build=$(cd "$build" && pwd)
mkdir -p "$build/screenshots"

# Always a fresh Xvfb of a known size: nothing else on the screen.
xvfb-run -a -s "-screen 0 1280x1024x24" sh -eu -c '
    build=$1
    run="$build/wine-run"
    write() { "$run" "$build/bin/regwriter.exe" "$@"; }
    runkey="Software\\Microsoft\\Windows\\CurrentVersion\\Run"
    settings="Software\\Velmorra\\Keywarden\\Settings"
    shot() { import -window "$1" "$build/screenshots/$2.png"; echo "screenshots: $2"; }
    "$run" --start >/dev/null
    trap "write HKCU \"\$runkey\" del Updater del Helper del Tools; write HKCU \"\$settings\" del PopUpAlert; \"\$run\" --stop >/dev/null" EXIT
    write HKCU "$runkey" set Updater "\"C:\\Program Files\\Updater\\update.exe\"" set Tools "C:\\Tools\\tray.exe"
    write HKCU "$settings" setdword PopUpAlert 0
    "$run" "$build/bin/keywarden.exe" </dev/null >/dev/null 2>&1 &
    main=$(xdotool search --sync --name "^Keywarden\$" | head -1)
    write HKCU "$runkey" set Updater "C:\\Users\\Public\\upd.exe" set Helper "C:\\Temp\\helper.exe" del Tools
    sleep 1
    shot "$main" main-tab
    # A click on the first tab gives the tabs the keyboard; the arrows move on.
    xdotool mousemove --window "$main" 30 40 click 1
    for name in options-tab about-tab; do
        sleep 0.3; xdotool key Right; sleep 0.5
        shot "$main" "$name"
    done
    xdotool key Left Left
    write HKCU "$settings" setdword PopUpAlert 1
    write HKCU "$runkey" set Helper "C:\\Temp\\helper2.exe"
    alert=$(xdotool search --sync --name "^Keywarden - Change Alert\$" | head -1)
    sleep 0.5
    shot "$alert" alert
' screenshots "$build"

mkdir -p docs
for name in main-tab options-tab about-tab alert; do
    cp "$build/screenshots/$name.png" "docs/$name.png"
    echo "screenshots: docs/$name.png"
done
