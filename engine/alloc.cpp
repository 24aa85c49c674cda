// The engine's one allocator, on the process heap. The testable build counts
// live blocks, can fail a chosen allocation and puts a guard after every
// block, so tests can show that no failure leaks and no write runs past a
// buffer.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_seams.h"

#include <string.h>

#ifndef KEYWARDEN_ENGINE_SEAMS

void* RegWatch_Alloc(size_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void RegWatch_Free(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

#else

// The watch thread allocates too, so the counters are interlocked.
static volatile LONG sAllocCalls = 0;
static volatile LONG sFailAt = 0;
static volatile LONG sLive = 0;
static volatile LONG sOverruns = 0;

// Each block: its size, then the caller's bytes, then the guard.
static const size_t kHeader = 16;
static const BYTE kGuard[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0xDE, 0xAD, 0xBE, 0xEF};

void RegWatchSeam_FailAllocAt(long n)
{
    InterlockedExchange(&sAllocCalls, 0);
    InterlockedExchange(&sFailAt, static_cast<LONG>(n));
}

long RegWatchSeam_AllocCalls()
{
    return InterlockedCompareExchange(&sAllocCalls, 0, 0);
}

long RegWatchSeam_LiveAllocs()
{
    return InterlockedCompareExchange(&sLive, 0, 0);
}

long RegWatchSeam_Overruns()
{
    return InterlockedCompareExchange(&sOverruns, 0, 0);
}

void* RegWatch_Alloc(size_t size)
{
    LONG call = InterlockedIncrement(&sAllocCalls);
    LONG failAt = InterlockedCompareExchange(&sFailAt, 0, 0);
    if (failAt != 0 && call == failAt)
        return nullptr;
    BYTE* raw = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kHeader + size + sizeof kGuard));
    if (!raw)
        return nullptr;
    InterlockedIncrement(&sLive);
    memcpy(raw, &size, sizeof size);
    memcpy(raw + kHeader + size, kGuard, sizeof kGuard);
    return raw + kHeader;
}

void RegWatch_Free(void* block)
{
    if (!block)
        return;
    InterlockedDecrement(&sLive);
    BYTE* raw = static_cast<BYTE*>(block) - kHeader;
    size_t size = 0;
    memcpy(&size, raw, sizeof size);
    if (memcmp(raw + kHeader + size, kGuard, sizeof kGuard) != 0)
        InterlockedIncrement(&sOverruns);
    HeapFree(GetProcessHeap(), 0, raw);
}

#endif
