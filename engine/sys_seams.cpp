// The patchable table of platform calls used by the testable build. The
// defaults are thin adapters to the platform's own functions.
#include "engine/regwatch_seams.h"

#ifdef KEYWARDEN_ENGINE_SEAMS

static LONG RealRegOpenKey(HKEY root, const char* subkey, REGSAM view, HKEY* key)
{
    return RegOpenKeyExA(root, subkey, 0, KEY_READ | view, key);
}

static LONG RealRegOpenKeyEx(HKEY root, const char* subkey, DWORD options, REGSAM access, HKEY* key)
{
    return RegOpenKeyExA(root, subkey, options, access, key);
}

static LONG RealRegCloseKey(HKEY key)
{
    return RegCloseKey(key);
}

static LONG RealRegQueryInfoKey(HKEY key, DWORD* valueCount, DWORD* maxValueNameLen, DWORD* maxValueLen,
                                FILETIME* lastWrite)
{
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, valueCount, maxValueNameLen,
                            maxValueLen, nullptr, lastWrite);
}

static LONG RealRegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data,
                             DWORD* dataLen)
{
    return RegEnumValueA(key, index, name, nameLen, nullptr, type, data, dataLen);
}

static LONG RealRegQueryValueEx(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLen)
{
    return RegQueryValueExA(key, name, nullptr, type, data, dataLen);
}

static LONG RealRegNotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD filter, HANDLE event, BOOL async)
{
    return RegNotifyChangeKeyValue(key, subtree, filter, event, async);
}

static HANDLE RealCreateMutex()
{
    return CreateMutexA(nullptr, FALSE, nullptr);
}

static HANDLE RealCreateEvent()
{
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

static HANDLE RealCreateThread(LPTHREAD_START_ROUTINE body, void* param)
{
    return CreateThread(nullptr, 0, body, param, 0, nullptr);
}

static DWORD RealWaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    return WaitForSingleObject(handle, milliseconds);
}

static BOOL RealMoveFileEx(const char* from, const char* to, DWORD flags)
{
    return MoveFileExA(from, to, flags);
}

static const RegWatchSysCalls kRealSys = {
    RealRegOpenKey,      RealRegOpenKeyEx,  RealRegCloseKey,  RealRegQueryInfoKey,
    RealRegEnumValue,    RealRegQueryValueEx, RealRegNotifyChangeKeyValue,
    RealCreateMutex,     RealCreateEvent,   RealCreateThread, RealWaitForSingleObject,
    RealMoveFileEx,
};

static RegWatchSysCalls sSys = kRealSys;

RegWatchSysCalls* RegWatchSeam_Sys()
{
    return &sSys;
}

const RegWatchSysCalls* RegWatchSeam_RealSys()
{
    return &kRealSys;
}

void RegWatchSeam_ResetSys()
{
    sSys = kRealSys;
}

#endif
