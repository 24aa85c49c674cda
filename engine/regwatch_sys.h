// The platform calls the engine makes, each behind one inline function. In
// the product they are the calls themselves; in the testable build they go
// through the patchable table of engine/regwatch_seams.h.
#ifndef KEYWARDEN_ENGINE_REGWATCH_SYS_H
#define KEYWARDEN_ENGINE_REGWATCH_SYS_H

#include "engine/regwatch_seams.h"

#ifdef KEYWARDEN_ENGINE_SEAMS
#define REGWATCH_SYS(call, direct) return RegWatchSeam_Sys()->call
#else
#define REGWATCH_SYS(call, direct) return direct
#endif

// A watched key, for reading, in the given view.
inline LONG Sys_RegOpenKey(HKEY root, const char* subkey, REGSAM view, HKEY* key)
{
    REGWATCH_SYS(regOpenKey(root, subkey, view, key), RegOpenKeyExA(root, subkey, 0, KEY_READ | view, key));
}

inline LONG Sys_RegOpenKeyEx(HKEY root, const char* subkey, DWORD options, REGSAM access, HKEY* key)
{
    REGWATCH_SYS(regOpenKeyEx(root, subkey, options, access, key),
                 RegOpenKeyExA(root, subkey, options, access, key));
}

inline LONG Sys_RegCloseKey(HKEY key)
{
    REGWATCH_SYS(regCloseKey(key), RegCloseKey(key));
}

inline LONG Sys_RegQueryInfoKey(HKEY key, DWORD* valueCount, DWORD* maxValueNameLen, DWORD* maxValueLen,
                                FILETIME* lastWrite)
{
    REGWATCH_SYS(regQueryInfoKey(key, valueCount, maxValueNameLen, maxValueLen, lastWrite),
                 RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, valueCount,
                                  maxValueNameLen, maxValueLen, nullptr, lastWrite));
}

inline LONG Sys_RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data,
                             DWORD* dataLen)
{
    REGWATCH_SYS(regEnumValue(key, index, name, nameLen, type, data, dataLen),
                 RegEnumValueA(key, index, name, nameLen, nullptr, type, data, dataLen));
}

inline LONG Sys_RegQueryValueEx(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLen)
{
    REGWATCH_SYS(regQueryValueEx(key, name, type, data, dataLen),
                 RegQueryValueExA(key, name, nullptr, type, data, dataLen));
}

inline LONG Sys_RegNotifyChangeKeyValue(HKEY key, BOOL subtree, DWORD filter, HANDLE event, BOOL async)
{
    REGWATCH_SYS(regNotifyChangeKeyValue(key, subtree, filter, event, async),
                 RegNotifyChangeKeyValue(key, subtree, filter, event, async));
}

// Unnamed, not initially owned.
inline HANDLE Sys_CreateMutex()
{
    REGWATCH_SYS(createMutex(), CreateMutexA(nullptr, FALSE, nullptr));
}

// Unnamed, automatic reset, initially not signalled.
inline HANDLE Sys_CreateEvent()
{
    REGWATCH_SYS(createEvent(), CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

// Default stack, starts at once; the thread id is not kept.
inline HANDLE Sys_CreateThread(LPTHREAD_START_ROUTINE body, void* param)
{
    REGWATCH_SYS(createThread(body, param), CreateThread(nullptr, 0, body, param, 0, nullptr));
}

inline DWORD Sys_WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    REGWATCH_SYS(waitForSingleObject(handle, milliseconds), WaitForSingleObject(handle, milliseconds));
}

inline BOOL Sys_MoveFileEx(const char* from, const char* to, DWORD flags)
{
    REGWATCH_SYS(moveFileEx(from, to, flags), MoveFileExA(from, to, flags));
}

#undef REGWATCH_SYS

#endif
