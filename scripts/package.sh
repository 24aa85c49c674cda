#!/bin/sh
# Builds Keywarden for 64- and 32-bit Windows in release mode (in
# build/release-x86_64 and build/release-i686) and writes into build/dist:
#   keywarden-<version>-win64.zip, keywarden-<version>-win32.zip   portable
#   keywarden-<version>-setup.exe                                  installer
#   SHA256SUMS
#
#   scripts/package.sh [--out DIR]
#   scripts/package.sh --prebuilt <64-bit build> <32-bit build> [--out DIR]
#       packages the programs of two existing build trees instead
#
# Signing: with KEYWARDEN_SIGN_CERT (PEM certificate, chain allowed) and
# KEYWARDEN_SIGN_KEY (its unencrypted PEM key) set, the program, the
# uninstaller and then the installer are signed with osslsigncode, with an
# RFC 3161 time stamp from KEYWARDEN_SIGN_TIMESTAMP (a URL) when it is set.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

sign_file() {
    signed="$1.signed"
    # shellcheck disable=SC2086
    if ! osslsigncode sign -certs "$KEYWARDEN_SIGN_CERT" -key "$KEYWARDEN_SIGN_KEY" \
            -h sha256 -n Keywarden ${KEYWARDEN_SIGN_TIMESTAMP:+-ts "$KEYWARDEN_SIGN_TIMESTAMP"} \
            -in "$1" -out "$signed" >"$signed.log" 2>&1; then
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        echo "package: signing $1 failed" >&2
        return 1
    fi
    rm -f "$signed.log"
    mv -f "$signed" "$1"
}

# makensis signs the uninstaller it is about to embed through this.
if [ "${1:-}" = "--sign-file" ]; then
    sign_file "$2"
    exit
fi

out=build/dist
b64=""
b32=""
while [ $# -gt 0 ]; do
    case "$1" in
        --prebuilt) [ $# -ge 3 ] || { echo "package: --prebuilt needs two build trees" >&2; exit 2; }
                    b64=$2; b32=$3; shift 3 ;;
        --out)      [ $# -ge 2 ] || { echo "package: --out needs a folder" >&2; exit 2; }
                    out=$2; shift 2 ;;
        *)          echo "usage: $0 [--prebuilt <64-bit build> <32-bit build>] [--out DIR]" >&2; exit 2 ;;
    esac
done

signing=""
if [ -n "${KEYWARDEN_SIGN_CERT:-}" ] || [ -n "${KEYWARDEN_SIGN_KEY:-}" ]; then
    if [ -z "${KEYWARDEN_SIGN_CERT:-}" ] || [ -z "${KEYWARDEN_SIGN_KEY:-}" ]; then
        echo "package: set both KEYWARDEN_SIGN_CERT and KEYWARDEN_SIGN_KEY, or neither" >&2
        exit 2
    fi
    for f in "$KEYWARDEN_SIGN_CERT" "$KEYWARDEN_SIGN_KEY"; do
        [ -r "$f" ] || { echo "package: cannot read $f" >&2; exit 2; }
    done
    signing=1
fi

if [ -z "$b64" ]; then
    ./scripts/install-deps.sh
    jobs=$(nproc 2>/dev/null || echo 2)
    for arch in x86_64 i686; do
        echo "package: building the $arch program (release)"
        cmake -S . -B "build/release-$arch" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch-w64-mingw32.cmake" >/dev/null
        # The program and its help file only: no tests.
        cmake --build "build/release-$arch" -j "$jobs" --target keywarden
    done
    b64=build/release-x86_64
    b32=build/release-i686
fi
for b in "$b64" "$b32"; do
    for f in CMakeCache.txt bin/keywarden.exe bin/keywarden.chm; do
        [ -f "$b/$f" ] || { echo "package: $b/$f is missing: build it first" >&2; exit 1; }
    done
done
b64=$(cd "$b64" && pwd)
b32=$(cd "$b32" && pwd)

cached_version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}
version=$(cached_version "$b64")
if [ -z "$version" ] || [ "$version" != "$(cached_version "$b32")" ]; then
    echo "package: the two build trees disagree on the version (reconfigure them)" >&2
    exit 1
fi
# Four numbers for the installer's version resource: 1.3 -> 1.3.0.0
version4=$(echo "$version" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3, $4 }')

mkdir -p "$out"
out=$(cd "$out" && pwd)
stage="$out.stage"
rm -rf "$stage"
rm -f "$out"/keywarden-*-win64.zip "$out"/keywarden-*-win32.zip "$out"/keywarden-*-setup.exe "$out/SHA256SUMS"

if [ -n "$signing" ]; then
    echo "package: signing with $KEYWARDEN_SIGN_CERT${KEYWARDEN_SIGN_TIMESTAMP:+, time stamp from $KEYWARDEN_SIGN_TIMESTAMP}"
else
    echo "package: KEYWARDEN_SIGN_CERT and KEYWARDEN_SIGN_KEY are not set: nothing is signed"
fi

# Text files get Windows line ends: Notepad of older Windows shows LF ones
# as one line.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }

files="keywarden.exe keywarden.chm README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt"
for pair in "win64:$b64:x86_64" "win32:$b32:i686"; do
    name=${pair%%:*}
    rest=${pair#*:}
    build=${rest%:*}
    triple="${rest##*:}-w64-mingw32"
    dir="$stage/$name"
    mkdir -p "$dir"
    "$triple-strip" -o "$dir/keywarden.exe" "$build/bin/keywarden.exe"
    [ -n "$signing" ] && sign_file "$dir/keywarden.exe"
    cp "$build/bin/keywarden.chm" "$dir/"
    sed "s/@VERSION@/$version/g" installer/README.txt >"$stage/README.txt"
    crlf "$stage/README.txt" "$dir/README.txt"
    crlf LICENSE "$dir/LICENSE.txt"
    crlf installer/THIRD-PARTY-NOTICES.txt "$dir/THIRD-PARTY-NOTICES.txt"
    # shellcheck disable=SC2086
    (cd "$dir" && zip -q -X "$out/keywarden-$version-$name.zip" $files)
done

set -- -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION4="$version4" \
    -DWIN64_DIR="$stage/win64" -DWIN32_DIR="$stage/win32" \
    -DOUTFILE="$out/keywarden-$version-setup.exe"
[ -f "$b64/resources/keywarden.ico" ] && set -- "$@" -DICON="$b64/resources/keywarden.ico"
[ -n "$signing" ] && set -- "$@" -DSIGN_COMMAND="\"$root/scripts/package.sh\" --sign-file"
makensis "$@" installer/keywarden.nsi
[ -n "$signing" ] && sign_file "$out/keywarden-$version-setup.exe"

(cd "$out" && sha256sum -- keywarden-* >"$stage/SHA256SUMS")
mv "$stage/SHA256SUMS" "$out/SHA256SUMS"
rm -rf "$stage"

echo "package: wrote $out"
(cd "$out" && ls -l)
