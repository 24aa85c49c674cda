// What RegWatch_Resync reads of a list entry (its key and its value's name),
// copied out of the page's state so that the entry may be freed meanwhile:
// a rebuild inside a message box frees the copy the entry lives in.
#ifndef KEYWARDEN_APP_RESYNC_PROBE_H
#define KEYWARDEN_APP_RESYNC_PROBE_H

#include "engine/regwatch.h"

#include <string>

class ResyncProbe {
public:
    // The entry must have an owner and a current record.
    explicit ResyncProbe(const ChangeEntry* entry);
    ResyncProbe(HKEY root, const char* subkey, REGSAM view, const char* name);

    // Opens the value's key in its view with the given access.
    LONG OpenKey(REGSAM access, HKEY* key) const;

    // RegWatch_Resync with a probe built from the copies.
    DWORD Resync(RegWatchHandle* watch) const;

    HKEY root;
    std::string subkey;
    REGSAM view;
    std::string name;
};

#endif
