// Fault-injection seams of the engine's testable build.
//
// keywarden_engine calls the platform directly. keywarden_engine_testable is
// compiled from the same sources with KEYWARDEN_ENGINE_SEAMS defined: every
// allocation then goes through a counting allocator that can be told to fail,
// and every platform call through a table that a test may patch entry by entry.
//
//   RegWatchSeam_Sys()->regQueryInfoKey = FailingQueryInfo;   // replace one call
//   ...
//   RegWatchSeam_ResetSys();                                  // back to the platform
//   RegWatchSeam_FailAllocAt(3);   // the third allocation from now returns null
#ifndef KEYWARDEN_ENGINE_REGWATCH_SEAMS_H
#define KEYWARDEN_ENGINE_REGWATCH_SEAMS_H

#include <windows.h>

// Plain functions, so that a test's replacement needs no calling convention.
struct RegWatchSysCalls {
    LONG (*regOpenKey)(HKEY root, const char* subkey, REGSAM view, HKEY* key);
    LONG (*regOpenKeyEx)(HKEY root, const char* subkey, DWORD options, REGSAM access, HKEY* key);
    LONG (*regCloseKey)(HKEY key);
    LONG (*regQueryInfoKey)(HKEY key, DWORD* valueCount, DWORD* maxValueNameLen, DWORD* maxValueLen, FILETIME* lastWrite);
    LONG (*regEnumValue)(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen);
    LONG (*regQueryValueEx)(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLen);
    LONG (*regNotifyChangeKeyValue)(HKEY key, BOOL subtree, DWORD filter, HANDLE event, BOOL async);
    HANDLE (*createMutex)();
    HANDLE (*createEvent)();
    HANDLE (*createThread)(LPTHREAD_START_ROUTINE body, void* param);
    DWORD (*waitForSingleObject)(HANDLE handle, DWORD milliseconds);
    BOOL (*moveFileEx)(const char* from, const char* to, DWORD flags);
};

#ifdef KEYWARDEN_ENGINE_SEAMS

// The table the engine calls through; starts as the platform's calls.
RegWatchSysCalls* RegWatchSeam_Sys();
// The platform's calls, for replacements that fail only some calls.
const RegWatchSysCalls* RegWatchSeam_RealSys();
void RegWatchSeam_ResetSys();

// The Nth allocation counted from this call fails (1 = the next one); 0
// turns failures off. Only that one allocation fails.
void RegWatchSeam_FailAllocAt(long n);
// Allocations attempted since the last RegWatchSeam_FailAllocAt.
long RegWatchSeam_AllocCalls();
// Blocks allocated and not yet freed, over the life of the process.
long RegWatchSeam_LiveAllocs();
// Blocks found written past their end when freed, over the life of the process.
long RegWatchSeam_Overruns();

#endif

#endif
