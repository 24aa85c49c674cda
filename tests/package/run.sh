#!/bin/sh
# Tests the packages made from the test build trees (build/x86_64 and
# build/i686): the zips' contents, the checksums, signing with a throwaway
# certificate, and the signed installer under Wine in a fresh 64-bit prefix:
# a silent install, the installed program watching, an install over the
# running program, and a silent uninstall that leaves nothing behind.
#
# Needs an X display (test.sh runs it under Xvfb). Its files and the prefix
# are in build/dist-test; the prefix is removed when everything passed.
set -eu
cd "$(dirname "$0")/../.."
root=$(pwd)
work="$root/build/dist-test"

failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1" >&2; failures=$((failures + 1)); }
check() {
    what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    tenths=$1
    shift
    while ! "$@"; do
        [ "$tenths" -gt 0 ] || return 1
        sleep 0.1
        tenths=$((tenths - 1))
    done
}

if [ -d "$work/prefix" ]; then
    WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true
fi
rm -rf "$work"
mkdir -p "$work"

# --- the packages, unsigned and signed -------------------------------------
unset KEYWARDEN_SIGN_CERT KEYWARDEN_SIGN_KEY KEYWARDEN_SIGN_TIMESTAMP || true
scripts/package.sh --prebuilt build/x86_64 build/i686 --out "$work/unsigned" >"$work/unsigned.log" 2>&1 ||
    { cat "$work/unsigned.log" >&2; echo "FAIL packaging" >&2; exit 1; }
check "without a certificate the script says nothing is signed" grep -q "nothing is signed" "$work/unsigned.log"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Keywarden test signing" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
KEYWARDEN_SIGN_CERT="$work/cert.pem" KEYWARDEN_SIGN_KEY="$work/key.pem" \
    scripts/package.sh --prebuilt build/x86_64 build/i686 --out "$work/signed" >"$work/signed.log" 2>&1 ||
    { cat "$work/signed.log" >&2; echo "FAIL signed packaging" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/x86_64/CMakeCache.txt)

# Lists a zip's names, one a line, sorted, and extracts it into $2.
zip_names() {
    unzip -Z1 "$1" | sort
    unzip -q -o "$1" -d "$2"
}
# The machine field of a PE file's header: 8664 for x64, 14c for x86.
pe_machine() {
    pe=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
    od -An -tx2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ' | sed 's/^0*//'
}
expected_names=$(printf '%s\n' LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt keywarden.chm keywarden.exe)

for kind in unsigned signed; do
    dist="$work/$kind"
    check "$kind: build/dist holds the two zips, the installer and SHA256SUMS" test \
        "$(cd "$dist" && ls | tr '\n' ' ')" = \
        "SHA256SUMS keywarden-$version-setup.exe keywarden-$version-win32.zip keywarden-$version-win64.zip "
    check "$kind: SHA256SUMS covers every other file and matches" sh -c \
        "cd '$dist' && [ \$(wc -l <SHA256SUMS) -eq 3 ] && sha256sum --quiet -c SHA256SUMS"
    for arch in win64:8664 win32:14c; do
        name=${arch%:*}
        zip="$dist/keywarden-$version-$name.zip"
        check "$kind $name zip holds exactly the five files" test "$(zip_names "$zip" "$dist/$name")" = "$expected_names"
        check "$kind $name zip's program is built for $name" test "$(pe_machine "$dist/$name/keywarden.exe")" = "${arch#*:}"
    done
done
check "the zip's README names the version and the journal" sh -c \
    "grep -q '^Keywarden $version' '$work/unsigned/win64/README.txt' && grep -q 'events.ndjson' '$work/unsigned/win64/README.txt'"
check "the zip's text files have Windows line ends" sh -c "head -1 '$work/unsigned/win64/LICENSE.txt' | grep -q \"\$(printf '\\r')\$\""

# Signed: osslsigncode trusts the throwaway certificate only when told to
# (-CAfile), and then the whole verification succeeds; the digest of the
# file must match the signed one. Unsigned: no signature at all.
verify_signed() {
    log="$work/verify.log"
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$log" 2>&1 || return 1
    grep -q "Signature verification: ok" "$log" || return 1
    grep -q "Subject: /CN=Keywarden test signing" "$log" || return 1
    current=$(sed -n 's/^Current message digest *: *//p' "$log" | tr -d ' ')
    calculated=$(sed -n 's/^Calculated message digest *: *//p' "$log" | tr -d ' ')
    [ -n "$current" ] && [ "$current" = "$calculated" ]
}
verify_unsigned() {
    ! osslsigncode verify -in "$1" >"$work/verify.log" 2>&1 && grep -q "No signature found" "$work/verify.log"
}
check "signed installer verifies with the test certificate" verify_signed "$work/signed/keywarden-$version-setup.exe"
check "signed win64 zip's program verifies" verify_signed "$work/signed/win64/keywarden.exe"
check "signed win32 zip's program verifies" verify_signed "$work/signed/win32/keywarden.exe"
check "unsigned installer has no signature" verify_unsigned "$work/unsigned/keywarden-$version-setup.exe"
check "unsigned win64 zip's program has no signature" verify_unsigned "$work/unsigned/win64/keywarden.exe"

# --- the installer under Wine -----------------------------------------------
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
quiet() { "$@" </dev/null >/dev/null 2>&1; }
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine
setup="$work/signed/keywarden-$version-setup.exe"
setup_loader=wine
# The setup is a 32-bit program. Where the kernel runs no 32-bit code, Wine
# cannot start it: test the same script built as a 64-bit setup instead.
if ! quiet /usr/lib/wine/wine --version; then
    echo "note 32-bit programs cannot run here: testing the installer script built for amd64"
    setup="$work/setup-amd64.exe"
    KEYWARDEN_SIGN_CERT="$work/cert.pem" KEYWARDEN_SIGN_KEY="$work/key.pem" \
        makensis -V2 -INPUTCHARSET UTF8 -DTARGET=amd64-unicode -DVERSION="$version" \
        -DVERSION4="$(echo "$version" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3, $4 }')" -DWIN64_DIR="$work/signed/win64" -DWIN32_DIR="$work/signed/win32" \
        -DOUTFILE="$setup" -DSIGN_COMMAND="\"$root/scripts/package.sh\" --sign-file" \
        installer/keywarden.nsi >"$work/makensis.log" 2>&1 ||
        { cat "$work/makensis.log" >&2; echo "FAIL building the amd64 setup" >&2; exit 1; }
    setup_loader=$wine64
fi

quiet "$wine64" wineboot -i
# Without a window manager every hide of a managed window waits 2 s.
quiet "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f

drive_c="$WINEPREFIX/drive_c"
pf="$drive_c/Program Files/Keywarden"
pf86="$drive_c/Program Files (x86)/Keywarden"
lnk="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Keywarden.lnk"
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Keywarden'
event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Keywarden'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKCU\Software\Velmorra\Keywarden\Settings'
win_dir='C:\Program Files\Keywarden'

# The data of one value as reg shows it; $3 is /reg:64 or /reg:32.
reg_value() {
    "$wine64" reg query "$1" /v "$2" "$3" </dev/null 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
reg_missing() { ! quiet "$wine64" reg query "$@"; }
window() { xdotool search --name "$1" >/dev/null 2>&1; }
installed_names() { (cd "$pf" && ls | sort); }

check "silent install with /AUTOSTART=1 succeeds" quiet "$setup_loader" "$setup" /S /AUTOSTART=1
check "Program Files holds the program, its files and the uninstaller" test "$(installed_names 2>/dev/null)" = \
    "$(printf '%s\n' LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt keywarden.chm keywarden.exe uninstall.exe | sort)"
check "the 64-bit program went into the 64-bit Program Files" cmp -s "$pf/keywarden.exe" "$work/signed/win64/keywarden.exe"
check "nothing went into Program Files (x86)" test ! -e "$pf86"
check "the installed uninstaller is signed" verify_signed "$pf/uninstall.exe"
check "the Start menu shortcut exists" test -f "$lnk"
check "uninstall entry: DisplayName" test "$(reg_value "$uninst_key" DisplayName /reg:64)" = "Keywarden"
check "uninstall entry: DisplayVersion" test "$(reg_value "$uninst_key" DisplayVersion /reg:64)" = "$version"
check "uninstall entry: Publisher" test -n "$(reg_value "$uninst_key" Publisher /reg:64)"
check "uninstall entry: DisplayIcon" test "$(reg_value "$uninst_key" DisplayIcon /reg:64)" = "$win_dir\\keywarden.exe"
check "uninstall entry: UninstallString" test "$(reg_value "$uninst_key" UninstallString /reg:64)" = "\"$win_dir\\uninstall.exe\""
check "uninstall entry: QuietUninstallString" test "$(reg_value "$uninst_key" QuietUninstallString /reg:64)" = "\"$win_dir\\uninstall.exe\" /S"
size=$(reg_value "$uninst_key" EstimatedSize /reg:64)
check "uninstall entry: EstimatedSize in KB" test "$((${size:-0}))" -gt 100
check "uninstall entry is in the 64-bit view only" reg_missing "$uninst_key" /reg:32
check "event source: EventMessageFile is the program" test "$(reg_value "$event_key" EventMessageFile /reg:64)" = "$win_dir\\keywarden.exe"
check "event source: TypesSupported is 7" test "$(reg_value "$event_key" TypesSupported /reg:64)" = "0x7"
check "autostart: the quoted command with -tray" test "$(reg_value "$run_key" Keywarden /reg:64)" = "\"$win_dir\\keywarden.exe\" -tray"

# The installed program runs and watches: with the alert on, a value written
# by another program into the 64-bit HKLM Run key brings up the alert.
quiet "$wine64" reg add "$settings_key" /v PopUpAlert /t REG_DWORD /d 1 /f
"$wine64" "$win_dir\\keywarden.exe" </dev/null >/dev/null 2>&1 &
program=$!
check "the installed program shows its window" wait_for 300 window '^Keywarden$'
sleep 0.5
quiet "$wine64" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v KeywardenPackageTest /d 'C:\test.exe' /f /reg:64
check "it alerts on a value added to the 64-bit HKLM Run key" wait_for 150 window '^Keywarden - Change Alert$'
quiet "$wine64" reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v KeywardenPackageTest /f /reg:64

# Installing again closes the running program first.
check "a second silent install over the running program succeeds" quiet "$setup_loader" "$setup" /S
check "the running program was closed" wait_for 100 sh -c "! kill -0 $program 2>/dev/null"
kill "$program" 2>/dev/null || true
check "the autostart value is kept on reinstall" test "$(reg_value "$run_key" Keywarden /reg:64)" = "\"$win_dir\\keywarden.exe\" -tray"

# The uninstaller copies itself away and returns at once: wait for the
# folder to go, then for every Wine process of the prefix to end.
check "silent uninstall starts" quiet "$setup_loader" "$win_dir\\uninstall.exe" /S
check "the program folder is removed" wait_for 300 test ! -e "$pf"
quiet timeout 60 wineserver -w || true
check "the Start menu shortcut is removed" test ! -e "$lnk"
check "the uninstall entry is removed" reg_missing "$uninst_key" /reg:64
check "the event source is removed" reg_missing "$event_key" /reg:64
check "the autostart value is removed" reg_missing "$run_key" /v Keywarden /reg:64
check "a silent uninstall keeps the settings" quiet "$wine64" reg query "$settings_key" /v PopUpAlert /reg:64

quiet wineserver -k || true
if [ "$failures" -eq 0 ]; then
    rm -rf "$WINEPREFIX"
    echo "package tests: all passed"
else
    echo "package tests: $failures failed (prefix kept in $WINEPREFIX)" >&2
    exit 1
fi
