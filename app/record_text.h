// Record bytes as the list shows them, the way the registry editor shows
// them. Registry data is bytes of a known length, not a string that surely
// ends: nothing here reads past it.
#ifndef KEYWARDEN_APP_RECORD_TEXT_H
#define KEYWARDEN_APP_RECORD_TEXT_H

#include "engine/regwatch.h"
#include "ui/listview.h"

#include <string>

// A status as the list shows it: "Unchanged", "New (Added)", "Changed", "Deleted".
const char* RecordStatusText(DWORD status);
// The bytes up to the first zero byte within length, or all length bytes.
std::string BoundedText(const char* text, DWORD length);
// A record's data by its type: strings as text, REG_DWORD as "0x00000100 (256)",
// REG_QWORD likewise, REG_MULTI_SZ as its strings joined by spaces, anything
// else (and a number of the wrong length) as hex bytes, cut after 64 with
// "...". Empty for no record or data.
std::string RecordDataText(const ValueRecord* record);
// A record's name as the list shows it: "(Default)" for the unnamed value;
// empty for no record. Not the name to pass back to the registry.
std::string RecordNameText(const ValueRecord* record);
// The key's full path as the registry editor shows it, in its own view.
std::string KeyPathText(const WatchedKey* key);
// The list row of an entry with an owner and a current record: Status, Name,
// Value, Old Value and Registry Path, under a key that finds the same value
// of the same key in the same view in the next copy.
ListRow EntryRow(const ChangeEntry* entry);

#endif
