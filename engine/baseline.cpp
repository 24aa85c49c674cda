// Baseline and change detection: what is watched and what counts as a change.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_sys.h"

const RegWatchKeyRow kWatchedKeys[kWatchedKeyCount] = {
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
};

// How often one pass takes larger buffers for a value that outgrew them.
const int kEnumGrowAttempts = 4;
// How many passes a reading makes over a key that keeps changing under it.
const int kEnumPasses = 4;

// What a reading needs to know of a key before it starts.
struct KeyInfo {
    DWORD maxName;
    DWORD maxData;
    FILETIME lastWrite;
};

static bool QueryKeyInfo(HKEY key, KeyInfo* info)
{
    return Sys_RegQueryInfoKey(key, &info->maxName, &info->maxData, &info->lastWrite) == ERROR_SUCCESS;
}

// The reusable buffers of one key's reading, one byte longer than the
// longest name and data they are for.
struct EnumBuffers {
    char* name;
    DWORD maxName;
    BYTE* data;
    DWORD maxData;
};

static bool EnumBuffers_Resize(EnumBuffers* buffers, DWORD maxName, DWORD maxData)
{
    RegWatch_Free(buffers->name);
    RegWatch_Free(buffers->data);
    buffers->name = static_cast<char*>(RegWatch_Alloc(size_t(maxName) + 1));
    buffers->data = static_cast<BYTE*>(RegWatch_Alloc(size_t(maxData) + 1));
    buffers->maxName = maxName;
    buffers->maxData = maxData;
    return buffers->name && buffers->data;
}

// The key's present longest length, but at least about twice the old one:
// a narrow name may need more bytes than the characters the key reports.
static DWORD Grown(DWORD current, DWORD queried)
{
    DWORD doubled = current < 0x10000000 ? current * 2 + 2 : current;
    return queried > doubled ? queried : doubled;
}

// One pass over the key's values by index, into list. REGWATCH_E_NO_MEMORY
// when larger buffers were needed and could not be had.
static DWORD ReadValues(RecordList* list, RegWatch_Collector collector, HKEY key, EnumBuffers* buffers)
{
    int grown = 0;
    for (DWORD index = 0;;) {
        buffers->name[0] = '\0';
        buffers->data[0] = 0;
        DWORD nameLen = buffers->maxName + 1;
        DWORD dataLen = buffers->maxData + 1;
        DWORD type = 0;
        LONG status = Sys_RegEnumValue(key, index, buffers->name, &nameLen, &type, buffers->data, &dataLen);
        if (status == ERROR_MORE_DATA && grown < kEnumGrowAttempts) {
            // A value grew since the query. Stopping here would leave every
            // later value out of this reading and so report it deleted.
            ++grown;
            KeyInfo now;
            if (!QueryKeyInfo(key, &now))
                return REGWATCH_OK;
            if (!EnumBuffers_Resize(buffers, Grown(buffers->maxName, now.maxName), Grown(buffers->maxData, now.maxData)))
                return REGWATCH_E_NO_MEMORY;
            continue;
        }
        // Any other error ends the pass: the values read so far are the result.
        if (status != ERROR_SUCCESS || nameLen > buffers->maxName || dataLen > buffers->maxData)
            return REGWATCH_OK;
        buffers->name[nameLen] = '\0';
        // The buffer may still hold the tail of a longer earlier value here.
        buffers->data[dataLen] = 0;

        ValueRecord enumerated = {};
        enumerated.name = buffers->name;
        enumerated.nameLen = nameLen;
        enumerated.data = buffers->data;
        enumerated.dataLen = dataLen;
        enumerated.type = type;
        collector(list, &enumerated);
        grown = 0;
        ++index;
    }
}

DWORD RegWatch_EnumValues(RecordList* list, RegWatch_Collector collector, HKEY key)
{
    KeyInfo before;
    if (!QueryKeyInfo(key, &before))
        return REGWATCH_E_QUERY_KEY;

    DWORD result = REGWATCH_OK;
    // Sized from the key's own longest name and data, reused per value.
    EnumBuffers buffers = {};
    if (!EnumBuffers_Resize(&buffers, before.maxName, before.maxData)) {
        result = REGWATCH_E_NO_MEMORY;
        goto free_buffers;
    }

    for (int pass = 1;; ++pass) {
        result = ReadValues(list, collector, key, &buffers);
        if (result != REGWATCH_OK)
            break;
        // A value deleted or added during the pass shifts the indexes, so the
        // pass may have skipped a value that is there: read again.
        KeyInfo after;
        if (pass == kEnumPasses || !QueryKeyInfo(key, &after) ||
            CompareFileTime(&after.lastWrite, &before.lastWrite) == 0)
            break;
        before = after;
        ValueRecordList_Free(list);
        RecordList_Init(list);
    }

free_buffers:
    RegWatch_Free(buffers.name);
    RegWatch_Free(buffers.data);
    return result;
}

// An entry with a copy of record, appended to the key's entries; null (and
// nothing allocated) when memory runs out.
static ChangeEntry* AppendEntry(WatchedKey* watchedKey, ChangeStatus status, const ValueRecord* record)
{
    ChangeEntry* entry = static_cast<ChangeEntry*>(RegWatch_Alloc(sizeof(ChangeEntry)));
    if (!entry)
        return nullptr;
    entry->owner = watchedKey;
    entry->status = status;
    entry->previous = nullptr;
    entry->current = ValueRecord_Copy(record);
    if (!entry->current) {
        RegWatch_Free(entry);
        return nullptr;
    }
    RecordList_Append(&watchedKey->entries, entry);
    return entry;
}

// Unchanged entries for every record of one key's reading. Stops at the first
// allocation failure: the key keeps the entries made so far.
static DWORD AddBaselineEntries(WatchedKey* watchedKey, RecordList* records)
{
    for (ValueRecord* record = ValueRecord_First(records); record; record = ValueRecord_Next(record))
        if (!AppendEntry(watchedKey, Unchanged, record))
            return REGWATCH_E_NO_MEMORY;
    return REGWATCH_OK;
}

DWORD RegWatch_Rebaseline(RegWatchHandle* watch)
{
    if (RegWatch_Lock(watch) != REGWATCH_OK)
        return REGWATCH_E_LOCK;

    DWORD result = REGWATCH_OK;
    RegWatch_FreeState(&watch->watched);

    for (size_t row = 0; row < kWatchedKeyCount; ++row) {
        WatchedKey* watchedKey = static_cast<WatchedKey*>(RegWatch_Alloc(sizeof(WatchedKey)));
        if (!watchedKey) {
            result = REGWATCH_E_KEY_MEMORY;
            goto release_mutex;
        }
        watchedKey->root = kWatchedKeys[row].root;
        watchedKey->subkey = kWatchedKeys[row].subkey;
        RecordList_Init(&watchedKey->entries);
        // Appended before opening, so every row that gets this far has its key.
        RecordList_Append(&watch->watched, watchedKey);

        HKEY key = nullptr;
        if (Sys_RegOpenKey(watchedKey->root, watchedKey->subkey, &key) != ERROR_SUCCESS)
            continue;

        RecordList records;
        RecordList_Init(&records);
        DWORD enumResult = RegWatch_EnumValues(&records, RegWatch_CollectValue, key);
        if (enumResult != REGWATCH_OK) {
            ValueRecordList_Free(&records);
            Sys_RegCloseKey(key);
            result = enumResult;
            goto release_mutex;
        }
        if (AddBaselineEntries(watchedKey, &records) != REGWATCH_OK)
            result = REGWATCH_E_NO_MEMORY;
        ValueRecordList_Free(&records);
        Sys_RegCloseKey(key);
    }

release_mutex:
    ReleaseMutex(watch->mutex);
    return result;
}

// A value seen with other text: the old current becomes previous.
static void MarkChanged(int* changed, ChangeEntry* entry, const ValueRecord* seen)
{
    ValueRecord* copy = ValueRecord_Copy(seen);
    if (!copy)
        return;  // left as it was; the next comparison sees the difference again
    ValueRecord_Free(&entry->previous);
    entry->previous = entry->current;
    entry->current = copy;
    entry->status = Changed;
    *changed = 1;
}

// A value no entry knows: a New entry at the tail.
static void AddNewEntry(int* changed, WatchedKey* watchedKey, const ValueRecord* seen)
{
    // Without memory the value is left out and found again next time.
    if (AppendEntry(watchedKey, New, seen))
        *changed = 1;
}

// Whether a value that a reading did not list is still there, asked by name,
// which no concurrent deletion can shift. The registry matches names in any
// letter case, so a value the reading did list under another case is the
// renamed one, not this one.
static bool ValueExists(HKEY key, const char* name, RecordList* records)
{
    DWORD size = 0;
    LONG status = Sys_RegQueryValueEx(key, name, nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        return false;
    for (ValueRecord* record = ValueRecord_First(records); record; record = ValueRecord_Next(record))
        if (lstrcmpiA(record->name, name) == 0)
            return false;
    return true;
}

void RegWatch_CompareKey(int* changed, HKEY key, WatchedKey* watchedKey)
{
    RecordList records;
    RecordList_Init(&records);
    if (RegWatch_EnumValues(&records, RegWatch_CollectValue, key) != REGWATCH_OK) {
        ValueRecordList_Free(&records);
        return;
    }

    // Each search starts after the last match: the registry lists a key's
    // values in the same order every time, so a walk finds each at once.
    ChangeEntry* entryHint = nullptr;
    for (ValueRecord* record = ValueRecord_First(&records); record; record = ValueRecord_Next(record)) {
        ChangeEntry* entry = ChangeEntry_FindByNameFrom(&watchedKey->entries, entryHint, record);
        if (!entry) {
            AddNewEntry(changed, watchedKey, record);
            continue;
        }
        entryHint = ChangeEntry_Next(entry);
        if (!ValueRecord_SameText(entry->current, record))
            MarkChanged(changed, entry, record);
    }

    // Also for entries already Deleted: a value that stays missing keeps
    // reporting a difference until a new baseline or a re-read drops it.
    ValueRecord* recordHint = nullptr;
    for (ChangeEntry* entry = ChangeEntry_First(&watchedKey->entries); entry; entry = ChangeEntry_Next(entry)) {
        ValueRecord* record = ValueRecord_FindByNameFrom(&records, recordHint, entry);
        if (record) {
            recordHint = ValueRecord_Next(record);
        } else if (!ValueExists(key, entry->current->name, &records)) {
            entry->status = Deleted;
            *changed = 1;
        }
    }

    ValueRecordList_Free(&records);
}

int RegWatch_CompareAll(RegWatchHandle* watch)
{
    int changed = 0;
    for (WatchedKey* watchedKey = WatchedKey_First(&watch->watched); watchedKey;
         watchedKey = WatchedKey_Next(watchedKey)) {
        HKEY key = nullptr;
        // A key that cannot be opened is skipped: its values are not Deleted.
        if (Sys_RegOpenKey(watchedKey->root, watchedKey->subkey, &key) != ERROR_SUCCESS)
            continue;
        RegWatch_CompareKey(&changed, key, watchedKey);
        Sys_RegCloseKey(key);
    }
    return changed;
}
