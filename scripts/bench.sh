#!/bin/sh
# Builds a benchmark (64-bit) and runs it under Wine in the build tree's
# private prefix. Prints figures.
#
#   scripts/bench.sh [build dir] [compare] [idle] [latency] [journal]
#       the watch engine (bench/regwatch_bench.cpp); about half a minute
#   scripts/bench.sh [build dir] ui [--exe keywarden.exe] [--cap S] [--idle-seconds S]
#                                   [latency] [start] [storm] [idle]
#       the program's window, from outside (bench/ui_bench.cpp); a few
#       minutes. --exe measures another build of the program (a Unix path).
set -eu
cd "$(dirname "$0")/.."

build="build/x86_64"
case "${1:-}" in
    ""|compare|idle|latency|journal|ui) ;;
    *) build="$1"; shift ;;
esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
fi

if [ "${1:-}" != ui ]; then
    cmake --build "$build" -j 2 --target regwatch_bench stamp_writer >/dev/null
    exec "$build/wine-run" "$build/bin/regwatch_bench.exe" "$@"
fi
shift

# The window needs a display; without one, run again inside a virtual one.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" ui "$@"
fi
cmake --build "$build" -j 2 --target ui_bench idle_window >/dev/null

# A Unix path for --exe becomes the Z: path Wine gives it.
args=""
expect_exe=0
for arg in "$@"; do
    if [ $expect_exe = 1 ]; then
        arg="Z:$(realpath "$arg")"
        expect_exe=0
    fi
    [ "$arg" = --exe ] && expect_exe=1
    args="$args '$arg'"
done

"$build/wine-run" --start
status=0
eval "\"$build/wine-run\" \"$build/bin/ui_bench.exe\" $args" || status=$?
"$build/wine-run" --stop
exit $status
