// The watch object and its thread.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_sys.h"

const RegWatchKeyRow kNotifyKeys[kNotifyKeyCount] = {
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion"},
};

// Names, attributes, last set and security.
const DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET |
                            REG_NOTIFY_CHANGE_SECURITY;

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

DWORD RegWatch_OpenNotifyKeys(RegWatchHandle* watch)
{
    for (size_t i = 0; i < kNotifyKeyCount; ++i) {
        watch->events[i] = Sys_CreateEvent();
        if (!watch->events[i])
            return REGWATCH_E_CREATE_EVENT;
        HKEY key = nullptr;
        if (Sys_RegOpenKeyEx(kNotifyKeys[i].root, kNotifyKeys[i].subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return REGWATCH_E_OPEN_KEY;
        watch->notifyKeys[i] = key;
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

DWORD RegWatch_ArmNotifications(RegWatchHandle* watch)
{
    for (size_t i = 0; i < kNotifyKeyCount; ++i)
        if (Sys_RegNotifyChangeKeyValue(watch->notifyKeys[i], TRUE, kNotifyFilter, watch->events[i], TRUE) !=
            ERROR_SUCCESS)
            return REGWATCH_E_NOTIFY;
    return REGWATCH_OK;
}

DWORD WINAPI RegWatch_ThreadMain(void* param)
{
    RegWatchHandle* watch = static_cast<RegWatchHandle*>(param);
    for (;;) {
        // Armed before comparing: a change made during the comparison, or
        // before the thread started, leaves an event signalled, so the wait
        // below returns at once and no change waits for another one.
        Sys_WaitForSingleObject(watch->mutex, INFINITE);
        RegWatch_ArmNotifications(watch);
        int changed = RegWatch_CompareAll(watch);
        ReleaseMutex(watch->mutex);

        if (changed && watch->callback)
            watch->callback(watch->userData);

        WaitForMultipleObjects(static_cast<DWORD>(kNotifyKeyCount), watch->events, FALSE, INFINITE);
    }
}
