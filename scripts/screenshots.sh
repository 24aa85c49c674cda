#!/bin/sh
# Remakes the README's pictures: runs the end-to-end scenario that
# photographs the main window on each tab (with changes listed) and the
# alert, under Xvfb, and copies the pictures into docs/.
#
#   scripts/screenshots.sh [build dir]     (default: build/x86_64)
set -eu
cd "$(dirname "$0")/.."

build=${1:-build/x86_64}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
fi
cmake --build "$build" -j 2 --target e2e_tests
build=$(cd "$build" && pwd)

names="main-tab options-tab about-tab alert"
for name in $names; do rm -f "$build/screenshots/$name.png"; done

# Always a fresh Xvfb of a known size: nothing else on the screen.
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    "$1/wine-run" --start >/dev/null
    "$1/wine-run" "$1/bin/e2e_tests.exe" --gtest_filter="*Screenshots*" </dev/null
    status=$?
    "$1/wine-run" --stop >/dev/null
    exit $status
' screenshots "$build"

mkdir -p docs
for name in $names; do
    cp "$build/screenshots/$name.png" "docs/$name.png"
    echo "screenshots: docs/$name.png"
done
