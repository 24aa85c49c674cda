// The watched keys, their reading and the baseline.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_sys.h"

#define KEYWARDEN_CV "Software\\Microsoft\\Windows\\CurrentVersion\\"
#define KEYWARDEN_CV32 "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"

// The 32-bit view is opened by its plain path with KEY_WOW64_32KEY, which
// works from either build, and shown as the registry editor shows it. HKCU's
// keys are shared by both views, so they are watched once and need no flag.
const RegWatchKeyRow kWatchedKeys[kWatchedKeyCount] = {
    {HKEY_CURRENT_USER, KEYWARDEN_CV "Run", 0, KEYWARDEN_CV "Run"},
    {HKEY_CURRENT_USER, KEYWARDEN_CV "RunOnce", 0, KEYWARDEN_CV "RunOnce"},
    {HKEY_CURRENT_USER, KEYWARDEN_CV "RunServices", 0, KEYWARDEN_CV "RunServices"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "Run", KEY_WOW64_64KEY, KEYWARDEN_CV "Run"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "RunOnce", KEY_WOW64_64KEY, KEYWARDEN_CV "RunOnce"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "RunOnceEx", KEY_WOW64_64KEY, KEYWARDEN_CV "RunOnceEx"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "RunServices", KEY_WOW64_64KEY, KEYWARDEN_CV "RunServices"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "Run", KEY_WOW64_32KEY, KEYWARDEN_CV32 "Run"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "RunOnce", KEY_WOW64_32KEY, KEYWARDEN_CV32 "RunOnce"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "RunOnceEx", KEY_WOW64_32KEY, KEYWARDEN_CV32 "RunOnceEx"},
    {HKEY_LOCAL_MACHINE, KEYWARDEN_CV "RunServices", KEY_WOW64_32KEY, KEYWARDEN_CV32 "RunServices"},
};

const RegWatchKeyRow kNotifyKeys[kMaxNotifyKeys] = {
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion", 0, nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_WOW64_64KEY, nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_WOW64_32KEY, nullptr},
};

#undef KEYWARDEN_CV
#undef KEYWARDEN_CV32

int RegWatch_HasTwoViews()
{
#ifdef _WIN64
    return 1;
#else
    // A 32-bit program sees two views only when it runs under WOW64.
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? 1 : 0;
#endif
}

size_t RegWatch_WatchedKeyRows()
{
    return RegWatch_HasTwoViews() ? kWatchedKeyCount : 7;
}

size_t RegWatch_NotifyKeyRows()
{
    return RegWatch_HasTwoViews() ? kMaxNotifyKeys : 2;
}

LONG RegWatch_OpenWatchedKey(const WatchedKey* watchedKey, HKEY* key)
{
    return Sys_RegOpenKey(watchedKey->root, watchedKey->subkey, watchedKey->view, key);
}

// How often one pass takes larger buffers for a value that outgrew them.
const int kEnumGrowAttempts = 4;
// How many passes a reading makes over a key that keeps changing under it.
const int kEnumPasses = 4;

// What a reading needs to know of a key before it starts.
struct KeyInfo {
    DWORD values;
    DWORD maxName;
    DWORD maxData;
    FILETIME lastWrite;
};

static bool QueryKeyInfo(HKEY key, KeyInfo* info)
{
    return Sys_RegQueryInfoKey(key, &info->values, &info->maxName, &info->maxData, &info->lastWrite) ==
           ERROR_SUCCESS;
}

static size_t ListLength(RecordList* list)
{
    size_t length = 0;
    for (RecordLink* node = RecordList_First(list); node; node = RecordList_Next(node))
        ++length;
    return length;
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

DWORD RegWatch_EnumValues(RecordList* list, RegWatch_Collector collector, HKEY key, FILETIME* readAt)
{
    FILETIME unread = {};
    if (readAt)
        *readAt = unread;
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
        if (!QueryKeyInfo(key, &after))
            break;
        if (CompareFileTime(&after.lastWrite, &before.lastWrite) == 0) {
            // Whole only if every value made it into the list: an enumeration
            // cut short or a record that could not be allocated leaves the
            // key to be read again next time.
            if (readAt && ListLength(list) == after.values)
                *readAt = after.lastWrite;
            break;
        }
        if (pass == kEnumPasses)
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
ChangeEntry* RegWatch_AppendEntry(WatchedKey* watchedKey, ChangeStatus status, const ValueRecord* record)
{
    ChangeEntry* entry = static_cast<ChangeEntry*>(RegWatch_Alloc(sizeof(ChangeEntry)));
    if (!entry)
        return nullptr;
    entry->owner = watchedKey;
    entry->status = status;
    entry->previous = nullptr;
    entry->accepted = status == Unchanged ? 1 : 0;
    entry->current = ValueRecord_Copy(record);
    if (!entry->current) {
        RegWatch_Free(entry);
        return nullptr;
    }
    RecordList_Append(&watchedKey->entries, entry);
    return entry;
}

// Reads one key into Unchanged entries. A key that cannot be opened is no
// failure; one that cannot be read, or whose entries cannot all be made,
// keeps what it has and a zero readAt, so a comparison reads it afresh.
static DWORD BaselineKey(WatchedKey* watchedKey)
{
    HKEY key = nullptr;
    if (RegWatch_OpenWatchedKey(watchedKey, &key) != ERROR_SUCCESS)
        return REGWATCH_OK;

    RecordList records;
    RecordList_Init(&records);
    FILETIME readAt = {};
    DWORD result = RegWatch_EnumValues(&records, RegWatch_CollectValue, key, &readAt);
    if (result == REGWATCH_OK) {
        for (ValueRecord* record = ValueRecord_First(&records); record; record = ValueRecord_Next(record))
            if (!RegWatch_AppendEntry(watchedKey, Unchanged, record)) {
                result = REGWATCH_E_NO_MEMORY;
                break;
            }
    }
    if (result == REGWATCH_OK)
        watchedKey->readAt = readAt;
    ValueRecordList_Free(&records);
    Sys_RegCloseKey(key);
    return result;
}

DWORD RegWatch_BuildKeys(RecordList* keys)
{
    const int twoViews = RegWatch_HasTwoViews();
    for (size_t row = 0; row < RegWatch_WatchedKeyRows(); ++row) {
        WatchedKey* watchedKey = static_cast<WatchedKey*>(RegWatch_Alloc(sizeof(WatchedKey)));
        if (!watchedKey)
            return REGWATCH_E_KEY_MEMORY;
        watchedKey->root = kWatchedKeys[row].root;
        watchedKey->subkey = kWatchedKeys[row].subkey;
        watchedKey->view = twoViews ? kWatchedKeys[row].view : 0;
        watchedKey->shownSubkey = kWatchedKeys[row].shownSubkey;
        RecordList_Init(&watchedKey->entries);
        RecordList_Append(keys, watchedKey);
    }
    return REGWATCH_OK;
}

DWORD RegWatch_Rebaseline(RegWatchHandle* watch)
{
    if (RegWatch_Lock(watch) != REGWATCH_OK)
        return REGWATCH_E_LOCK;

    RegWatch_FreeState(&watch->watched);
    // Opened afresh by the next comparison, as the keys are now.
    for (size_t row = 0; row < kWatchedKeyCount; ++row)
        RegWatch_CloseRowKey(watch, row);
    watch->eventFlags = 0;
    InterlockedIncrement(&watch->generation);
    // Every key has its place before any is read.
    DWORD result = RegWatch_BuildKeys(&watch->watched);
    for (WatchedKey* watchedKey = WatchedKey_First(&watch->watched); watchedKey;
         watchedKey = WatchedKey_Next(watchedKey)) {
        // A key that cannot be read keeps its place: the comparisons read it
        // as soon as they can.
        DWORD keyResult = BaselineKey(watchedKey);
        if (result == REGWATCH_OK)
            result = keyResult;
    }
    if (result != REGWATCH_E_KEY_MEMORY)
        RegWatch_SaveAcceptedLocked(watch);

    ReleaseMutex(watch->mutex);
    return result;
}
