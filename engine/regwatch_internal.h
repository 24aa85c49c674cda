// Registry watch engine: what the engine's own files share. Nothing outside
// engine/, tests and benchmarks includes this.
//
// Locking: every operation that reads or changes watch->watched holds
// watch->mutex; the functions below that say "caller holds the mutex" take
// no lock themselves.
#ifndef KEYWARDEN_ENGINE_REGWATCH_INTERNAL_H
#define KEYWARDEN_ENGINE_REGWATCH_INTERNAL_H

#include "engine/regwatch.h"

#include <stddef.h>

const size_t kMaxNotifyKeys = 3;
const size_t kWatchedKeyCount = 11;

// The watch object. Zero-filled at allocation; a partly built object keeps
// whatever RegWatch_Create made before it failed and is never freed.
struct RegWatchHandle {
    HANDLE mutex;              // guards watched and everything under it
    void* userData;            // handed back to callback
    RegWatch_Callback callback;
    HANDLE thread;             // kept, never waited for or closed
    HANDLE events[kMaxNotifyKeys];    // auto-reset; events[i] fires for notifyKeys[i]
    HKEY notifyKeys[kMaxNotifyKeys];  // opened for reading; null while one must be reopened
    size_t notifyCount;        // 2, or 3 with two registry views
    HANDLE keyEvents[kWatchedKeyCount];  // auto-reset; fires for openKeys[row]
    // What holds a notification not yet fired, so that a pass arms only what
    // fired or was opened afresh: the parent flags, and each row's armed handle.
    bool parentArmed[kMaxNotifyKeys];
    HKEY armedKeys[kWatchedKeyCount];
    RecordList watched;        // of WatchedKey: the baseline with its statuses
    RegWatch_EventSink sink;   // may be null
    void* sinkData;
    DWORD eventFlags;          // added to every event of the next comparison
    volatile LONG watching;    // RegWatch_IsWatching
    volatile LONG generation;  // RegWatch_Generation
    volatile LONG differences; // RegWatch_Differences
    char* acceptedFile;        // where the accepted state is saved, or null; owned
    // The value a re-read is about: the user's own change to it is no event.
    const WatchedKey* quietKey;
    const char* quietName;
    // The watched keys, kept open between comparisons by their row in
    // watched (which follows the table), so that a key nobody wrote to costs
    // one query; null until opened, and again once the key is found deleted.
    HKEY openKeys[kWatchedKeyCount];
};

struct RegWatchKeyRow {
    HKEY root;
    const char* subkey;
    REGSAM view;              // used only where Windows has two views
    const char* shownSubkey;
};

const size_t kHiveNameCount = 8;

// The watched keys, in the order baselines and comparisons visit them: the
// seven keys of the 64-bit view, then the four HKLM keys of the 32-bit view.
// With one view only the first seven are watched.
extern const RegWatchKeyRow kWatchedKeys[kWatchedKeyCount];
// The parents whose subtrees the thread watches; the third (the 32-bit view)
// only with two views, since a notification sees one view only.
extern const RegWatchKeyRow kNotifyKeys[kMaxNotifyKeys];

// How many rows of the tables above this Windows uses.
size_t RegWatch_WatchedKeyRows();
size_t RegWatch_NotifyKeyRows();

struct RegWatchHiveName {
    HKEY root;
    const char* name;
};
extern const RegWatchHiveName kHiveNames[kHiveNameCount];

// --- Allocation: one general-purpose heap for every record and buffer ----

// Zero-filled block, or null.
void* RegWatch_Alloc(size_t size);
// Accepts null.
void RegWatch_Free(void* block);

// Waits for the mutex without time limit: REGWATCH_OK with the mutex held,
// or REGWATCH_E_LOCK (no object, no mutex, or a failed wait) with it free.
DWORD RegWatch_Lock(RegWatchHandle* watch);

// --- Lists (no allocation, no failure) -----------------------------------

// The node becomes the tail.
void RecordList_Append(RecordList* list, RecordLink* node);
// Takes the node out; its own links are left as they were, so a walker may
// still read node->next.
void RecordList_Unlink(RecordList* list, RecordLink* node);

inline ValueRecord* ValueRecord_First(RecordList* list) { return static_cast<ValueRecord*>(RecordList_First(list)); }
inline ValueRecord* ValueRecord_Next(ValueRecord* record) { return static_cast<ValueRecord*>(RecordList_Next(record)); }

// --- Records ---------------------------------------------------------------

// Deep, unlinked copy; null for a null source or when out of memory (then
// nothing is left allocated).
ValueRecord* ValueRecord_Copy(const ValueRecord* source);
// Frees *record with its buffers and stores null; accepts a null pointer.
void ValueRecord_Free(ValueRecord** record);
// Frees every record of the list. The header is not reset.
void ValueRecordList_Free(RecordList* list);
// An entry with a copy of record at the tail of the key's entries, accepted
// when Unchanged; null, with nothing allocated, when memory runs out.
ChangeEntry* RegWatch_AppendEntry(WatchedKey* watchedKey, ChangeStatus status, const ValueRecord* record);
// Frees an entry with both its records; the entry must be in no list.
void ChangeEntry_Free(ChangeEntry* entry);

// Collector for RegWatch_EnumValues: appends a heap copy of the enumerated
// record. When out of memory the value is silently left out.
typedef void (*RegWatch_Collector)(RecordList* list, const ValueRecord* enumerated);
void RegWatch_CollectValue(RecordList* list, const ValueRecord* enumerated);


// Finders: first match from the head, or null. Names compare exactly,
// letter case included.
ChangeEntry* ChangeEntry_FindByName(RecordList* entries, const ValueRecord* probe);
ValueRecord* ValueRecord_FindByName(RecordList* records, const ChangeEntry* probe);
// The same search starting at start (null: the head) and wrapping around.
// As no two entries of a key, and no two values of one reading, share a
// name, it finds what the finders above find; a comparison that walks both
// lists in their common order finds each name at the first try.
ChangeEntry* ChangeEntry_FindByNameFrom(RecordList* entries, ChangeEntry* start, const ValueRecord* probe);
ValueRecord* ValueRecord_FindByNameFrom(RecordList* records, ValueRecord* start, const ChangeEntry* probe);
// Matches root by value, subkey by text and view; reads only those fields.
WatchedKey* WatchedKey_Find(RegWatchHandle* watch, const WatchedKey* probe);

// --- Baseline and comparison -----------------------------------------------

// Reads every value of an open key into list (of ValueRecord, empty) through
// collector. A value that outgrows the buffers is read again with larger
// ones, and a key written to during the reading is read again from the start
// (a few times at most each). An enumeration that stops on any other error is
// not a failure: the values read before it are the result.
// REGWATCH_E_QUERY_KEY when the key's lengths cannot be queried and
// REGWATCH_E_NO_MEMORY when the buffers cannot be allocated, at first (the
// collector is never called) or when they must grow (the caller frees the
// incomplete list). *readAt (may be null) receives the key's last-write time
// that the list reflects in full, or zero when some value may be missing.
DWORD RegWatch_EnumValues(RecordList* list, RegWatch_Collector collector, HKEY key, FILETIME* readAt);

// Compares one open key with its WatchedKey and marks New, Changed and
// Deleted entries. Sets *changed to 1 when it records a difference and never
// clears it. Sets the key's readAt when the reading was whole and the key had
// settled. Caller holds the mutex.
void RegWatch_CompareKey(RegWatchHandle* watch, int* changed, HKEY key, WatchedKey* watchedKey);

// Compares every watched key; 1 if any difference was recorded. A key whose
// last-write time equals its readAt is not read again: only its Deleted
// entries count, as on every comparison. A key that no longer exists has all
// its values Deleted; one that cannot be opened for another reason is
// skipped and keeps its statuses. Caller holds the mutex.
int RegWatch_CompareAll(RegWatchHandle* watch);

// Closes a row's open key; its notification goes with it. Caller holds the
// mutex.
void RegWatch_CloseRowKey(RegWatchHandle* watch, size_t row);

// Empty WatchedKeys for every watched key of this Windows, appended to keys
// (empty). REGWATCH_E_KEY_MEMORY, keeping those made, when memory runs out.
DWORD RegWatch_BuildKeys(RecordList* keys);

// Saves the accepted state when a file is set. Caller holds the mutex.
DWORD RegWatch_SaveAcceptedLocked(RegWatchHandle* watch);

// Hands an event to the sink, if there is one. Caller holds the mutex.
void RegWatch_Report(RegWatchHandle* watch, RegWatchEventKind kind, const WatchedKey* key, const ChangeEntry* entry);

// --- Watch object and thread -----------------------------------------------

// Creates events[i] and opens notifyKeys[i] for each notify key, in that
// order, then the keyEvents of the watched keys. Stops at the first failure:
// REGWATCH_E_CREATE_EVENT or REGWATCH_E_OPEN_KEY.
DWORD RegWatch_OpenNotifyKeys(RegWatchHandle* watch);

// Arms every notification: each watched key that exists for any change of
// its own (filter 15), and each notify key for keys made or deleted right
// below it, which is how a watched key that is missing or goes away is
// noticed. A write anywhere else below CurrentVersion wakes nobody. A key
// that fails is closed, to be reopened at the next try, and the others are
// armed all the same; REGWATCH_E_NOTIFY when any failed. Called only on the
// watch thread, because a notification dies with the thread that armed it.
DWORD RegWatch_ArmNotifications(RegWatchHandle* watch);

// The watch thread's body; never returns.
DWORD WINAPI RegWatch_ThreadMain(void* watch);

// Reads one value afresh into a new record with its own name; *record is
// null on failure. REGWATCH_E_OPEN_KEY, REGWATCH_E_NOT_FOUND (missing or
// unreadable value) or REGWATCH_E_NO_MEMORY (also when the value keeps
// growing between queries).
DWORD RegWatch_ReadValue(const WatchedKey* watchedKey, const char* name, ValueRecord** record);

// Opens a watched key in its view for reading.
LONG RegWatch_OpenWatchedKey(const WatchedKey* watchedKey, HKEY* key);

#endif
