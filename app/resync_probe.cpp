#include "app/resync_probe.h"

#include "app/record_text.h"

ResyncProbe::ResyncProbe(const ChangeEntry* entry)
    : root(entry->owner->root), subkey(entry->owner->subkey ? entry->owner->subkey : ""), view(entry->owner->view),
      name(BoundedText(entry->current->name, entry->current->nameLen))
{
}

ResyncProbe::ResyncProbe(HKEY keyRoot, const char* keySubkey, REGSAM keyView, const char* valueName)
    : root(keyRoot), subkey(keySubkey), view(keyView), name(valueName)
{
}

LONG ResyncProbe::OpenKey(REGSAM access, HKEY* key) const
{
    return RegOpenKeyExA(root, subkey.c_str(), 0, access | view, key);
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
    key.view = view;
    RecordList_Init(&key.entries);
    ChangeEntry entry{};
    entry.owner = &key;
    entry.current = &record;
    return RegWatch_Resync(watch, &entry);
}
