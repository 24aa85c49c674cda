// The engine's one allocator. The testable build counts live blocks and can
// fail a chosen allocation, so tests can prove that no failure leaks.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_seams.h"

#ifdef KEYWARDEN_ENGINE_SEAMS
// The watch thread allocates too, so the counters are interlocked.
static volatile LONG sAllocCalls = 0;
static volatile LONG sFailAt = 0;
static volatile LONG sLive = 0;

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
#endif

void* RegWatch_Alloc(size_t size)
{
#ifdef KEYWARDEN_ENGINE_SEAMS
    LONG call = InterlockedIncrement(&sAllocCalls);
    LONG failAt = InterlockedCompareExchange(&sFailAt, 0, 0);
    if (failAt != 0 && call == failAt)
        return nullptr;
#endif
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
#ifdef KEYWARDEN_ENGINE_SEAMS
    if (block)
        InterlockedIncrement(&sLive);
#endif
    return block;
}

void RegWatch_Free(void* block)
{
    if (!block)
        return;
#ifdef KEYWARDEN_ENGINE_SEAMS
    InterlockedDecrement(&sLive);
#endif
    HeapFree(GetProcessHeap(), 0, block);
}
