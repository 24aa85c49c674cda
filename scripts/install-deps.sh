#!/bin/sh
# Installs what the build and the tests need on Debian, skipping what is there.
# Runs as root (or through sudo when it is available).
set -eu

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
        echo "install-deps: run as root to install packages" >&2; exit 1
    fi
fi

PKGS="cmake mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
wine wine64 wine32:i386 fonts-wine xvfb xauth xdotool imagemagick googletest \
fp-utils python3 nsis zip unzip osslsigncode openssl"

missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "install-deps: installing$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
