#!/bin/sh
# Installs what is missing, builds the 64-bit program and starts it under
# Wine. With no display it runs under Xvfb and saves a screenshot.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
cmake --build build/x86_64 -j "$jobs" --target keywarden

if [ ! -f build/x86_64/bin/keywarden.exe ]; then
    echo "run: keywarden.exe is not built yet; nothing to start."
    exit 0
fi
exec ./scripts/run-keywarden.sh build/x86_64 "$@"
