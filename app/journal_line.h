// The journal's line format: one JSON object per event, with the Elastic
// Common Schema's field names (nested objects, no arrays of objects), the
// three names Sysmon's registry events use (EventType, TargetObject,
// Details) and the program's own under "keywarden".
#ifndef KEYWARDEN_APP_JOURNAL_LINE_H
#define KEYWARDEN_APP_JOURNAL_LINE_H

#include "engine/regwatch.h"

#include <string>

// Who and where, the same for every line of a run.
struct JournalContext {
    std::string hostName;  // host.hostname
    std::string userName;  // user.name
    std::string userSid;   // user.id, and the HKU\<sid> of Sysmon's paths; may be empty
};

// Asks the system; fields it cannot tell stay empty.
JournalContext JournalContext_Current();

// A value's type and data bytes, copied out of the engine's records.
struct JournalData {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

// One event as the journal tells it, whatever its source. It owns copies of
// everything but its texts, which are constants: it may be formatted on
// another thread, after the records it was taken from are gone.
struct JournalEvent {
    const char* action = nullptr;  // event.action; null: nothing to journal
    const char* type = nullptr;    // event.type: "creation", "change", "deletion" or "info"
    HKEY root = nullptr;           // null for the program's own events
    std::string key;               // below the hive, as the registry editor shows it
    REGSAM view = 0;               // KEY_WOW64_64KEY / KEY_WOW64_32KEY; 0 where there is one view
    bool hasValue = false;
    std::string valueName;
    JournalData data;                   // registry.data and Details
    JournalData old;                    // keywarden.old: what the row's Old Value shows
    const char* status = nullptr;       // keywarden.status, the row's status text
    const char* sysmonType = nullptr;   // EventType: "SetValue" or "DeleteValue"
    bool whileAway = false;
    const char* outcome = nullptr;      // event.outcome of the user's own actions
    LONG error = 0;                     // error.code, when the outcome is "failure"
    const char* reason = nullptr;       // event.reason of a baseline
    long long values = -1;              // keywarden.values of a baseline
    SYSTEMTIME time = {};               // when it happened, UTC
};

// Copies a record's type and data.
JournalData JournalData_Of(const ValueRecord* record);

// The engine's event; action stays null for a kind the journal does not know.
JournalEvent JournalEvent_FromEngine(const RegWatchEvent& event);

// The line, without its newline. maxString nonzero clips every string to that
// many bytes and every array to a few items, and marks the line
// keywarden.clipped: for the event log, whose strings have a size limit.
std::string FormatJournalLine(const JournalEvent& event, const JournalContext& context, size_t maxString = 0);

#endif
