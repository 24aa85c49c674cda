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
const DWORD REGWATCH_E_NOT_FOUND = 0xC0010007u;      // the value, the item to re-read or the saved state does not exist
const DWORD REGWATCH_E_BAD_FILE = 0xC0010008u;       // the saved state is truncated, corrupt, too large or of another version
const DWORD REGWATCH_E_SAVE = 0xC0010009u;           // the accepted state cannot be saved
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

// One watched key. subkey and shownSubkey point at constant texts shared by
// every copy.
//
// On 64-bit Windows the HKLM keys exist twice: the 64-bit view and the view
// that 32-bit programs see (Software\Wow6432Node). view holds the access flag
// that reaches the key's view (KEY_WOW64_64KEY or KEY_WOW64_32KEY), or 0
// where Windows has one view; every open of the key ORs it into the access.
struct WatchedKey : RecordLink {
    HKEY root;
    const char* subkey;       // the path to open, with view
    RecordList entries;       // of ChangeEntry, owned
    REGSAM view;
    const char* shownSubkey;  // the key as the registry editor shows it
    // The key's last-write time when a comparison last read all of it; zero
    // when it must be read afresh. A key whose time has not moved since holds
    // what the entries say, so a comparison need not read it again.
    FILETIME readAt;
};

// One value of a watched key with its status. Owns current and previous.
//
// accepted is 1 when the value is part of the state the user accepted: it was
// in the baseline, or the user's own action was re-read. Such a value's
// accepted data are previous when previous is set, else current. previous is
// set by the first comparison that sees the value differ from what was
// accepted, and stays through later changes and a deletion, so Revert always
// restores the accepted value, never one seen in between. An entry that is not
// accepted never has a previous.
struct ChangeEntry : RecordLink {
    WatchedKey* owner;
    ChangeStatus status;
    ValueRecord* current;   // never null; for a Deleted entry, as last seen
    ValueRecord* previous;  // the accepted value, once the value differed from it
    DWORD accepted;
};

// The value as the user accepted it, or null for a value never accepted.
inline const ValueRecord* ChangeEntry_AcceptedValue(const ChangeEntry* entry)
{
    return !entry->accepted ? nullptr : entry->previous ? entry->previous : entry->current;
}

// What the list's Old Value shows: the accepted value, where a Changed or
// Deleted value differs from it; else null.
inline const ValueRecord* ChangeEntry_ShownOldValue(const ChangeEntry* entry)
{
    return entry->status == Changed || entry->status == Deleted ? entry->previous : nullptr;
}

struct RegWatchHandle;  // the watch object; lives until the process ends

// Called on the watch thread, without the engine's lock, after each comparison
// that recorded a difference. The result is ignored.
typedef int (*RegWatch_Callback)(void* userData);

// What a comparison recorded, or what became of the watch itself.
enum RegWatchEventKind : DWORD {
    RegWatchEvent_ValueAdded = 1,    // a New entry was made
    RegWatchEvent_ValueChanged = 2,  // an entry's type or data differ from what was last seen
    RegWatchEvent_ValueDeleted = 3,  // an entry became Deleted
    RegWatchEvent_KeyWritten = 4,    // the key was written to, but no value differs
    RegWatchEvent_WatchLost = 5,     // a notification could not be armed: changes may go unseen
    RegWatchEvent_WatchRestored = 6  // every notification is armed again
};

// Set on the events of the first comparison after a baseline loaded from a
// saved state: they happened while the program was not running.
const DWORD REGWATCH_EVENT_WHILE_AWAY = 1;

struct RegWatchEvent {
    RegWatchEventKind kind;
    DWORD flags;
    const WatchedKey* key;     // null for the watch events
    const ChangeEntry* entry;  // the entry after the change; null for key and watch events
};

// Called once per event on the thread that ran the comparison (the watch
// thread, or the caller of RegWatch_Resync), with the engine's lock held: it
// must not call the engine, and the records it is shown live only during the
// call.
typedef void (*RegWatch_EventSink)(void* userData, const RegWatchEvent* event);

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

// Drops every status and takes a new baseline of every watched key: the seven
// keys, and on 64-bit Windows also the four HKLM keys of the 32-bit view. A key
// that cannot be opened or read keeps its place without values; its values are
// found (as New) by the first comparison that can read it. Stops early only on
// REGWATCH_E_KEY_MEMORY, keeping the keys built so far. Otherwise the result
// is REGWATCH_E_QUERY_KEY or REGWATCH_E_NO_MEMORY when some key or value could
// not be recorded, else REGWATCH_OK; REGWATCH_E_LOCK without an object.
DWORD RegWatch_Rebaseline(RegWatchHandle* watch);

// After the user acted on one value: compares, then re-reads that value. Only
// probe->owner->root, ->subkey, ->view and probe->current->name are read.
// A value present becomes Unchanged and accepted, with no previous; a value
// gone loses its entry (both REGWATCH_OK). REGWATCH_E_NOT_FOUND when no entry
// matches the probe; REGWATCH_E_OPEN_KEY or REGWATCH_E_NO_MEMORY leave the
// entry as it was.
DWORD RegWatch_Resync(RegWatchHandle* watch, const ChangeEntry* probe);

// Replaces the baseline with the accepted state saved in the file at path
// (see engine/accepted_file.cpp). The first comparison after it reports what
// changed meanwhile, its events flagged REGWATCH_EVENT_WHILE_AWAY. Nothing
// changes on failure: REGWATCH_E_NOT_FOUND for a missing file,
// REGWATCH_E_BAD_FILE for one that cannot be used, REGWATCH_E_NO_MEMORY.
DWORD RegWatch_LoadAccepted(RegWatchHandle* watch, const char* path);

// From now on the accepted state is saved to path (null: no longer saved)
// after every new baseline and every re-read; saves it at once. A save never
// leaves a half file: REGWATCH_E_SAVE when it could not be made, and the
// previous file stays as it was.
DWORD RegWatch_SetAcceptedFile(RegWatchHandle* watch, const char* path);

// Registers the sink that sees every event; call before RegWatch_StartThread.
void RegWatch_SetEventSink(RegWatchHandle* watch, void* userData, RegWatch_EventSink sink);

// 1 while the watch thread runs with every notification armed, else 0.
int RegWatch_IsWatching(RegWatchHandle* watch);

// Grows whenever the state changes in a way a copy would show.
DWORD RegWatch_Generation(RegWatchHandle* watch);

// Grows with every difference a comparison records (an added, changed or
// newly deleted value), never with the user's own re-reads or baselines: a
// callback that leaves it where it was (a value that stays Deleted) brings
// nothing new to alert about.
DWORD RegWatch_Differences(RegWatchHandle* watch);

// 1 when Windows keeps two registry views (64-bit Windows), else 0.
int RegWatch_HasTwoViews();

// Comparison of two readings of a value: equal when the types are equal and
// so are the data. REG_SZ and REG_EXPAND_SZ compare as text up to the first
// NUL within dataLen (what Windows runs); REG_MULTI_SZ compares every byte but
// trailing NULs; every other type compares all dataLen bytes.
int ValueRecord_SameValue(const ValueRecord* a, const ValueRecord* b);

#endif
