// The watch object and its thread.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_sys.h"

// Names, attributes, last set and security.
const DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET |
                            REG_NOTIFY_CHANGE_SECURITY;
// How soon the thread tries again to arm a notification that failed.
const DWORD kRearmMs = 1000;

DWORD RegWatch_Lock(RegWatchHandle* watch)
{
    if (!watch)
        return REGWATCH_E_LOCK;
    DWORD wait = Sys_WaitForSingleObject(watch->mutex, INFINITE);
    if (wait == WAIT_OBJECT_0)
        return REGWATCH_OK;
    // An abandoned mutex is ours now: keeping it would lock the watch thread
    // out for good.
    if (wait == WAIT_ABANDONED)
        ReleaseMutex(watch->mutex);
    return REGWATCH_E_LOCK;
}

static LONG OpenNotifyKey(size_t row, HKEY* key)
{
    REGSAM view = RegWatch_HasTwoViews() ? kNotifyKeys[row].view : 0;
    return Sys_RegOpenKeyEx(kNotifyKeys[row].root, kNotifyKeys[row].subkey, 0, KEY_READ | view, key);
}

DWORD RegWatch_OpenNotifyKeys(RegWatchHandle* watch)
{
    watch->notifyCount = RegWatch_NotifyKeyRows();
    for (size_t i = 0; i < watch->notifyCount; ++i) {
        watch->events[i] = Sys_CreateEvent();
        if (!watch->events[i])
            return REGWATCH_E_CREATE_EVENT;
        HKEY key = nullptr;
        if (OpenNotifyKey(i, &key) != ERROR_SUCCESS)
            return REGWATCH_E_OPEN_KEY;
        watch->notifyKeys[i] = key;
    }
    for (size_t row = 0; row < RegWatch_WatchedKeyRows(); ++row) {
        watch->keyEvents[row] = Sys_CreateEvent();
        if (!watch->keyEvents[row])
            return REGWATCH_E_CREATE_EVENT;
    }
    return REGWATCH_OK;
}

DWORD RegWatch_Create(RegWatchHandle** watch)
{
    if (!watch)
        return REGWATCH_E_NO_MEMORY;
    // Handed out before anything else can fail; a partly built object is
    // kept, never freed.
    *watch = static_cast<RegWatchHandle*>(RegWatch_Alloc(sizeof(RegWatchHandle)));
    if (!*watch)
        return REGWATCH_E_NO_MEMORY;
    RecordList_Init(&(*watch)->watched);

    (*watch)->mutex = Sys_CreateMutex();
    if (!(*watch)->mutex)
        return REGWATCH_E_CREATE_MUTEX;

    DWORD result = RegWatch_OpenNotifyKeys(*watch);
    if (result != REGWATCH_OK)
        return result;

    // Not armed here: a notification dies with the thread that armed it, so
    // only the watch thread arms.
    return RegWatch_Rebaseline(*watch);
}

DWORD RegWatch_StartThread(RegWatchHandle* watch, void* userData, RegWatch_Callback callback)
{
    if (!watch)
        return REGWATCH_E_CREATE_THREAD;
    // Stored before the thread exists, so it never sees them half set.
    watch->userData = userData;
    watch->callback = callback;
    watch->thread = Sys_CreateThread(RegWatch_ThreadMain, watch);
    return watch->thread ? REGWATCH_OK : REGWATCH_E_CREATE_THREAD;
}

void RegWatch_SetEventSink(RegWatchHandle* watch, void* userData, RegWatch_EventSink sink)
{
    if (RegWatch_Lock(watch) != REGWATCH_OK)
        return;
    watch->sinkData = userData;
    watch->sink = sink;
    ReleaseMutex(watch->mutex);
}

int RegWatch_IsWatching(RegWatchHandle* watch)
{
    return watch && InterlockedCompareExchange(&watch->watching, 0, 0) != 0 ? 1 : 0;
}

DWORD RegWatch_Generation(RegWatchHandle* watch)
{
    return watch ? static_cast<DWORD>(InterlockedCompareExchange(&watch->generation, 0, 0)) : 0;
}

DWORD RegWatch_Differences(RegWatchHandle* watch)
{
    return watch ? static_cast<DWORD>(InterlockedCompareExchange(&watch->differences, 0, 0)) : 0;
}

// Arms one notification; a key that fails is closed, so that a fresh handle
// is tried next time.
static bool Arm(HKEY* key, BOOL subtree, DWORD filter, HANDLE event)
{
    if (Sys_RegNotifyChangeKeyValue(*key, subtree, filter, event, TRUE) == ERROR_SUCCESS)
        return true;
    Sys_RegCloseKey(*key);
    *key = nullptr;
    return false;
}

void RegWatch_CloseRowKey(RegWatchHandle* watch, size_t row)
{
    if (watch->openKeys[row])
        Sys_RegCloseKey(watch->openKeys[row]);
    watch->openKeys[row] = nullptr;
    watch->armedKeys[row] = nullptr;
}

DWORD RegWatch_ArmNotifications(RegWatchHandle* watch)
{
    DWORD result = REGWATCH_OK;
    for (size_t i = 0; i < watch->notifyCount; ++i) {
        if (watch->parentArmed[i])
            continue;
        if (!watch->notifyKeys[i] && OpenNotifyKey(i, &watch->notifyKeys[i]) != ERROR_SUCCESS)
            watch->notifyKeys[i] = nullptr;
        watch->parentArmed[i] =
            watch->notifyKeys[i] && Arm(&watch->notifyKeys[i], FALSE, REG_NOTIFY_CHANGE_NAME, watch->events[i]);
        if (!watch->parentArmed[i])
            result = REGWATCH_E_NOTIFY;
    }
    size_t row = 0;
    for (WatchedKey* key = WatchedKey_First(&watch->watched); key && row < kWatchedKeyCount;
         key = WatchedKey_Next(key), ++row) {
        HKEY& open = watch->openKeys[row];
        // A key that does not exist has nothing to arm: its parent's
        // notification tells when it is made.
        LONG status = open ? ERROR_SUCCESS : RegWatch_OpenWatchedKey(key, &open);
        if (status != ERROR_SUCCESS) {
            open = nullptr;
            if (status != ERROR_FILE_NOT_FOUND)
                result = REGWATCH_E_NOTIFY;
            continue;
        }
        if (watch->armedKeys[row] == open)
            continue;
        if (watch->keyEvents[row] && Arm(&open, FALSE, kNotifyFilter, watch->keyEvents[row]))
            watch->armedKeys[row] = open;
        else
            result = REGWATCH_E_NOTIFY;
    }
    return result;
}

DWORD WINAPI RegWatch_ThreadMain(void* param)
{
    RegWatchHandle* watch = static_cast<RegWatchHandle*>(param);
    bool lost = false;
    DWORD fired = WAIT_TIMEOUT;
    for (;;) {
        // Armed before comparing: a change made during the comparison, or
        // before the thread started, leaves an event signalled, so the wait
        // below returns at once and no change waits for another one. Only
        // the notification that fired needs arming again; another that fired
        // too keeps its event signalled and ends the next wait.
        Sys_WaitForSingleObject(watch->mutex, INFINITE);
        if (fired >= WAIT_OBJECT_0 && fired < WAIT_OBJECT_0 + watch->notifyCount)
            watch->parentArmed[fired - WAIT_OBJECT_0] = false;
        else if (fired >= WAIT_OBJECT_0 + watch->notifyCount && fired < WAIT_OBJECT_0 + watch->notifyCount + kWatchedKeyCount)
            watch->armedKeys[fired - WAIT_OBJECT_0 - watch->notifyCount] = nullptr;
        const bool armed = RegWatch_ArmNotifications(watch) == REGWATCH_OK;
        InterlockedExchange(&watch->watching, armed ? 1 : 0);
        if (armed == lost) {
            lost = !armed;
            RegWatch_Report(watch, armed ? RegWatchEvent_WatchRestored : RegWatchEvent_WatchLost, nullptr, nullptr);
        }
        int changed = RegWatch_CompareAll(watch);
        ReleaseMutex(watch->mutex);

        if (changed && watch->callback)
            watch->callback(watch->userData);

        // While a key is unarmed its changes send nothing: compare and try
        // again on a timer until every notification is back.
        HANDLE waitFor[kMaxNotifyKeys + kWatchedKeyCount];
        DWORD count = 0;
        for (size_t i = 0; i < watch->notifyCount; ++i)
            waitFor[count++] = watch->events[i];
        for (size_t row = 0; row < RegWatch_WatchedKeyRows(); ++row)
            waitFor[count++] = watch->keyEvents[row];
        fired = WaitForMultipleObjects(count, waitFor, FALSE, armed ? INFINITE : kRearmMs);
    }
}
