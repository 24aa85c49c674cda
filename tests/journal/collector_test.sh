#!/bin/sh
# A real collector reads the journal while keywarden.exe writes it: rsyslog's
# imfile tails events.ndjson, mmjsonparse parses each line, and a template
# prints the parsed fields, which this script checks. rsyslogd runs in the
# foreground with a configuration and work folder of its own, never as the
# system's service.
#
#   collector_test.sh <build dir>
set -eu
build=$(cd "$1" && pwd)
work="$build/journal-collector"
folder="$build/bin/journal-collector/Keywarden"   # the driver's LOCALAPPDATA\Keywarden
journal="$folder/events.ndjson"
rm -rf "$work" "$folder"
mkdir -p "$work/rsyslog" "$folder"
: >"$journal"

cat >"$work/rsyslog.conf" <<CONF
global(workDirectory="$work/rsyslog" maxMessageSize="256k")
module(load="imfile")
module(load="mmjsonparse")
template(name="fields" type="list") {
    property(name="\$!event!action") constant(value=" | ")
    property(name="\$!event!type") constant(value=" | ")
    property(name="\$!event!reason") constant(value=" | ")
    property(name="\$!event!outcome") constant(value=" | ")
    property(name="\$!registry!path") constant(value=" | ")
    property(name="\$!registry!data!strings") constant(value=" | ")
    property(name="\$!keywarden!status") constant(value=" | ")
    property(name="\$!keywarden!view") constant(value=" | ")
    property(name="\$!keywarden!old!strings") constant(value=" | ")
    property(name="\$!EventType") constant(value=" | ")
    property(name="\$!TargetObject") constant(value=" | ")
    property(name="\$!Details") constant(value=" | ")
    property(name="\$!message") constant(value="\n")
}
ruleset(name="journal") {
    action(type="mmjsonparse" cookie="")
    if \$parsesuccess == "OK" then {
        action(type="omfile" file="$work/fields.txt" template="fields")
    } else {
        action(type="omfile" file="$work/unparsed.txt")
    }
}
input(type="imfile" file="$journal" tag="keywarden" ruleset="journal")
CONF

rsyslogd -n -f "$work/rsyslog.conf" -i "$work/rsyslogd.pid" </dev/null >"$work/rsyslogd.log" 2>&1 &
collector=$!
trap 'kill $collector 2>/dev/null || true; wait $collector 2>/dev/null || true' EXIT

status=0
"$build/wine-run" "$build/bin/journal_collector_driver.exe" || status=1

# The collector has read every line once fields.txt has as many as the journal.
lines=$(wc -l <"$journal")
tries=0
while [ "$(cat "$work/fields.txt" 2>/dev/null | wc -l)" -lt "$lines" ] && [ $tries -lt 100 ]; do
    sleep 0.1; tries=$((tries + 1))
done
echo "--- the journal ($lines lines), as the collector parsed it:"
cat "$work/fields.txt" 2>/dev/null || true

expect() {  # the collector printed a line holding every one of these texts
    if ! awk -v n=$# 'BEGIN { for (i = 1; i <= n; ++i) want[i] = ARGV[i]; ARGC = 1 }
                      { ok = 1; for (i = 1; i <= n; ++i) if (index($0, want[i]) == 0) ok = 0; if (ok) found = 1 }
                      END { exit !found }' "$@" <"$work/fields.txt"; then
        echo "FAILED: no line holds: $*"
        status=1
    fi
}
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
wow='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
expect 'baseline-taken | [ "info" ] | start |'
expect "value-added | [ \"creation\" ] |" "| $run\\KwJournalNew | [ \"C:\\\\new.exe\" ] | New (Added) |" \
       '| SetValue | HKU\S-' '\Run\KwJournalNew | C:\new.exe | "KwJournalNew" was added to'
expect "value-changed | [ \"change\" ] |" "| $run\\KwJournalKept | [ \"after\" ] | Changed |" '| [ "before" ] | SetValue |'
expect "value-deleted | [ \"deletion\" ] |" "| $run\\KwJournalGone | [ \"x\" ] | Deleted |" '| DeleteValue |'
expect "value-added |" "| $wow\\KwJournal32 | [ \"wow.exe\" ] | New (Added) | 32-bit |" \
       '| HKLM\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Run\KwJournal32 |'
expect "user-deleted | [ \"deletion\" ] |" "| success | $run\\KwJournalNew |" '| New (Added) |' '| DeleteValue |'
expect "user-reverted | [ \"change\" ] |" "| success | $run\\KwJournalKept | [ \"before\" ] | Changed |" '| SetValue |'
expect 'baseline-taken | [ "info" ] | Reset Alarm |'
expect "value-deleted |" "| $wow\\KwJournal32 |" '| 32-bit |'
if [ -s "$work/unparsed.txt" ]; then
    echo "FAILED: lines the collector could not parse:"; cat "$work/unparsed.txt"; status=1
fi

# The Application log: under Wine ReportEventA only traces its string.
WINEDEBUG=+eventlog "$build/wine-run" "$build/bin/keywarden.exe" -tray 2>"$work/eventlog.txt" &
program=$!
tries=0
until grep -q 'eventlog:ReportEventW L"{\\"@timestamp' "$work/eventlog.txt" 2>/dev/null || [ $tries -ge 100 ]; do
    sleep 0.1; tries=$((tries + 1))
done
"$build/wine-run" taskkill /im keywarden.exe >/dev/null 2>&1 || true
wait $program || true
if ! grep 'eventlog:ReportEventW' "$work/eventlog.txt" | grep -q 'baseline-taken'; then
    echo "FAILED: no event of the Application log in the trace"; status=1
fi
[ $status -eq 0 ] && echo "journal_collector: passed"
exit $status
