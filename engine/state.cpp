// Operations the user interface runs on the state: copies for display and the
// re-read of one value after the user acted on it.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_sys.h"

#include <string.h>

// How often a read follows a value that keeps growing between its queries.
const int kReadAttempts = 4;

static ChangeEntry* ChangeEntry_Copy(const ChangeEntry* source, WatchedKey* owner)
{
    ChangeEntry* copy = static_cast<ChangeEntry*>(RegWatch_Alloc(sizeof(ChangeEntry)));
    if (!copy)
        return nullptr;
    copy->owner = owner;
    copy->status = source->status;
    copy->accepted = source->accepted;
    copy->current = ValueRecord_Copy(source->current);
    copy->previous = ValueRecord_Copy(source->previous);
    if (!copy->current || (source->previous && !copy->previous)) {
        ChangeEntry_Free(copy);
        return nullptr;
    }
    return copy;
}

DWORD RegWatch_CopyState(RegWatchHandle* watch, RecordList* out)
{
    if (!out)
        return REGWATCH_E_LOCK;
    RecordList_Init(out);
    if (RegWatch_Lock(watch) != REGWATCH_OK)
        return REGWATCH_E_LOCK;

    DWORD result = REGWATCH_OK;
    for (WatchedKey* source = WatchedKey_First(&watch->watched); source; source = WatchedKey_Next(source)) {
        WatchedKey* key = static_cast<WatchedKey*>(RegWatch_Alloc(sizeof(WatchedKey)));
        if (!key) {
            result = REGWATCH_E_NO_MEMORY;
            goto free_copy;
        }
        *key = *source;
        RecordList_Init(&key->entries);
        RecordList_Append(out, key);
        for (ChangeEntry* entry = ChangeEntry_First(&source->entries); entry; entry = ChangeEntry_Next(entry)) {
            ChangeEntry* copy = ChangeEntry_Copy(entry, key);
            if (!copy) {
                result = REGWATCH_E_NO_MEMORY;
                goto free_copy;
            }
            RecordList_Append(&key->entries, copy);
        }
    }
    goto release_mutex;

free_copy:
    RegWatch_FreeState(out);
release_mutex:
    ReleaseMutex(watch->mutex);
    return result;
}

DWORD RegWatch_Resync(RegWatchHandle* watch, const ChangeEntry* probe)
{
    if (RegWatch_Lock(watch) != REGWATCH_OK)
        return REGWATCH_E_LOCK;

    DWORD result = REGWATCH_E_NOT_FOUND;
    const bool usable = probe && probe->owner && probe->owner->subkey && probe->current && probe->current->name;
    WatchedKey* key = usable ? WatchedKey_Find(watch, probe->owner) : nullptr;
    ChangeEntry* entry = nullptr;
    ValueRecord* fresh = nullptr;

    // Records anything else made meanwhile; the caller's own change is no
    // event, and the flag is dropped because the caller knows what it did.
    watch->quietKey = key;
    watch->quietName = key ? probe->current->name : nullptr;
    RegWatch_CompareAll(watch);
    watch->quietKey = nullptr;
    watch->quietName = nullptr;
    if (!key)
        goto release_mutex;
    entry = ChangeEntry_FindByName(&key->entries, probe->current);
    if (!entry)
        goto release_mutex;

    result = RegWatch_ReadValue(key, entry->current->name, &fresh);
    if (result == REGWATCH_OK) {
        // What the user's own action left there is what the user accepts.
        ValueRecord_Free(&entry->current);
        ValueRecord_Free(&entry->previous);
        entry->current = fresh;
        entry->status = Unchanged;
        entry->accepted = 1;
        InterlockedIncrement(&watch->generation);
        RegWatch_SaveAcceptedLocked(watch);
    } else if (result == REGWATCH_E_NOT_FOUND) {
        // The value is gone: its entry goes with it.
        RecordList_Unlink(&key->entries, entry);
        const bool wasAccepted = entry->accepted != 0;
        ChangeEntry_Free(entry);
        InterlockedIncrement(&watch->generation);
        if (wasAccepted)
            RegWatch_SaveAcceptedLocked(watch);
        result = REGWATCH_OK;
    }

release_mutex:
    ReleaseMutex(watch->mutex);
    return result;
}

// Reads the value's data into a buffer one byte longer than the data, with a
// 0 after it. Follows a value that grows between the size query and the read
// a few times, then gives up as if out of memory.
static DWORD ReadData(HKEY key, const char* name, DWORD size, ValueRecord* record)
{
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (size >= MAXDWORD - 1)
            return REGWATCH_E_NO_MEMORY;
        record->data = static_cast<BYTE*>(RegWatch_Alloc(size_t(size) + 1));
        if (!record->data)
            return REGWATCH_E_NO_MEMORY;
        record->data[0] = 0;
        DWORD length = size + 1;
        LONG status = Sys_RegQueryValueEx(key, name, &record->type, record->data, &length);
        // length == size + 1 would leave no room for the 0 after the data.
        if (status == ERROR_SUCCESS && length <= size) {
            record->dataLen = length;
            record->data[length] = 0;
            return REGWATCH_OK;
        }
        RegWatch_Free(record->data);
        record->data = nullptr;
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            return REGWATCH_E_NOT_FOUND;  // deleted since the size query
        size = length;
    }
    return REGWATCH_E_NO_MEMORY;
}

DWORD RegWatch_ReadValue(const WatchedKey* watchedKey, const char* name, ValueRecord** record)
{
    *record = nullptr;
    HKEY key = nullptr;
    if (RegWatch_OpenWatchedKey(watchedKey, &key) != ERROR_SUCCESS)
        return REGWATCH_E_OPEN_KEY;

    DWORD result = REGWATCH_OK;
    DWORD size = 0;
    size_t nameLen = strlen(name);
    ValueRecord* fresh = nullptr;
    LONG status = Sys_RegQueryValueEx(key, name, nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
        result = REGWATCH_E_NOT_FOUND;
        goto close_key;
    }

    fresh = static_cast<ValueRecord*>(RegWatch_Alloc(sizeof(ValueRecord)));
    if (!fresh) {
        result = REGWATCH_E_NO_MEMORY;
        goto close_key;
    }
    fresh->name = static_cast<char*>(RegWatch_Alloc(nameLen + 1));
    if (!fresh->name) {
        result = REGWATCH_E_NO_MEMORY;
        goto free_record;
    }
    memcpy(fresh->name, name, nameLen + 1);
    fresh->nameLen = static_cast<DWORD>(nameLen);

    result = ReadData(key, name, size, fresh);
    if (result != REGWATCH_OK)
        goto free_record;
    *record = fresh;
    goto close_key;

free_record:
    ValueRecord_Free(&fresh);
close_key:
    Sys_RegCloseKey(key);
    return result;
}
