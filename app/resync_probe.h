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

    // RegWatch_Resync with a probe built from the copies.
    DWORD Resync(RegWatchHandle* watch) const;

    HKEY root;
    std::string subkey;
    std::string name;
};

#endif
