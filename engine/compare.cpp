// Change detection: what counts as a change of a watched value.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_sys.h"

#include <string.h>

// A key's last-write time moves at the system clock's tick, which may be
// coarse; a reading is trusted to stand for its time only once the key has
// been quiet this long, so that a later write cannot carry the same time.
const ULONGLONG kSettled100ns = 200 * 10000ULL;

static ULONGLONG Ticks(const FILETIME& time)
{
    return (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

static bool IsZero(const FILETIME& time)
{
    return Ticks(time) == 0;
}

// Length of the data read as text: up to the first NUL, never past dataLen.
static DWORD TextLength(const ValueRecord* record)
{
    const void* nul = memchr(record->data, 0, record->dataLen);
    if (!nul)
        return record->dataLen;
    return static_cast<DWORD>(static_cast<const BYTE*>(nul) - record->data);
}

static DWORD WithoutTrailingNuls(const ValueRecord* record)
{
    DWORD length = record->dataLen;
    while (length > 0 && record->data[length - 1] == 0)
        --length;
    return length;
}

int ValueRecord_SameValue(const ValueRecord* a, const ValueRecord* b)
{
    if (a->type != b->type)
        return 0;
    DWORD lengthA = a->dataLen;
    DWORD lengthB = b->dataLen;
    if (a->type == REG_SZ || a->type == REG_EXPAND_SZ) {
        lengthA = TextLength(a);
        lengthB = TextLength(b);
    } else if (a->type == REG_MULTI_SZ) {
        lengthA = WithoutTrailingNuls(a);
        lengthB = WithoutTrailingNuls(b);
    }
    return lengthA == lengthB && memcmp(a->data, b->data, lengthA) == 0;
}

void RegWatch_Report(RegWatchHandle* watch, RegWatchEventKind kind, const WatchedKey* key, const ChangeEntry* entry)
{
    const bool usersOwn = entry && key == watch->quietKey && strcmp(entry->current->name, watch->quietName) == 0;
    if (kind == RegWatchEvent_ValueAdded || kind == RegWatchEvent_ValueChanged || kind == RegWatchEvent_ValueDeleted) {
        InterlockedIncrement(&watch->generation);
        if (!usersOwn)
            InterlockedIncrement(&watch->differences);
    }
    if (usersOwn)
        return;
    if (!watch->sink)
        return;
    RegWatchEvent event = {kind, watch->eventFlags, key, entry};
    watch->sink(watch->sinkData, &event);
}

// A value seen with another type or data, or back after it was Deleted. The
// first difference from the accepted value keeps that value in previous.
static bool MarkChanged(RegWatchHandle* watch, ChangeEntry* entry, const ValueRecord* seen)
{
    ValueRecord* copy = ValueRecord_Copy(seen);
    if (!copy)
        return false;  // left as it was; the key is read again next time
    if (entry->accepted && !entry->previous)
        entry->previous = entry->current;
    else
        ValueRecord_Free(&entry->current);
    entry->current = copy;
    entry->status = Changed;
    RegWatch_Report(watch, RegWatchEvent_ValueChanged, entry->owner, entry);
    return true;
}

static void MarkDeleted(RegWatchHandle* watch, int* changed, ChangeEntry* entry)
{
    // A value that stays missing keeps reporting a difference until a new
    // baseline or a re-read drops it, but is an event only once.
    *changed = 1;
    if (entry->status == Deleted)
        return;
    entry->status = Deleted;
    RegWatch_Report(watch, RegWatchEvent_ValueDeleted, entry->owner, entry);
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

// Matches a reading against the entries; false when some difference could
// not be recorded.
static bool MatchReading(RegWatchHandle* watch, int* changed, HKEY key, WatchedKey* watchedKey, RecordList* records)
{
    bool whole = true;
    // Each search starts after the last match: the registry lists a key's
    // values in the same order every time, so a walk finds each at once.
    ChangeEntry* entryHint = nullptr;
    for (ValueRecord* record = ValueRecord_First(records); record; record = ValueRecord_Next(record)) {
        ChangeEntry* entry = ChangeEntry_FindByNameFrom(&watchedKey->entries, entryHint, record);
        if (!entry) {
            entry = RegWatch_AppendEntry(watchedKey, New, record);
            if (!entry) {
                whole = false;  // found again next time
                continue;
            }
            *changed = 1;
            RegWatch_Report(watch, RegWatchEvent_ValueAdded, watchedKey, entry);
            continue;
        }
        entryHint = ChangeEntry_Next(entry);
        if (entry->status == Deleted || !ValueRecord_SameValue(entry->current, record)) {
            if (MarkChanged(watch, entry, record))
                *changed = 1;
            else
                whole = false;
        }
    }

    ValueRecord* recordHint = nullptr;
    for (ChangeEntry* entry = ChangeEntry_First(&watchedKey->entries); entry; entry = ChangeEntry_Next(entry)) {
        ValueRecord* record = ValueRecord_FindByNameFrom(records, recordHint, entry);
        if (record)
            recordHint = ValueRecord_Next(record);
        else if (ValueExists(key, entry->current->name, records))
            whole = false;  // the reading missed it
        else
            MarkDeleted(watch, changed, entry);
    }
    return whole;
}

void RegWatch_CompareKey(RegWatchHandle* watch, int* changed, HKEY key, WatchedKey* watchedKey)
{
    const FILETIME readBefore = watchedKey->readAt;
    FILETIME zero = {};
    watchedKey->readAt = zero;
    RecordList records;
    RecordList_Init(&records);
    FILETIME readAt = {};
    if (RegWatch_EnumValues(&records, RegWatch_CollectValue, key, &readAt) == REGWATCH_OK) {
        int keyChanged = 0;
        const bool whole = MatchReading(watch, &keyChanged, key, watchedKey, &records);
        // Written to since a full reading, yet nothing differs: a change that
        // undid itself.
        if (keyChanged)
            *changed = 1;
        else if (!IsZero(readBefore) && !IsZero(readAt) && CompareFileTime(&readAt, &readBefore) != 0)
            RegWatch_Report(watch, RegWatchEvent_KeyWritten, watchedKey, nullptr);

        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        if (whole && !IsZero(readAt) && Ticks(now) > Ticks(readAt) + kSettled100ns)
            watchedKey->readAt = readAt;
    }
    ValueRecordList_Free(&records);
}

// The row's key, open, with its last-write time when it was open already
// (else zero); a handle to a key deleted since it was opened is replaced by
// one to whatever key now has that path.
static LONG OpenKeyOfRow(RegWatchHandle* watch, size_t row, const WatchedKey* watchedKey, HKEY* key,
                         FILETIME* lastWrite)
{
    HKEY& open = watch->openKeys[row];
    const FILETIME zero = {};
    *lastWrite = zero;
    if (open) {
        const LONG status = Sys_RegQueryInfoKey(open, nullptr, nullptr, nullptr, lastWrite);
        if (status != ERROR_KEY_DELETED) {
            if (status != ERROR_SUCCESS)
                *lastWrite = zero;
            *key = open;
            return ERROR_SUCCESS;
        }
        *lastWrite = zero;
        RegWatch_CloseRowKey(watch, row);
    }
    const LONG status = RegWatch_OpenWatchedKey(watchedKey, &open);
    if (status != ERROR_SUCCESS)
        open = nullptr;
    *key = open;
    return status;
}

int RegWatch_CompareAll(RegWatchHandle* watch)
{
    int changed = 0;
    size_t row = 0;
    for (WatchedKey* watchedKey = WatchedKey_First(&watch->watched); watchedKey && row < kWatchedKeyCount;
         watchedKey = WatchedKey_Next(watchedKey), ++row) {
        HKEY key = nullptr;
        FILETIME lastWrite;
        const LONG status = OpenKeyOfRow(watch, row, watchedKey, &key, &lastWrite);
        if (status == ERROR_FILE_NOT_FOUND) {
            // The key itself is gone, and every value with it.
            FILETIME zero = {};
            watchedKey->readAt = zero;
            for (ChangeEntry* entry = ChangeEntry_First(&watchedKey->entries); entry; entry = ChangeEntry_Next(entry))
                MarkDeleted(watch, &changed, entry);
            continue;
        }
        // Any other failure (access denied) says nothing of the values.
        if (status != ERROR_SUCCESS)
            continue;
        // Not written to since its last full reading: it holds what the
        // entries say, and only its Deleted entries count, as every time.
        if (!IsZero(watchedKey->readAt) && CompareFileTime(&lastWrite, &watchedKey->readAt) == 0) {
            for (ChangeEntry* entry = ChangeEntry_First(&watchedKey->entries); entry; entry = ChangeEntry_Next(entry))
                if (entry->status == Deleted)
                    changed = 1;
            continue;
        }
        RegWatch_CompareKey(watch, &changed, key, watchedKey);
    }
    watch->eventFlags = 0;
    return changed;
}
