#include "app/resync_probe.h"

#include "app/record_text.h"

ResyncProbe::ResyncProbe(const ChangeEntry* entry)
    : root(entry->owner->root), subkey(entry->owner->subkey ? entry->owner->subkey : ""),
      name(RecordNameText(entry->current))
{
}

DWORD ResyncProbe::Resync(RegWatchHandle* watch) const
{
    if (!watch)
        return REGWATCH_E_LOCK;
    ValueRecord record{};
    record.name = const_cast<char*>(name.c_str());
    record.nameLen = static_cast<DWORD>(name.size());
    WatchedKey key{};
    key.root = root;
    key.subkey = subkey.c_str();
    RecordList_Init(&key.entries);
    ChangeEntry entry{};
    entry.owner = &key;
    entry.current = &record;
    return RegWatch_Resync(watch, &entry);
}
