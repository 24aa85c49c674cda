// Record bytes as the list shows them. Registry data is bytes of a known
// length, not a string that surely ends: nothing here reads past it.
#ifndef KEYWARDEN_APP_RECORD_TEXT_H
#define KEYWARDEN_APP_RECORD_TEXT_H

#include "engine/regwatch.h"

#include <string>

// The bytes up to the first zero byte within length, or all length bytes.
std::string BoundedText(const char* text, DWORD length);
// A record's data as text, whatever its type; empty for no record or data.
std::string RecordDataText(const ValueRecord* record);
// A record's name; empty for no record or name.
std::string RecordNameText(const ValueRecord* record);
// The key's full path as the registry editor shows it, in its own view.
std::string KeyPathText(const WatchedKey* key);

#endif
