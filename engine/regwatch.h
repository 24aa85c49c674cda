// Registry watch engine: the interface the user interface uses.
//
// The engine keeps a baseline of the autostart keys, compares the registry
// against it on every change notification and calls back when something
// differs. The user interface never reads the engine's records: it takes a
// deep copy with RegWatch_CopyState and walks that.
//
//   RecordList state;
//   RecordList_Init(&state);
//   if (RegWatch_CopyState(watch, &state) == REGWATCH_OK)
//       for (WatchedKey* k = WatchedKey_First(&state); k; k = WatchedKey_Next(k))
//           for (ChangeEntry* e = ChangeEntry_First(&k->entries); e; e = ChangeEntry_Next(e))
//               ...;
//   RegWatch_FreeState(&state);
#ifndef KEYWARDEN_ENGINE_REGWATCH_H
#define KEYWARDEN_ENGINE_REGWATCH_H

#include <windows.h>

// Result codes. REGWATCH_OK is 0; failures fall in two ranges.
const DWORD REGWATCH_OK = 0;
const DWORD REGWATCH_E_CREATE_EVENT = 0xC0010000u;   // a notification event cannot be created
const DWORD REGWATCH_E_OPEN_KEY = 0xC0010001u;       // a notify key, or the key of a re-read, cannot be opened
const DWORD REGWATCH_E_NOTIFY = 0xC0010003u;         // a notification cannot be armed
const DWORD REGWATCH_E_CREATE_THREAD = 0xC0010004u;  // the watch thread cannot be started
const DWORD REGWATCH_E_QUERY_KEY = 0xC0010005u;      // a key's longest name and data lengths cannot be queried
const DWORD REGWATCH_E_NOT_FOUND = 0xC0010007u;      // the value, or the item to re-read, does not exist
const DWORD REGWATCH_E_NO_MEMORY = 0x80010001u;      // out of memory
const DWORD REGWATCH_E_CREATE_MUTEX = 0x80010004u;   // the mutex cannot be created
const DWORD REGWATCH_E_LOCK = 0x80010005u;           // waiting for the mutex failed (or there is no object)
const DWORD REGWATCH_E_KEY_MEMORY = 0x80010007u;     // a WatchedKey cannot be allocated during a baseline

// The two links every list node begins with.
struct RecordLink {
    RecordLink* prev;   // null at the head
    RecordLink* next;   // null at the tail
};

struct RecordList {
    RecordLink* first;  // null when empty
    RecordLink* last;   // null when empty
};

enum ChangeStatus : DWORD {
    Unchanged = 0,  // in the baseline and not seen to change, or accepted by a re-read
    New = 1,        // not in the baseline; appeared later
    Changed = 2,    // data differed from what was last seen
    Deleted = 3     // a comparison that could read the key found it missing
};

// One snapshot of a registry value. name holds nameLen + 1 bytes ending in 0;
// data holds dataLen + 1 bytes, the last one 0. Owns both buffers.
struct ValueRecord : RecordLink {
    char* name;
    DWORD nameLen;
    BYTE* data;
    DWORD dataLen;
    DWORD type;
};

// One watched key. subkey points at a constant text shared by every copy.
struct WatchedKey : RecordLink {
    HKEY root;
    const char* subkey;
    RecordList entries;  // of ChangeEntry, owned
};

// One value of a watched key with its status. Owns current and previous.
struct ChangeEntry : RecordLink {
    WatchedKey* owner;
    ChangeStatus status;
    ValueRecord* current;   // never null
    ValueRecord* previous;  // null unless a change of data was seen
};

struct RegWatchHandle;  // the watch object; lives until the process ends

// Called on the watch thread, without the engine's lock, after each comparison
// that recorded a difference. The result is ignored.
typedef int (*RegWatch_Callback)(void* userData);

RecordList* RecordList_Init(RecordList* list);
RecordLink* RecordList_First(RecordList* list);
RecordLink* RecordList_Next(RecordLink* node);

// Typed walkers over the same links.
inline WatchedKey* WatchedKey_First(RecordList* list) { return static_cast<WatchedKey*>(RecordList_First(list)); }
inline WatchedKey* WatchedKey_Next(WatchedKey* key) { return static_cast<WatchedKey*>(RecordList_Next(key)); }
inline ChangeEntry* ChangeEntry_First(RecordList* list) { return static_cast<ChangeEntry*>(RecordList_First(list)); }
inline ChangeEntry* ChangeEntry_Next(ChangeEntry* entry) { return static_cast<ChangeEntry*>(RecordList_Next(entry)); }

// Frees a list of WatchedKey with every entry and record; the list ends empty.
// The subkey texts are not freed.
void RegWatch_FreeState(RecordList* list);

// "HKEY_CURRENT_USER" and the like for a predefined root key; null for any other.
const char* RegWatch_HiveName(HKEY root);

// Builds the watch object and takes the first baseline. *watch receives the
// object before anything can fail and keeps it on failure: a partly built
// object is never freed, and the other operations work on what it holds.
DWORD RegWatch_Create(RegWatchHandle** watch);

// Stores the callback and starts the watch thread. Call once, after a
// successful RegWatch_Create. Each pass of the thread arms the notifications
// and then compares, so a change made before the thread started, or during a
// comparison, is reported without waiting for another change.
// REGWATCH_E_CREATE_THREAD when the thread cannot start or there is no object.
DWORD RegWatch_StartThread(RegWatchHandle* watch, void* userData, RegWatch_Callback callback);

// Deep copy of the whole state into the caller's empty list; the caller owns it
// and frees it with RegWatch_FreeState. The copy shares nothing with the engine
// but the subkey texts. On any failure the list is left empty.
DWORD RegWatch_CopyState(RegWatchHandle* watch, RecordList* out);

// Drops every status and takes a new baseline of the seven keys. A key that
// cannot be opened is kept without values. Stops early, keeping the keys built
// so far, on REGWATCH_E_KEY_MEMORY or REGWATCH_E_QUERY_KEY; REGWATCH_E_NO_MEMORY
// when some values could not be recorded; REGWATCH_E_LOCK without an object.
DWORD RegWatch_Rebaseline(RegWatchHandle* watch);

// After the user acted on one value: compares, then re-reads that value. Only
// probe->owner->root, probe->owner->subkey and probe->current->name are read.
// A value present becomes Unchanged; a value gone loses its entry (both
// REGWATCH_OK). REGWATCH_E_NOT_FOUND when no entry matches the probe;
// REGWATCH_E_OPEN_KEY or REGWATCH_E_NO_MEMORY leave the entry as it was.
DWORD RegWatch_Resync(RegWatchHandle* watch, const ChangeEntry* probe);

#endif
