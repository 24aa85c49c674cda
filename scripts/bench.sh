#!/bin/sh
# Builds the watch engine's benchmark (64-bit) and runs it under Wine in the
# build tree's private prefix. Prints figures; takes about half a minute.
#
#   scripts/bench.sh [build dir] [compare] [idle] [latency]
set -eu
cd "$(dirname "$0")/.."

build="build/x86_64"
case "${1:-}" in
    ""|compare|idle|latency) ;;
    *) build="$1"; shift ;;
esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
fi
cmake --build "$build" -j 2 --target regwatch_bench stamp_writer >/dev/null

"$build/wine-run" "$build/bin/regwatch_bench.exe" "$@"
